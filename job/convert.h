#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/cSievetext.h"
#include "platform/file_system.h"
#include "text/text_codec.h"

namespace sievetext {

// The conversion itself, between bytes or between files, without the job's
// checks and messages. The text is held once: decoded into one buffer, which
// the engine converts in place and from which the output is encoded piece by
// piece.

// Decodes `bytes` as DecodeText does, converts the text with `engine` (its
// options, yield and reporter) and returns the result as EncodeText does.
// The engine's failures go to its reporter; the text is still returned.
// `declarations`: Ignore where the bytes are a string's UTF-8, whatever
// charset the document inside declares.
std::string ConvertBytes(
    cSievetext& engine, std::string_view bytes,
    TextDecoder::Declarations declarations = TextDecoder::Declarations::Follow);

enum class ConvertStatus {
  Written,       // `output` holds the converted text
  EngineFailed,  // the engine reported a failure; nothing written
  ReadFailed,    // `error` tells why; nothing written
  WriteFailed,   // `error` tells why; `output` left as it was
};

struct ConvertResult {
  ConvertStatus status = ConvertStatus::Written;
  int error = 0;  // errno value for ReadFailed and WriteFailed
};

// Reading and writing a file yield to the host at least this often (in
// bytes), as the engine does while it converts.
inline constexpr std::uint64_t kYieldEveryBytes = std::uint64_t{16} << 20;

// Reads `input` (of about `expectedBytes`, used to size the text: exact for a
// file, an estimate for a stream, whose text then grows as it arrives),
// converts it with `engine` and makes `output` hold the result through
// `files.replace`. Calls the engine's yield after every kYieldEveryBytes
// bytes read and written, so a window stays responsive; an exception from it
// propagates and nothing is written (the old output stays). Memory: the text,
// up to twice as long where line breaks are widened, and pieces of a fixed
// size.
[[nodiscard]] ConvertResult ConvertFile(cSievetext& engine, FileSystem& files,
                                        const std::string& input, std::uint64_t expectedBytes,
                                        const std::string& output);

}  // namespace sievetext
