// Any bytes a file can hold: decoding never fails, decoding in pieces gives
// the same text as decoding whole, the encoded result is well-formed UTF-8
// that reads back unchanged, and a settings file that parses still parses
// after a key is set.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "settings/ini_document.h"
#include "text/text_codec.h"

namespace {

// Decodes `bytes` cut at `split` and `split2`, into room sized for them or
// grown from nothing.
std::u16string DecodeInPieces(std::string_view bytes, std::size_t split, std::size_t split2,
                              bool sized) {
  sievetext::TextDecoder decoder(sized ? bytes.size() : 0);
  if (split2 < split) std::swap(split, split2);
  decoder.feed(bytes.substr(0, split), false);
  decoder.feed(bytes.substr(split, split2 - split), false);
  decoder.feed(bytes.substr(split2), true);
  return decoder.take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string text = sievetext::DecodeText(bytes);
  if (text.size() > size) std::abort();
  if (size > 1 &&
      DecodeInPieces(bytes, data[0] % (size + 1), data[1] % (size + 1), data[0] & 1) != text) {
    std::abort();
  }

  const std::string utf8 = sievetext::EncodeText(text);
  // Read back as the text it is (a leading U+FEFF would be taken for a
  // byte-order mark, and a charset the page declares is not followed).
  if (utf8.rfind("\xEF\xBB\xBF", 0) != 0) {
    sievetext::TextDecoder reader(utf8.size(), 0, sievetext::TextDecoder::Declarations::Ignore);
    reader.feed(utf8, true);
    if (sievetext::EncodeText(reader.take()) != utf8) std::abort();
  }

  sievetext::IniDocument doc;
  if (doc.parse(bytes)) {
    doc.set("General", "RemoveTabs", "True");
    sievetext::IniDocument again;
    if (!again.parse(doc.text()) || again.get("General", "RemoveTabs") != "True") std::abort();
  }
  return 0;
}
