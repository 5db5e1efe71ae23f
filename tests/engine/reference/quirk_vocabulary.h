#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sievetext::quirks {

// Pieces of text that reach every odd corner of the conversion: markers in
// mixed case, overlapping and too-short comment and script forms, entity keys
// in right and wrong case, with and without ';', doubly escaped or split by a
// reference that decodes to nothing, pipes, braces, tabs, CR, lone brackets,
// non-ASCII letters that fold to ASCII under Unicode rules, surrogates.
const std::vector<std::u16string>& FixedTokens();

// Variants of every entity key: as written, upper case, lower case, without
// the ';', escaped once more through "&amp;" and "&#38;", and split in two by
// "&not;", "&para;", "&#172;" or "&#182;".
const std::vector<std::u16string>& EntityTokens();

// A random document of up to `maxTokens` tokens drawn from both lists, plain
// words and characters, and (rarely) a run of more than 1024 spaces or line
// feeds.
std::u16string RandomDocument(std::mt19937_64& rng, std::size_t maxTokens);

// Turns fuzzer bytes into text: bytes below 0x80 are one code unit each (a few
// control bytes stand for non-ASCII units); a byte from 0x80 up and the byte
// after it pick one token of the two lists above.
std::u16string TextFromBytes(const std::uint8_t* data, std::size_t size);

// The inverse for seeding a corpus: bytes that TextFromBytes turns back into
// the given sequence of tokens (each token by its index).
std::string BytesForToken(std::size_t tokenIndex);
std::size_t TokenCount();

}  // namespace sievetext::quirks
