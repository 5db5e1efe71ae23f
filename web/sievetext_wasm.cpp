// The converter as a WebAssembly module for JavaScript hosts: the page's
// bytes go in a piece at a time, the converted text comes out as UTF-16
// units that the host turns into a string. The bytes are never held whole
// next to the text, so the module's memory peaks at about the text.
//
// The host calls, in this order: sievetext_begin (the input's size and the
// option bits), then
// sievetext_feed for each piece written into sievetext_piece(), then
// sievetext_convert with the option bits; it reads the text at
// sievetext_text() (sievetext_text_length() UTF-16 units, well-formed) or, after a failure, the
// message at sievetext_message(); sievetext_release gives the text's memory
// back for the next conversion. sievetext_split may first cut the text into
// stretches and make those it can one byte per unit, so that the host builds
// its string at about one byte per character. A status is 0 (done) or one of
// the error codes below.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/cSievetext.h"
#include "engine/conversion_reporter.h"
#include "job/error_reporter.h"
#include "settings/options.h"
#include "text/line_breaks.h"
#include "text/text_codec.h"

// The reading mode, where the job offers it.
#if __has_include("job/layout_convert.h")
#include "job/layout_convert.h"
#define SIEVETEXT_WASM_LAYOUT 1
#else
#define SIEVETEXT_WASM_LAYOUT 0
#endif

namespace sievetext {
namespace {

// The codes the host maps to its error classes, numbered as the library's
// ErrorCode: 4 OutOfMemory, 5 ConversionFailed.
enum Status : int {
  kDone = 0,
  kOutOfMemory = 4,
  kConversionFailed = 5,
};

// The option bits: bit i is kOptions[i] (alphabetical by name), then the
// line-break choice and the reading modes.
constexpr std::uint32_t kLfBit = std::uint32_t{1} << kOptions.size();
constexpr std::uint32_t kLayoutBit = kLfBit << 1;

// What sievetext_features reports.
constexpr std::uint32_t kHasLayout = 1;

// Small, as every conversion touches all of it, and many feeds cost little.
constexpr std::size_t kPieceBytes = std::size_t{256} << 10;

constexpr bool kLayoutBuilt = SIEVETEXT_WASM_LAYOUT != 0;

// The engine's first failure, as the library words it.
class FailureRecorder final : public ConversionReporter {
 public:
  void report(std::string_view procedure, long number, std::string_view description) override {
    if (failed) return;
    failed = true;
    outOfMemory = number == kErrorOutOfMemory;
    message = FormatError(procedure, number, description);
  }
  bool failed = false;
  bool outOfMemory = false;
  std::string message;
};

struct Session {
  bool layout = false;  // the reading mode: the bytes are kept whole for it
  std::string bytes;
  std::unique_ptr<TextDecoder> decoder;
  std::u16string text;
  // What sievetext_split found: per stretch its end (in units) and whether
  // it is stored one byte per unit.
  std::vector<std::uint32_t> stretches;
  std::string message;
};

Session& TheSession() {
  static Session session;
  return session;
}

alignas(16) char gPiece[kPieceBytes];

// Makes each surrogate that is not half of a pair U+FFFD, as the text's
// UTF-8 form has it, so that the host may read the units as they are.
void ReplaceLoneSurrogates(std::u16string& text) {
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (c < 0xD800 || c > 0xDFFF) continue;
    if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else {
      text[i] = u'\uFFFD';
    }
  }
}

int Fail(int status, std::string message) {
  Session& session = TheSession();
  session.decoder.reset();
  session.bytes = std::string();
  session.text = std::u16string();
  session.stretches = std::vector<std::uint32_t>();
  session.message = std::move(message);
  return status;
}

int OutOfMemory() { return Fail(kOutOfMemory, std::string(kErrorOutOfMemoryText)); }

}  // namespace
}  // namespace sievetext

using namespace sievetext;

extern "C" {

char* sievetext_piece() { return gPiece; }
std::size_t sievetext_piece_size() { return kPieceBytes; }

std::uint32_t sievetext_features() { return kLayoutBuilt ? kHasLayout : 0; }

// `bits` as for sievetext_convert; only the reading mode matters here.
int sievetext_begin(std::size_t expectedBytes, std::uint32_t bits) {
  Session& session = TheSession();
  session.text = std::u16string();
  session.bytes = std::string();
  session.message.clear();
  session.layout = (bits & kLayoutBit) != 0;
  if (session.layout && !kLayoutBuilt) {
    return Fail(kConversionFailed, "the layout mode is not in this build");
  }
  try {
    if (session.layout) {
      session.bytes.reserve(expectedBytes);
      session.decoder.reset();
      return kDone;
    }
    // Room for the line breaks the engine may widen at the end; untouched
    // room is never written, so it costs nothing.
    session.decoder = std::make_unique<TextDecoder>(expectedBytes, expectedBytes);
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  } catch (const std::length_error&) {
    return OutOfMemory();
  }
  return kDone;
}

int sievetext_feed(std::size_t bytes, int last) {
  Session& session = TheSession();
  if ((!session.decoder && !session.layout) || bytes > kPieceBytes) {
    return Fail(kConversionFailed, "no conversion begun");
  }
  try {
    if (session.layout) {
      session.bytes.append(gPiece, bytes);
    } else {
      session.decoder->feed(std::string_view(gPiece, bytes), last != 0);
    }
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  } catch (const std::length_error&) {
    return OutOfMemory();
  }
  return kDone;
}

// The reading mode's text, as units: the job lays out the whole bytes.
void LayOut(Session& session, cSievetext& engine) {
#if SIEVETEXT_WASM_LAYOUT
  std::string laidOut = ConvertBytesLaidOut(engine, session.bytes);
  session.bytes = std::string();
  // DecodeText takes a leading byte-order mark for the encoding's; one that
  // belongs to the text is kept by giving it a second.
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (laidOut.starts_with(kMark)) laidOut.insert(0, kMark);
  session.text = DecodeText(laidOut);
#else
  (void)session;
  (void)engine;
#endif
}

int sievetext_convert(std::uint32_t bits) {
  Session& session = TheSession();
  if (!session.decoder && !session.layout) return Fail(kConversionFailed, "no conversion begun");
  if (((bits & kLayoutBit) != 0) != session.layout) {
    return Fail(kConversionFailed, "the reading mode differs from the one begun");
  }
  try {
    cSievetext engine;
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
      engine.*kOptions[i].field = (bits >> i & 1) != 0;
    }
    FailureRecorder failure;
    engine.reporter = &failure;
    if (session.layout) {
      LayOut(session, engine);
    } else {
      session.text = session.decoder->take();
      session.decoder.reset();
      engine.ExtractTextInPlace(session.text);
    }
    if (failure.failed) {
      return Fail(failure.outOfMemory ? kOutOfMemory : kConversionFailed, failure.message);
    }
    if ((bits & kLfBit) != 0) UseLfLineBreaks(session.text);
    ReplaceLoneSurrogates(session.text);
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  } catch (const std::length_error&) {
    return OutOfMemory();
  }
  return kDone;
}

// Cuts the text into stretches for a host that builds its string a stretch
// at a time, and stores each stretch whose units all fit one byte one byte
// per unit, in place: its bytes start where its units did. A unit fits when
// it is below 0x100, except, without `latin1`, 0x80 ... 0x9F: a browser's
// one-byte decoder (windows-1252) reads those bytes as other characters.
// So a text of Latin letters with here and there a dash or a curly quote
// becomes a string of about one byte per character, not two.
//
// The text is looked at in blocks of kBlockUnits; alike blocks in a row make
// one stretch, and a run of fitting blocks too short to be worth a stretch of
// its own stays in the wide stretch around it, so that a stretch of one byte
// per unit holds at least kLeastNarrowBlocks blocks (or the whole text) and
// the host makes few strings. Returns the number of stretches; their ends
// and forms are at sievetext_stretches(). Returns 0, leaving the text as it
// was, when there is no memory for the list.
std::size_t sievetext_split(int latin1) {
  constexpr std::size_t kBlockUnits = 256;
  constexpr std::size_t kLeastNarrowBlocks = 4;
  Session& session = TheSession();
  const std::u16string& text = session.text;
  const std::size_t n = text.size();
  std::vector<std::uint32_t>& stretches = session.stretches;
  stretches.clear();
  try {
    stretches.reserve(2 * (n / kBlockUnits + 2));
  } catch (const std::bad_alloc&) {
    return 0;  // the host then reads the text as it is
  } catch (const std::length_error&) {
    return 0;
  }
  const auto fits = [&](std::size_t from, std::size_t to) {
    char16_t highest = 0;
    bool c1 = false;
    for (std::size_t i = from; i < to; ++i) {
      highest |= text[i];
      c1 |= static_cast<char16_t>(text[i] - 0x80) < 0x20;
    }
    return highest < 0x100 && (latin1 != 0 || !c1);
  };
  auto* bytes = reinterpret_cast<unsigned char*>(session.text.data());
  const auto narrow = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      bytes[from + i] = static_cast<unsigned char>(text[i]);
    }
  };
  const auto add = [&](std::size_t end, bool oneByte) {
    stretches.push_back(static_cast<std::uint32_t>(end));
    stretches.push_back(oneByte ? 1 : 0);
  };
  std::size_t wideFrom = 0;  // where the stretch not yet added begins
  std::size_t at = 0;
  while (at < n) {
    // The run of fitting blocks from `at`.
    std::size_t runEnd = at;
    while (runEnd < n && fits(runEnd, std::min(n, runEnd + kBlockUnits))) {
      runEnd = std::min(n, runEnd + kBlockUnits);
    }
    const bool whole = at == 0 && runEnd == n;
    if (whole || runEnd - at >= kLeastNarrowBlocks * kBlockUnits) {
      if (wideFrom < at) add(at, false);
      narrow(at, runEnd);
      add(runEnd, true);
      wideFrom = runEnd;
    }
    // The next block does not fit (or the text ends).
    at = std::min(n, runEnd + kBlockUnits);
  }
  if (wideFrom < n) add(n, false);
  return stretches.size() / 2;
}

// Per stretch of sievetext_split: its end in units, then 1 when it is stored
// one byte per unit (from twice its start, in bytes), else 0.
const std::uint32_t* sievetext_stretches() { return TheSession().stretches.data(); }

const char16_t* sievetext_text() { return TheSession().text.data(); }
std::size_t sievetext_text_length() { return TheSession().text.size(); }
const char* sievetext_message() { return TheSession().message.data(); }
std::size_t sievetext_message_length() { return TheSession().message.size(); }

void sievetext_release() {
  Session& session = TheSession();
  session.decoder.reset();
  session.bytes = std::string();
  session.text = std::u16string();
  session.stretches = std::vector<std::uint32_t>();
  session.message.clear();
}

}  // extern "C"
