#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace sievetext::testing {

// Builds texts from the pieces that make the entity table's cascades
// interesting: whole keys in their own or the wrong letter case, keys cut
// short or without their ';', doubly escaped keys, keys split by a reference
// that decodes to nothing, numeric references with and without a row, keys
// spelled with references decoded earlier, and single units (non-ASCII and
// lone surrogates among them).
//
// Every choice comes from `pick(n)`, which returns a number below n: a
// random generator for the tests, the input's bytes for the fuzz target.
class EntityTextGenerator {
 public:
  using Pick = std::function<std::size_t(std::size_t n)>;

  explicit EntityTextGenerator(Pick pick) : pick_(std::move(pick)) {}
  // Uniform choices from a std::mt19937 seeded with `seed`.
  explicit EntityTextGenerator(unsigned seed);

  // One to `maxPieces` pieces.
  std::u16string text(std::size_t maxPieces = 14);
  // One piece.
  std::u16string piece();

 private:
  Pick pick_;
};

}  // namespace sievetext::testing
