// The prescan on any bytes, and a page that declares one of the legacy
// charsets, whatever bytes follow: decoding never fails, gives at most a unit
// or two a byte, and gives the same text whole, in pieces cut anywhere and
// through a decoder short of room.
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "text/charset.h"
#include "text/legacy_decoder.h"
#include "text/text_codec.h"

namespace {

using sievetext::Charset;

constexpr Charset kLegacy[] = {
    Charset::Ibm866,      Charset::Iso8859_2,   Charset::Iso8859_3,    Charset::Iso8859_6,
    Charset::Iso8859_7,   Charset::Iso8859_8,   Charset::Iso8859_16,   Charset::Koi8R,
    Charset::Koi8U,       Charset::Macintosh,   Charset::Windows874,   Charset::Windows1250,
    Charset::Windows1253, Charset::Windows1258, Charset::XMacCyrillic, Charset::Gbk,
    Charset::Gb18030,     Charset::Big5,        Charset::EucJp,        Charset::Iso2022Jp,
    Charset::ShiftJis,    Charset::EucKr,
};

// `bytes` through a decoder of `charset` fed in pieces of `piece` bytes and
// given at most `room` units a call, more where one character needs more.
std::u16string DecodeNarrowly(Charset charset, std::string_view bytes, std::size_t piece,
                              std::size_t room) {
  auto decoder = sievetext::LegacyDecoder::open(charset);
  std::u16string text;
  std::string held;
  std::size_t at = 0;
  for (;;) {
    const bool last = at + piece >= bytes.size();
    held.append(bytes.substr(at, piece));
    at += piece;
    std::string_view rest = held;
    for (std::size_t more = room;;) {
      const std::size_t length = text.size();
      text.resize(length + more);
      const auto step = decoder->decode(rest, last, text.data() + length, more);
      if (step.written > more || step.used > rest.size()) std::abort();
      text.resize(length + step.written);
      rest.remove_prefix(step.used);
      if (!step.wantsRoom) break;
      // No character takes more than a few units.
      more = step.used == 0 && step.written == 0 ? 2 * more : room;
      if (more > 16) std::abort();
    }
    if (last) {
      if (!rest.empty()) std::abort();  // the end uses every byte
      return text;
    }
    if (rest.size() > sievetext::LegacyDecoder::kMostHeldBytes) std::abort();
    held = std::string(rest);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Nothing past the first kPrescanBytes counts.
  if (sievetext::PrescanCharset(bytes) !=
      sievetext::PrescanCharset(bytes.substr(0, std::min(size, sievetext::kPrescanBytes)))) {
    std::abort();
  }
  if (size < 2) return 0;

  const Charset charset = kLegacy[data[0] % std::size(kLegacy)];
  const std::string meta = "<meta charset=" + std::string(sievetext::CharsetName(charset)) + ">";
  const std::string_view body = bytes.substr(2);
  const std::string page = meta + std::string(body);
  const std::u16string whole = sievetext::DecodeText(page);
  if (whole.size() > 2 * page.size() + 2) std::abort();

  // Cut in three anywhere.
  std::size_t cut1 = data[1] % (page.size() + 1);
  std::size_t cut2 = (data[1] * 131u + size) % (page.size() + 1);
  if (cut2 < cut1) std::swap(cut1, cut2);
  sievetext::TextDecoder decoder(data[0] & 0x80 ? page.size() : 0);
  decoder.feed(std::string_view(page).substr(0, cut1), false);
  decoder.feed(std::string_view(page).substr(cut1, cut2 - cut1), false);
  decoder.feed(std::string_view(page).substr(cut2), true);
  if (decoder.take() != whole) std::abort();

  // Without the page's own declaration, straight through a decoder given
  // little room at a time: the same text after the declaration.
  if (sievetext::LegacyDecoder::open(charset)) {
    const std::u16string narrow =
        DecodeNarrowly(charset, body, 1 + data[1] % 7, 1 + (data[1] >> 4) % 4);
    if (whole.compare(0, meta.size(), std::u16string(meta.begin(), meta.end())) != 0 ||
        whole.substr(meta.size()) != narrow) {
      std::abort();
    }
  }
  return 0;
}
