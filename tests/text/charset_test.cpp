#include "text/charset.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sievetext {
namespace {

struct PrescanRow {
  const char* name;
  std::string head;
  std::optional<Charset> charset;
};

void ExpectPrescans(const std::vector<PrescanRow>& rows) {
  for (const PrescanRow& row : rows) {
    const std::optional<Charset> got = PrescanCharset(row.head);
    EXPECT_EQ(got, row.charset) << row.name << ": got "
                                << (got ? CharsetName(*got) : std::string_view("nothing"));
  }
}

TEST(CharsetTest, LabelsAsTheWebNamesThem) {
  const struct {
    const char* label;
    std::optional<Charset> charset;
  } rows[] = {
      {"latin1", Charset::Windows1252},
      {"iso-8859-1", Charset::Windows1252},
      {"ISO_8859-1:1987", Charset::Windows1252},
      {"ascii", Charset::Windows1252},
      {"us-ascii", Charset::Windows1252},
      {"iso-8859-9", Charset::Windows1254},
      {"iso-8859-11", Charset::Windows874},
      {"tis-620", Charset::Windows874},
      {"x-sjis", Charset::ShiftJis},
      {"ms932", Charset::ShiftJis},
      {"gb2312", Charset::Gbk},
      {"big5-hkscs", Charset::Big5},
      {"windows-949", Charset::EucKr},
      {"ks_c_5601-1987", Charset::EucKr},
      {"koi8-ru", Charset::Koi8U},
      {"utf8", Charset::Utf8},
      {"unicode-1-1-utf-8", Charset::Utf8},
      {"utf-16", Charset::Utf16Le},
      {"iso-2022-kr", Charset::Replacement},
      {"logical", Charset::Iso8859_8I},
      {" \t KOI8-R\n\f\r", Charset::Koi8R},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"latin9", std::nullopt},
      {"koi8-r;", std::nullopt},
      {"koi8 r", std::nullopt},
      {"utf-8\v", std::nullopt},  // only the five ASCII spaces are trimmed
      {"\xC4\xB1so-8859-2", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(CharsetFromLabel(row.label), row.charset) << row.label;
  // Every encoding's name is one of its labels.
  for (int i = 0; i <= static_cast<int>(Charset::XUserDefined); ++i) {
    const auto charset = static_cast<Charset>(i);
    EXPECT_EQ(CharsetFromLabel(CharsetName(charset)), charset) << CharsetName(charset);
  }
}

TEST(CharsetTest, MetaCharset) {
  ExpectPrescans({
      {"double quotes", R"(<meta charset="koi8-r">)", Charset::Koi8R},
      {"single quotes", "<meta charset='koi8-r'>", Charset::Koi8R},
      {"no quotes", "<meta charset=koi8-r>", Charset::Koi8R},
      {"upper case", "<META CHARSET=KOI8-R>", Charset::Koi8R},
      {"spaces around =", "<meta charset = \" koi8-r \" >", Charset::Koi8R},
      {"slash after meta", "<meta/charset=koi8-r>", Charset::Koi8R},
      {"self-closing, quoted", "<meta charset=\"koi8-r\"/>", Charset::Koi8R},
      {"self-closing unquoted is part of the value", "<meta charset=koi8-r/>", std::nullopt},
      {"in a full head",
       "<!DOCTYPE html>\n<html lang=ru>\n<head>\n<title>t</title>\n"
       "<meta name=viewport content=width=device-width>\n"
       "<meta charset=windows-1251>\n</head>",
       Charset::Windows1251},
      {"an unknown label is passed over", "<meta charset=bogus><meta charset=gbk>", Charset::Gbk},
      {"empty", "<meta charset=\"\"><meta charset=gbk>", Charset::Gbk},
      {"first of two", "<meta charset=big5><meta charset=gbk>", Charset::Big5},
      {"first of a repeated attribute", "<meta charset=big5 charset=gbk>", Charset::Big5},
      {"utf-16 means utf-8", "<meta charset=utf-16le>", Charset::Utf8},
      {"x-user-defined means windows-1252", "<meta charset=x-user-defined>", Charset::Windows1252},
      {"a refused encoding", "<meta charset=iso-2022-kr>", Charset::Replacement},
      {"not followed by a space", "<metacharset=koi8-r>", std::nullopt},
      {"another element", "<x-meta charset=koi8-r>", std::nullopt},
      {"no declaration", "<html><body><p>Hello</p></body></html>", std::nullopt},
      {"empty head", "", std::nullopt},
  });
}

TEST(CharsetTest, HttpEquivContent) {
  ExpectPrescans({
      {"content-type", R"(<meta http-equiv="Content-Type" content="text/html; charset=koi8-r">)",
       Charset::Koi8R},
      {"content first", R"(<meta content="text/html; charset=koi8-r" http-equiv="content-type">)",
       Charset::Koi8R},
      {"no pragma", R"(<meta content="text/html; charset=koi8-r">)", std::nullopt},
      {"another pragma", R"(<meta http-equiv=refresh content="text/html; charset=koi8-r">)",
       std::nullopt},
      {"quoted label", R"(<meta http-equiv=content-type content="text/html;charset='shift_jis'">)",
       Charset::ShiftJis},
      {"spaces and a parameter after",
       R"(<meta http-equiv=content-type content="text/html;)"
       R"( charset = gbk ; x=y">)",
       Charset::Gbk},
      {"charset not followed by =",
       R"(<meta http-equiv=content-type content="charsetx; )"
       R"(charset=euc-kr">)",
       Charset::EucKr},
      {"no value", R"(<meta http-equiv=content-type content="text/html; charset=">)", std::nullopt},
      {"unmatched quote", R"(<meta http-equiv=content-type content="text/html; charset='koi8-r">)",
       std::nullopt},
      {"no charset", R"(<meta http-equiv=content-type content="text/html">)", std::nullopt},
      {"charset attribute wins over content",
       R"(<meta http-equiv=content-type content="text/html; charset=iso-8859-2" charset=koi8-r>)",
       Charset::Koi8R},
      {"content does not override charset",
       R"(<meta charset=koi8-r content="text/html; charset=iso-8859-2" http-equiv=content-type>)",
       Charset::Koi8R},
      {"a bogus charset attribute is not rescued by content",
       R"(<meta charset=bogus http-equiv=content-type content="text/html; charset=koi8-r">)"
       R"(<meta charset=big5>)",
       Charset::Big5},
  });
}

TEST(CharsetTest, CommentsAndOtherTagsAreSkipped) {
  ExpectPrescans({
      {"in a comment", "<!-- <meta charset=koi8-r> --><meta charset=iso-8859-2>",
       Charset::Iso8859_2},
      {"comment closed by <!-->", "<!--><meta charset=koi8-r>", Charset::Koi8R},
      {"comment closed by <!--->", "<!---><meta charset=koi8-r>", Charset::Koi8R},
      {"unclosed comment", "<!-- <meta charset=koi8-r>", std::nullopt},
      {"in an attribute value", R"(<div title="<meta charset=koi8-r>"><meta charset=gbk>)",
       Charset::Gbk},
      {"in an unquoted value", "<a href=x<meta charset=koi8-r>y><meta charset=gbk>", Charset::Gbk},
      {"in an end tag's attribute", R"(</p title="<meta charset=koi8-r>"><meta charset=gbk>)",
       Charset::Gbk},
      {"doctype and processing instruction", "<!DOCTYPE html><?php echo 1 ?><meta charset=koi8-r>",
       Charset::Koi8R},
      {"in a bogus comment", "<!x <meta charset=koi8-r>><meta charset=gbk>", Charset::Gbk},
      {"a lone <", "a < b <meta charset=koi8-r>", Charset::Koi8R},
  });
}

TEST(CharsetTest, OnlyTheFirst1024BytesCount) {
  const std::string meta = "<meta charset=koi8-r>";
  const std::string fits = std::string(kPrescanBytes - meta.size(), ' ') + meta;
  const std::string past = " " + fits;
  ExpectPrescans({
      {"ends on the last byte", fits, Charset::Koi8R},
      {"its > one byte past", past, std::nullopt},
      {"bytes past the limit are not read", fits + "<meta charset=gbk>", Charset::Koi8R},
      {"cut inside a quoted value",
       std::string(kPrescanBytes - 16, ' ') + "<meta charset=\"koi8-r\">", std::nullopt},
  });
}

TEST(CharsetTest, XmlDeclaration) {
  ExpectPrescans({
      {"double quotes", R"(<?xml version="1.0" encoding="koi8-r"?><p>)", Charset::Koi8R},
      {"single quotes and spaces", "<?xml version='1.0' encoding = 'Shift_JIS' ?>",
       Charset::ShiftJis},
      {"not at the start", R"( <?xml version="1.0" encoding="koi8-r"?>)", std::nullopt},
      {"a meta wins", R"(<?xml version="1.0" encoding="koi8-r"?><meta charset=gbk>)", Charset::Gbk},
      {"outside the declaration", R"(<?xml version="1.0"?><p encoding="koi8-r">)", std::nullopt},
      {"unquoted", "<?xml version=1.0 encoding=koi8-r?>", std::nullopt},
      {"utf-16 means utf-8", R"(<?xml version="1.0" encoding="utf-16"?>)", Charset::Utf8},
      {"written in utf-16le", std::string("<\0?\0x\0m\0l\0", 10), Charset::Utf16Le},
      {"written in utf-16be", std::string("\0<\0?\0x\0m\0l", 10), Charset::Utf16Be},
  });
}

}  // namespace
}  // namespace sievetext
