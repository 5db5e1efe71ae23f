#include "text/charset.h"

#include <string>
#include <vector>

namespace sievetext {
namespace {

struct Encoding {
  Charset charset;
  std::string_view name;
  std::string_view labels;  // separated by one space, lower case
};

// The web's label table: every label a page may use for each encoding.
constexpr Encoding kEncodings[] = {
    {Charset::Utf8, "UTF-8",
     "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {Charset::Ibm866, "IBM866", "866 cp866 csibm866 ibm866"},
    {Charset::Iso8859_2, "ISO-8859-2",
     "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    {Charset::Iso8859_3, "ISO-8859-3",
     "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    {Charset::Iso8859_4, "ISO-8859-4",
     "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    {Charset::Iso8859_5, "ISO-8859-5",
     "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 iso_8859-5 "
     "iso_8859-5:1988"},
    {Charset::Iso8859_6, "ISO-8859-6",
     "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 iso-8859-6-e "
     "iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    {Charset::Iso8859_7, "ISO-8859-7",
     "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 iso88597 "
     "iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    {Charset::Iso8859_8, "ISO-8859-8",
     "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso8859-8 iso88598 "
     "iso_8859-8 iso_8859-8:1988 visual"},
    {Charset::Iso8859_8I, "ISO-8859-8-I", "csiso88598i iso-8859-8-i logical"},
    {Charset::Iso8859_10, "ISO-8859-10",
     "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    {Charset::Iso8859_13, "ISO-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    {Charset::Iso8859_14, "ISO-8859-14", "iso-8859-14 iso8859-14 iso885914"},
    {Charset::Iso8859_15, "ISO-8859-15",
     "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    {Charset::Iso8859_16, "ISO-8859-16", "iso-8859-16"},
    {Charset::Koi8R, "KOI8-R", "cskoi8r koi koi8 koi8-r koi8_r"},
    {Charset::Koi8U, "KOI8-U", "koi8-ru koi8-u"},
    {Charset::Macintosh, "macintosh", "csmacintosh mac macintosh x-mac-roman"},
    {Charset::Windows874, "windows-874",
     "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    {Charset::Windows1250, "windows-1250", "cp1250 windows-1250 x-cp1250"},
    {Charset::Windows1251, "windows-1251", "cp1251 windows-1251 x-cp1251"},
    {Charset::Windows1252, "windows-1252",
     "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 "
     "iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252"},
    {Charset::Windows1253, "windows-1253", "cp1253 windows-1253 x-cp1253"},
    {Charset::Windows1254, "windows-1254",
     "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 iso_8859-9:1989 l5 "
     "latin5 windows-1254 x-cp1254"},
    {Charset::Windows1255, "windows-1255", "cp1255 windows-1255 x-cp1255"},
    {Charset::Windows1256, "windows-1256", "cp1256 windows-1256 x-cp1256"},
    {Charset::Windows1257, "windows-1257", "cp1257 windows-1257 x-cp1257"},
    {Charset::Windows1258, "windows-1258", "cp1258 windows-1258 x-cp1258"},
    {Charset::XMacCyrillic, "x-mac-cyrillic", "x-mac-cyrillic x-mac-ukrainian"},
    {Charset::Gbk, "GBK",
     "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk"},
    {Charset::Gb18030, "gb18030", "gb18030"},
    {Charset::Big5, "Big5", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {Charset::EucJp, "EUC-JP", "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    {Charset::Iso2022Jp, "ISO-2022-JP", "csiso2022jp iso-2022-jp"},
    {Charset::ShiftJis, "Shift_JIS",
     "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {Charset::EucKr, "EUC-KR",
     "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 "
     "ksc_5601 windows-949"},
    {Charset::Replacement, "replacement",
     "csiso2022kr hz-gb-2312 iso-2022-cn iso-2022-cn-ext iso-2022-kr replacement"},
    {Charset::Utf16Be, "UTF-16BE", "unicodefffe utf-16be"},
    {Charset::Utf16Le, "UTF-16LE",
     "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
    {Charset::XUserDefined, "x-user-defined", "x-user-defined"},
};

bool IsAsciiSpace(unsigned char b) {
  return b == 0x09 || b == 0x0A || b == 0x0C || b == 0x0D || b == 0x20;
}
bool IsAsciiLetter(unsigned char b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }
char AsciiLower(unsigned char b) { return static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b); }

bool StartsWithLower(std::string_view text, std::size_t at, std::string_view lower) {
  if (text.size() - at < lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    if (AsciiLower(static_cast<unsigned char>(text[at + i])) != lower[i]) return false;
  }
  return true;
}

// The page itself decides how UTF-16 and x-user-defined declarations are
// read: its tags were found as ASCII bytes.
Charset AsDeclared(Charset charset) {
  if (charset == Charset::Utf16Be || charset == Charset::Utf16Le) return Charset::Utf8;
  if (charset == Charset::XUserDefined) return Charset::Windows1252;
  return charset;
}

// The encoding named after "charset=" in a Content-Type value such as
// `text/html; charset="koi8-r"`.
std::optional<Charset> CharsetFromContent(std::string_view s) {
  std::size_t at = 0;
  for (;;) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = at; i + 7 <= s.size(); ++i) {
      if (StartsWithLower(s, i, "charset")) {
        found = i;
        break;
      }
    }
    if (found == std::string_view::npos) return std::nullopt;
    std::size_t i = found + 7;
    while (i < s.size() && IsAsciiSpace(static_cast<unsigned char>(s[i]))) ++i;
    if (i == s.size() || s[i] != '=') {
      at = i;  // the word again, from the character that followed it
      continue;
    }
    ++i;
    while (i < s.size() && IsAsciiSpace(static_cast<unsigned char>(s[i]))) ++i;
    if (i == s.size()) return std::nullopt;
    if (s[i] == '"' || s[i] == '\'') {
      const std::size_t close = s.find(s[i], i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      return CharsetFromLabel(s.substr(i + 1, close - i - 1));
    }
    std::size_t end = i;
    while (end < s.size() && s[end] != ';' && !IsAsciiSpace(static_cast<unsigned char>(s[end]))) {
      ++end;
    }
    return CharsetFromLabel(s.substr(i, end - i));
  }
}

// The encoding an XML declaration at the start of `head` names.
std::optional<Charset> CharsetFromXmlDeclaration(std::string_view head) {
  if (!head.starts_with("<?xml")) return std::nullopt;
  const std::size_t end = head.find('>');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view declaration = head.substr(0, end);
  std::size_t i = declaration.find("encoding", 5);
  if (i == std::string_view::npos) return std::nullopt;
  i += 8;
  const auto skipSpace = [&] {
    while (i < declaration.size() && static_cast<unsigned char>(declaration[i]) <= 0x20) ++i;
  };
  skipSpace();
  if (i == declaration.size() || declaration[i] != '=') return std::nullopt;
  ++i;
  skipSpace();
  if (i == declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) {
    return std::nullopt;
  }
  const std::size_t close = declaration.find(declaration[i], i + 1);
  if (close == std::string_view::npos) return std::nullopt;
  const std::string_view label = declaration.substr(i + 1, close - i - 1);
  for (const char c : label) {
    if (static_cast<unsigned char>(c) <= 0x20) return std::nullopt;
  }
  const std::optional<Charset> charset = CharsetFromLabel(label);
  if (charset == Charset::Utf16Be || charset == Charset::Utf16Le) return Charset::Utf8;
  return charset;
}

// The prescan's walk over the tags of the file's first bytes. Every step
// returns false when the bytes run out, which ends the walk without a
// result.
class MetaScan {
 public:
  explicit MetaScan(std::string_view head) : b_(head) {}

  // The first declaration found before the bytes run out, or nothing.
  std::optional<Charset> run();

 private:
  enum class Got { Attribute, None, RanOut };

  bool more() const { return at_ < b_.size(); }
  unsigned char byte() const { return static_cast<unsigned char>(b_[at_]); }
  bool startsWith(std::string_view lower) const { return StartsWithLower(b_, at_, lower); }
  // Moves to the next of `bytes` from here on.
  bool skipTo(std::string_view bytes) {
    at_ = b_.find_first_of(bytes, at_);
    return at_ != std::string_view::npos;
  }
  Got attribute();
  // The attributes of a <meta>; returns the declaration it makes, if any.
  std::optional<Charset> meta(bool& ranOut);

  std::string_view b_;
  std::size_t at_ = 0;
  std::string name_;
  std::string value_;
};

// One attribute, its name and value lower-cased, from here to just past it.
MetaScan::Got MetaScan::attribute() {
  name_.clear();
  value_.clear();
  while (more() && (IsAsciiSpace(byte()) || byte() == '/')) ++at_;
  if (!more()) return Got::RanOut;
  if (byte() == '>') return Got::None;
  for (;; ++at_) {
    if (!more()) return Got::RanOut;
    const unsigned char c = byte();
    if (c == '=' && !name_.empty()) break;
    if (IsAsciiSpace(c)) {
      while (more() && IsAsciiSpace(byte())) ++at_;
      if (!more()) return Got::RanOut;
      if (byte() != '=') return Got::Attribute;
      break;
    }
    if (c == '/' || c == '>') return Got::Attribute;
    name_.push_back(AsciiLower(c));
  }
  ++at_;  // past '='
  while (more() && IsAsciiSpace(byte())) ++at_;
  if (!more()) return Got::RanOut;
  const unsigned char first = byte();
  if (first == '"' || first == '\'') {
    for (++at_; more(); ++at_) {
      if (byte() == first) {
        ++at_;
        return Got::Attribute;
      }
      value_.push_back(AsciiLower(byte()));
    }
    return Got::RanOut;
  }
  if (first == '>') return Got::Attribute;
  for (; more(); ++at_) {
    if (IsAsciiSpace(byte()) || byte() == '>') return Got::Attribute;
    value_.push_back(AsciiLower(byte()));
  }
  return Got::RanOut;
}

std::optional<Charset> MetaScan::meta(bool& ranOut) {
  enum class Pragma { Unknown, Needed, NotNeeded } needPragma = Pragma::Unknown;
  bool gotPragma = false;
  bool failed = false;  // a charset attribute that names no encoding
  std::optional<Charset> charset;
  std::vector<std::string> seen;
  for (;;) {
    const Got got = attribute();
    if (got == Got::RanOut) {
      ranOut = true;
      return std::nullopt;
    }
    if (got == Got::None) break;
    bool repeated = false;
    for (const std::string& name : seen) repeated = repeated || name == name_;
    if (repeated) continue;
    seen.push_back(name_);
    if (name_ == "http-equiv") {
      if (value_ == "content-type") gotPragma = true;
    } else if (name_ == "content") {
      const std::optional<Charset> found = CharsetFromContent(value_);
      if (found && !charset && !failed) {
        charset = found;
        needPragma = Pragma::Needed;
      }
    } else if (name_ == "charset") {
      charset = CharsetFromLabel(value_);
      failed = !charset;
      needPragma = Pragma::NotNeeded;
    }
  }
  if (needPragma == Pragma::Unknown || (needPragma == Pragma::Needed && !gotPragma) || !charset) {
    return std::nullopt;
  }
  return AsDeclared(*charset);
}

std::optional<Charset> MetaScan::run() {
  for (; more(); ++at_) {
    if (byte() != '<') continue;
    if (startsWith("<!--")) {
      // To the '>' of the first "-->", whose dashes may be those of "<!--".
      const std::size_t close = b_.find("-->", at_ + 2);
      if (close == std::string_view::npos) break;
      at_ = close + 2;
    } else if (startsWith("<meta") && at_ + 5 < b_.size() &&
               (IsAsciiSpace(static_cast<unsigned char>(b_[at_ + 5])) || b_[at_ + 5] == '/')) {
      at_ += 6;
      bool ranOut = false;
      const std::optional<Charset> charset = meta(ranOut);
      if (ranOut) return std::nullopt;
      if (charset) return charset;
    } else if (at_ + 1 < b_.size() && (IsAsciiLetter(static_cast<unsigned char>(b_[at_ + 1])) ||
                                       (b_[at_ + 1] == '/' && at_ + 2 < b_.size() &&
                                        IsAsciiLetter(static_cast<unsigned char>(b_[at_ + 2]))))) {
      // Another tag: its attributes are skipped whole, so that a value
      // holding "<meta" is not taken for one.
      if (!skipTo("\t\n\f\r >")) break;
      Got got;
      while ((got = attribute()) == Got::Attribute) {
      }
      if (got == Got::RanOut) break;
    } else if (at_ + 1 < b_.size() &&
               (b_[at_ + 1] == '!' || b_[at_ + 1] == '/' || b_[at_ + 1] == '?')) {
      if (!skipTo(">")) break;
    }
  }
  return std::nullopt;
}

}  // namespace

std::string_view CharsetName(Charset charset) {
  for (const Encoding& encoding : kEncodings) {
    if (encoding.charset == charset) return encoding.name;
  }
  return {};
}

std::optional<Charset> CharsetFromLabel(std::string_view label) {
  while (!label.empty() && IsAsciiSpace(static_cast<unsigned char>(label.front()))) {
    label.remove_prefix(1);
  }
  while (!label.empty() && IsAsciiSpace(static_cast<unsigned char>(label.back()))) {
    label.remove_suffix(1);
  }
  if (label.empty()) return std::nullopt;
  for (const Encoding& encoding : kEncodings) {
    std::string_view labels = encoding.labels;
    while (!labels.empty()) {
      const std::size_t space = labels.find(' ');
      const std::string_view one = labels.substr(0, space);
      if (one.size() == label.size() && StartsWithLower(label, 0, one)) return encoding.charset;
      if (space == std::string_view::npos) break;
      labels.remove_prefix(space + 1);
    }
  }
  return std::nullopt;
}

std::optional<Charset> PrescanCharset(std::string_view head) {
  head = head.substr(0, std::min(head.size(), kPrescanBytes));
  // An XML declaration written in UTF-16, without a byte-order mark.
  if (head.starts_with(std::string_view("<\0?\0x\0", 6))) return Charset::Utf16Le;
  if (head.starts_with(std::string_view("\0<\0?\0x", 6))) return Charset::Utf16Be;
  if (std::optional<Charset> charset = MetaScan(head).run()) return charset;
  return CharsetFromXmlDeclaration(head);
}

}  // namespace sievetext
