#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "text/charset.h"

namespace sievetext {

// Decodes a declared legacy charset (KOI8-R, Shift_JIS, ISO-8859-2, ...) with
// the C library's converter, in pieces cut anywhere. A byte that does not
// start a valid sequence becomes U+FFFD and decoding goes on with the next
// one; in the single-byte Windows code pages an unassigned byte 80..9F stands
// for the C1 control of the same value instead, as it does where no charset
// is declared. Time is linear in the input.
//
// A build without the converter (SIEVETEXT_HAVE_ICONV unset) has none:
// open() then answers nothing and the caller keeps its own reading.
class LegacyDecoder {
 public:
  // The bytes of one unfinished sequence that decode() may leave unused at
  // the end of a piece, at most.
  static constexpr std::size_t kMostHeldBytes = 7;

  // A decoder for `charset`, or nothing where this system cannot convert it
  // (UTF-8, UTF-16, Windows-1252 and the refused encodings are never
  // converted here).
  static std::unique_ptr<LegacyDecoder> open(Charset charset);
  ~LegacyDecoder();
  LegacyDecoder(const LegacyDecoder&) = delete;
  LegacyDecoder& operator=(const LegacyDecoder&) = delete;

  struct Step {
    std::size_t used = 0;     // bytes of `bytes` consumed
    std::size_t written = 0;  // units stored at `out`
    bool wantsRoom = false;   // stopped because `room` ran out
  };
  // Decodes the front of `bytes`, which follows the bytes given before, into
  // at most `room` units at `out`. Without `last` the bytes of an unfinished
  // sequence at the end are left unused (at most kMostHeldBytes); with it
  // everything is used and the decoder ends the text. When `wantsRoom`, call
  // again with the rest and more room.
  Step decode(std::string_view bytes, bool last, char16_t* out, std::size_t room);

 private:
  LegacyDecoder(void* converter, bool c1Controls)
      : converter_(converter), c1Controls_(c1Controls) {}

  [[maybe_unused]] void* converter_;  // the C library's conversion descriptor
  [[maybe_unused]] bool c1Controls_;
};

}  // namespace sievetext
