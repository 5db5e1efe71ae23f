#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace sievetext {

// The character encodings a page can name, one per encoding of the web's
// label table (each has many labels: "latin1", "iso-8859-1" and "ascii" all
// name Windows1252).
enum class Charset {
  Utf8,
  Ibm866,
  Iso8859_2,
  Iso8859_3,
  Iso8859_4,
  Iso8859_5,
  Iso8859_6,
  Iso8859_7,
  Iso8859_8,
  Iso8859_8I,
  Iso8859_10,
  Iso8859_13,
  Iso8859_14,
  Iso8859_15,
  Iso8859_16,
  Koi8R,
  Koi8U,
  Macintosh,
  Windows874,
  Windows1250,
  Windows1251,
  Windows1252,
  Windows1253,
  Windows1254,
  Windows1255,
  Windows1256,
  Windows1257,
  Windows1258,
  XMacCyrillic,
  Gbk,
  Gb18030,
  Big5,
  EucJp,
  Iso2022Jp,
  ShiftJis,
  EucKr,
  // Labels of encodings that are refused (ISO-2022-KR, ISO-2022-CN, HZ):
  // read as if nothing were declared.
  Replacement,
  Utf16Be,
  Utf16Le,
  XUserDefined,
};

// The encoding's name as the web writes it ("windows-1251", "Shift_JIS").
std::string_view CharsetName(Charset charset);

// The encoding `label` names, ignoring ASCII letter case and the ASCII
// white space around it; nothing for a label that is not in the table.
std::optional<Charset> CharsetFromLabel(std::string_view label);

// How many of a file's first bytes are looked at for a declaration.
inline constexpr std::size_t kPrescanBytes = 1024;

// The encoding a page declares in its first bytes: the first <meta charset>
// or <meta http-equiv="Content-Type" content="...; charset=..."> outside
// comments and other tags' attribute values, else the encoding of an XML
// declaration at its very start, read as the HTML parser's prescan reads
// them. `head` is the first kPrescanBytes of the file (or all of a shorter
// one); a declaration cut off by its end counts as none. A declared UTF-16 is
// read as UTF-8 and x-user-defined as Windows1252, since such a page's bytes
// cannot be UTF-16 if its ASCII tags were found; only an XML declaration
// written in UTF-16 itself gives Utf16Le or Utf16Be.
std::optional<Charset> PrescanCharset(std::string_view head);

}  // namespace sievetext
