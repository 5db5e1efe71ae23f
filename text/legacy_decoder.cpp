#include "text/legacy_decoder.h"

#if SIEVETEXT_HAVE_ICONV
#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
#endif

namespace sievetext {

#if SIEVETEXT_HAVE_ICONV
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The converter's names for each charset, the closest first: the web's
// Shift_JIS is Microsoft's code page 932, its EUC-KR code page 949, its Big5
// the Hong Kong extension and its GBK the whole of GB18030. Charsets that are
// not here are never converted.
struct ConverterNames {
  Charset charset;
  const char* names[3];
};
constexpr ConverterNames kConverterNames[] = {
    {Charset::Ibm866, {"IBM866", "CP866"}},
    {Charset::Iso8859_2, {"ISO-8859-2"}},
    {Charset::Iso8859_3, {"ISO-8859-3"}},
    {Charset::Iso8859_4, {"ISO-8859-4"}},
    {Charset::Iso8859_5, {"ISO-8859-5"}},
    {Charset::Iso8859_6, {"ISO-8859-6"}},
    {Charset::Iso8859_7, {"ISO-8859-7"}},
    {Charset::Iso8859_8, {"ISO-8859-8"}},
    {Charset::Iso8859_8I, {"ISO-8859-8"}},
    {Charset::Iso8859_10, {"ISO-8859-10"}},
    {Charset::Iso8859_13, {"ISO-8859-13"}},
    {Charset::Iso8859_14, {"ISO-8859-14"}},
    {Charset::Iso8859_15, {"ISO-8859-15"}},
    {Charset::Iso8859_16, {"ISO-8859-16"}},
    {Charset::Koi8R, {"KOI8-R"}},
    {Charset::Koi8U, {"KOI8-RU", "KOI8-U"}},
    {Charset::Macintosh, {"MACINTOSH"}},
    {Charset::Windows874, {"WINDOWS-874", "CP874"}},
    {Charset::Windows1250, {"CP1250"}},
    {Charset::Windows1251, {"CP1251"}},
    {Charset::Windows1253, {"CP1253"}},
    {Charset::Windows1254, {"CP1254"}},
    {Charset::Windows1255, {"CP1255"}},
    {Charset::Windows1256, {"CP1256"}},
    {Charset::Windows1257, {"CP1257"}},
    {Charset::Windows1258, {"CP1258"}},
    {Charset::XMacCyrillic, {"MAC-CYRILLIC", "MACCYRILLIC"}},
    {Charset::Gbk, {"GB18030", "GBK"}},
    {Charset::Gb18030, {"GB18030"}},
    {Charset::Big5, {"BIG5-HKSCS", "BIG5"}},
    {Charset::EucJp, {"EUC-JP"}},
    {Charset::Iso2022Jp, {"ISO-2022-JP-3", "ISO-2022-JP"}},  // -3 has half-width katakana
    {Charset::ShiftJis, {"WINDOWS-31J", "CP932", "SHIFT_JIS"}},
    {Charset::EucKr, {"CP949", "UHC", "EUC-KR"}},
};

bool IsWindowsCodePage(Charset charset) {
  switch (charset) {
    case Charset::Windows874:
    case Charset::Windows1250:
    case Charset::Windows1251:
    case Charset::Windows1253:
    case Charset::Windows1254:
    case Charset::Windows1255:
    case Charset::Windows1256:
    case Charset::Windows1257:
    case Charset::Windows1258:
      return true;
    default:
      return false;
  }
}

// The converter writes UTF-16 in this machine's byte order, without a mark.
constexpr const char* kUnits = std::endian::native == std::endian::big ? "UTF-16BE" : "UTF-16LE";

iconv_t Converter(void* converter) { return static_cast<iconv_t>(converter); }

}  // namespace

std::unique_ptr<LegacyDecoder> LegacyDecoder::open(Charset charset) {
  for (const ConverterNames& row : kConverterNames) {
    if (row.charset != charset) continue;
    for (const char* name : row.names) {
      if (name == nullptr) break;
      const iconv_t converter = ::iconv_open(kUnits, name);
      // iconv_open's failure value is (iconv_t)-1.
      if (converter != reinterpret_cast<iconv_t>(-1)) {  // NOLINT(performance-no-int-to-ptr)
        return std::unique_ptr<LegacyDecoder>(
            new LegacyDecoder(static_cast<void*>(converter), IsWindowsCodePage(charset)));
      }
    }
  }
  return nullptr;
}

LegacyDecoder::~LegacyDecoder() { ::iconv_close(Converter(converter_)); }

LegacyDecoder::Step LegacyDecoder::decode(std::string_view bytes, bool last, char16_t* out,
                                          std::size_t room) {
  char* in = const_cast<char*>(bytes.data());  // the converter takes char**, never writes
  std::size_t inLeft = bytes.size();
  char* o = reinterpret_cast<char*>(out);
  std::size_t outLeft = room * sizeof(char16_t);
  Step step;
  const auto finish = [&](bool wantsRoom) {
    step.used = bytes.size() - inLeft;
    step.written = (room * sizeof(char16_t) - outLeft) / sizeof(char16_t);
    step.wantsRoom = wantsRoom;
    return step;
  };
  while (inLeft > 0) {
    if (::iconv(Converter(converter_), &in, &inLeft, &o, &outLeft) !=
        static_cast<std::size_t>(-1)) {
      break;
    }
    if (errno == E2BIG) return finish(true);
    // An unfinished sequence at the end waits for the next piece; at the
    // end of the text, or past any sequence's length, it is invalid.
    if (errno == EINVAL && !last && inLeft <= kMostHeldBytes) return finish(false);
    if (outLeft < sizeof(char16_t)) return finish(true);
    const auto b = static_cast<unsigned char>(*in);
    const char16_t unit = c1Controls_ && b >= 0x80 && b < 0xA0 ? b : kReplacement;
    std::memcpy(o, &unit, sizeof unit);
    o += sizeof unit;
    outLeft -= sizeof unit;
    ++in;
    --inLeft;
  }
  // The end of the text: what the converter still holds (a letter waiting
  // for a combining mark) and the return to its initial shift state.
  if (last && ::iconv(Converter(converter_), nullptr, nullptr, &o, &outLeft) ==
                  static_cast<std::size_t>(-1)) {
    return finish(errno == E2BIG);
  }
  return finish(false);
}

#else  // no converter in this build: declared legacy charsets keep the default reading

std::unique_ptr<LegacyDecoder> LegacyDecoder::open(Charset) { return nullptr; }
LegacyDecoder::~LegacyDecoder() = default;
LegacyDecoder::Step LegacyDecoder::decode(std::string_view, bool, char16_t*, std::size_t) {
  return {};
}

#endif

}  // namespace sievetext
