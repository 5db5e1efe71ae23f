#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/layout/css_style.h"
#include "engine/layout/css_syntax.h"
#include "engine/layout/text_layout.h"

namespace sievetext::layout {
namespace {

// Tokens written compactly: "I:name" an identifier, "F:name" a function,
// "@name", "#name" (an id hash) or "#?name" (another hash), "S:text" a
// string, "U:address", "N:1.5", "%:50", "D:12px" (number then unit),
// "d:c" a delimiter, " " white space, and the punctuation as it is.
std::string Show(const std::vector<css::Token>& tokens) {
  std::string out;
  const auto ascii = [](const std::u16string& s) {
    std::string a;
    for (char16_t c : s) a.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return a;
  };
  for (const css::Token& t : tokens) {
    if (!out.empty()) out += '|';
    switch (t.type) {
      case css::TokenType::Ident:
        out += "I:" + ascii(t.value);
        break;
      case css::TokenType::Function:
        out += "F:" + ascii(t.value);
        break;
      case css::TokenType::AtKeyword:
        out += "@" + ascii(t.value);
        break;
      case css::TokenType::Hash:
        out += (t.idHash ? "#" : "#?") + ascii(t.value);
        break;
      case css::TokenType::String:
        out += "S:" + ascii(t.value);
        break;
      case css::TokenType::BadString:
        out += "BadString";
        break;
      case css::TokenType::Url:
        out += "U:" + ascii(t.value);
        break;
      case css::TokenType::BadUrl:
        out += "BadUrl";
        break;
      case css::TokenType::Delim:
        out += "d:" + ascii(std::u16string(1, t.delim));
        break;
      case css::TokenType::Number:
        out += "N:" + std::to_string(t.number).substr(0, 4);
        break;
      case css::TokenType::Percentage:
        out += "%:" + std::to_string(t.number).substr(0, 4);
        break;
      case css::TokenType::Dimension:
        out += "D:" + std::to_string(t.number).substr(0, 4) + ascii(t.value);
        break;
      case css::TokenType::Whitespace:
        out += " ";
        break;
      case css::TokenType::Cdo:
        out += "<!--";
        break;
      case css::TokenType::Cdc:
        out += "-->";
        break;
      case css::TokenType::Colon:
        out += ":";
        break;
      case css::TokenType::Semicolon:
        out += ";";
        break;
      case css::TokenType::Comma:
        out += ",";
        break;
      case css::TokenType::OpenSquare:
        out += "[";
        break;
      case css::TokenType::CloseSquare:
        out += "]";
        break;
      case css::TokenType::OpenParen:
        out += "(";
        break;
      case css::TokenType::CloseParen:
        out += ")";
        break;
      case css::TokenType::OpenCurly:
        out += "{";
        break;
      case css::TokenType::CloseCurly:
        out += "}";
        break;
    }
  }
  return out;
}

struct TokenCase {
  const char16_t* css;
  const char* tokens;
};

void Check(std::initializer_list<TokenCase> cases) {
  for (const TokenCase& c : cases) {
    EXPECT_EQ(Show(css::Tokenize(c.css)), c.tokens) << Show(css::Tokenize(c.css));
  }
}

TEST(CssTokenizerTest, IdentifiersAndEscapes) {
  Check({
      {u"a-b _c --x -d", "I:a-b| |I:_c| |I:--x| |I:-d"},
      {u"\\41 b \\\"q", "I:Ab| |I:\"q"},  // a hex escape eats one space
      {u"\\0 x", "I:?x"},                 // U+0000 is U+FFFD
      {u"a\\\nb", "I:a|d:\\| |I:b"},      // an escaped line break is no escape
      {u"\\110000", "I:?"},               // past Unicode
  });
}

TEST(CssTokenizerTest, NumbersAndDimensions) {
  Check({
      {u"12 +1.5 -.5 1e2", "N:12.0| |N:1.50| |N:-0.5| |N:100."},
      {u"10px 50% 1.5em", "D:10.0px| |%:50.0| |D:1.50em"},
      {u"1e 3- 4-a", "D:1.00e| |N:3.00|d:-| |D:4.00-a"},
      {u"+ . -", "d:+| |d:.| |d:-"},
  });
}

TEST(CssTokenizerTest, StringsAndUrls) {
  Check({
      {u"'a\\'b' \"c", "S:a'b| |S:c"},    // unclosed at the end: a string
      {u"'a\nb'", "BadString| |I:b|S:"},  // a line break ends it badly
      {u"url(a.css) url( b )", "U:a.css| |U:b"},
      {u"url('q.css')", "F:url|S:q.css|)"},
      {u"url(a b) c", "BadUrl| |I:c"},
      {u"url(a\\)b) x", "U:a)b| |I:x"},
  });
}

TEST(CssTokenizerTest, CommentsPunctuationAndAtKeywords) {
  Check({
      {u"a/* x */b /* open", "I:a|I:b| | "},
      {u"<!-- a --> @media #x #1 #", "<!--| |I:a| |-->| |@media| |#x| |#?1| |d:#"},
      {u"a{b:c;}[d](e),", "I:a|{|I:b|:|I:c|;|}|[|I:d|]|(|I:e|)|,"},
  });
}

TEST(CssTokenizerTest, HostileInputEndsQuickly) {
  // Deep nesting, long runs of comments and escapes: linear, no recursion.
  std::u16string deep(100000, u'(');
  EXPECT_EQ(css::Tokenize(deep).size(), deep.size());
  std::u16string comments;
  for (int i = 0; i < 100000; ++i) comments += u"/**/";
  EXPECT_EQ(css::Tokenize(comments).size(), 1u);
  css::StyleSet set;
  set.addSheet(deep + u"a{display:none}", u"", nullptr);
  set.addSheet(std::u16string(50000, u'{') + u"}", u"", nullptr);
  EXPECT_TRUE(set.empty());
}

// The cascade ------------------------------------------------------------------

// The display and visibility the sheet gives the last element of `path`
// ("div.a#b[x=y]" steps, root first).
struct CascadeRow {
  const char* rule;
  const char16_t* sheet;
  std::vector<std::u16string> path;
  std::uint8_t display;  // css::value, 0: not declared
  const char16_t* inlineStyle = u"";
};

css::ElementFacts Facts(const css::StyleSet& set, std::u16string step) {
  // name, then .class, #id, [attr=value] parts.
  std::u16string name;
  std::vector<std::pair<std::u16string, std::u16string>> attributes;
  std::u16string classes;
  std::size_t i = 0;
  while (i < step.size() && step[i] != '.' && step[i] != '#' && step[i] != '[') name += step[i++];
  while (i < step.size()) {
    const char16_t kind = step[i++];
    std::u16string part;
    while (i < step.size() && step[i] != '.' && step[i] != '#' && step[i] != '[' &&
           step[i] != ']') {
      part += step[i++];
    }
    if (i < step.size() && step[i] == ']') ++i;
    if (kind == '.') classes += (classes.empty() ? u"" : u" ") + part;
    if (kind == '#') attributes.emplace_back(u"id", part);
    if (kind == '[') {
      const std::size_t eq = part.find('=');
      attributes.emplace_back(part.substr(0, eq),
                              eq == std::u16string::npos ? u"" : part.substr(eq + 1));
    }
  }
  if (!classes.empty()) attributes.emplace_back(u"class", classes);
  std::vector<Attribute> views;
  views.reserve(attributes.size());
  for (auto& [n, value] : attributes) views.push_back({n, value});
  css::ElementFacts facts;
  set.describe(facts, name, views);
  return facts;
}

namespace v = css::value;

const CascadeRow kCascade[] = {
    {"type", u"p{display:none}", {u"html", u"p"}, v::kDisplayNone},
    {"type names ignore case", u"P{display:none}", {u"p"}, v::kDisplayNone},
    {"universal", u"*{display:block}", {u"span"}, v::kDisplayBlock},
    {"class", u".x{display:none}", {u"a.y.x"}, v::kDisplayNone},
    {"class names keep case", u".X{display:none}", {u"a.x"}, 0},
    {"id", u"#m{display:none}", {u"div#m"}, v::kDisplayNone},
    {"attribute present", u"[title]{display:none}", {u"a[title=t]"}, v::kDisplayNone},
    {"attribute operators",
     u"[a=x]{display:none}[b~=y]{display:block}[c|=en]{display:contents}",
     {u"i[a=x][b=w y][c=en-GB]"},
     v::kDisplayContents},
    {"prefix, suffix and part, with the i flag",
     u"[h^=ht i][h$=_CSS i][h*='/s/']{display:none}",
     {u"link[h=HTtp://a/s/b_css]"},
     v::kDisplayNone},
    {"compound needs every part", u"div.a.b{display:none}", {u"div.a"}, 0},
    {"descendant", u"nav a{display:none}", {u"nav", u"ul", u"a"}, v::kDisplayNone},
    {"descendant needs the ancestor", u"nav a{display:none}", {u"div", u"a"}, 0},
    {"child", u"ul > li{display:none}", {u"ul", u"div", u"li"}, 0},
    {"child found past a failed descendant",
     u"div > p span{display:none}",
     {u"div", u"p", u"b", u"p", u"span"},
     v::kDisplayNone},
    {"a selector list", u"h1, .z{display:none}", {u"em.z"}, v::kDisplayNone},
    {"an invalid selector drops its whole list", u"h1, .z:frobnicate{display:none}", {u"h1"}, 0},
    {"sibling combinators match nothing, the rest of the list applies",
     u"a + b, i{display:none}",
     {u"i"},
     v::kDisplayNone},
    {"pseudo-elements style something else", u"p::before, p:after{display:block}", {u"p"}, 0},
    {"states nobody is in: :hover never, :not(:hover) always",
     u"a:hover{display:block} b:not(:focus){display:none}",
     {u"b"},
     v::kDisplayNone},
    {"structural pseudo-classes are not told", u"li:first-child{display:none}", {u"li"}, 0},
    {"and :not() of them neither", u"li:not(:last-child){display:none}", {u"li"}, 0},
    {":root is the html element at the top", u":root{display:none}", {u"html"}, v::kDisplayNone},
    {":is() and :where()",
     u":is(h1,h2) :where(.q){display:none}",
     {u"h2", u"span.q"},
     v::kDisplayNone},
    {":link is an a with href", u"a:link{display:none}", {u"a[href=x]"}, v::kDisplayNone},
    {"specificity beats order",
     u"#i{display:none} div{display:block}",
     {u"div#i"},
     v::kDisplayNone},
    {"order decides equal specificity",
     u".a{display:none} .b{display:block}",
     {u"p.a.b"},
     v::kDisplayBlock},
    {"!important beats specificity",
     u"p{display:none!important} #i{display:block}",
     {u"p#i"},
     v::kDisplayNone},
    {"the style attribute beats selectors",
     u"#i{display:none}",
     {u"p#i"},
     v::kDisplayBlock,
     u"display: block"},
    {"but not !important ones",
     u"p{display:none !important}",
     {u"p"},
     v::kDisplayNone,
     u"display:block"},
    {"unknown values and var() are dropped",
     u"p{display:none} p{display:var(--d)} p{display:x}",
     {u"p"},
     v::kDisplayNone},
    {"two-keyword display", u"p{display:inline flow-root}", {u"p"}, v::kDisplayInline},
    {"@media for a screen 800 wide",
     u"@media (max-width: 1023px){p{display:none}}",
     {u"p"},
     v::kDisplayNone},
    {"@media print and too narrow do not apply",
     u"@media print{p{display:none}}@media (min-width:60em){p{display:block}}",
     {u"p"},
     0},
    {"@media ranges, lists and not",
     u"@media (400px <= width < 900px){p{display:none}}@media not screen{p{display:block}}",
     {u"p"},
     v::kDisplayNone},
    {"@supports and other blocks are skipped",
     u"@supports (display:grid){p{display:none}}",
     {u"p"},
     0},
    {"nested rules inside a rule are skipped",
     u"div{ & p {display:none} display:block}",
     {u"div"},
     v::kDisplayBlock},
    {"a rule cut off by the end applies", u"p{display:none", {u"p"}, v::kDisplayNone},
    {"a prelude without a block is dropped", u"p{display:none} div", {u"div"}, 0},
};

TEST(CssCascadeTest, OneRowPerRule) {
  for (const CascadeRow& row : kCascade) {
    css::StyleSet set;
    set.addSheet(row.sheet, u"", nullptr);
    std::vector<css::ElementFacts> path;
    for (const std::u16string& step : row.path) path.push_back(Facts(set, step));
    const css::Declared declared = set.cascade(path, row.inlineStyle);
    EXPECT_EQ(declared[static_cast<std::size_t>(css::Property::Display)], row.display) << row.rule;
  }
}

TEST(CssCascadeTest, DeclarationsOfEachKeptProperty) {
  css::Declared d{};
  std::array<bool, css::kProperties> important{};
  css::ParseDeclarations(
      u"visibility: collapse; white-space: pre-wrap; text-transform: uppercase full-width; "
      u"content-visibility: auto; float: left; position: absolute; color: red; "
      u"white-space: nowrap !important; white-space: pre",
      d, important);
  EXPECT_EQ(d[static_cast<std::size_t>(css::Property::Visibility)], v::kHidden);
  EXPECT_EQ(d[static_cast<std::size_t>(css::Property::WhiteSpace)], v::kCollapse);
  EXPECT_EQ(d[static_cast<std::size_t>(css::Property::TextTransform)], v::kUppercase);
  EXPECT_EQ(d[static_cast<std::size_t>(css::Property::ContentVisibility)], v::kContentAuto);
  EXPECT_EQ(d[static_cast<std::size_t>(css::Property::Float)], v::kOutOfFlow);
  EXPECT_EQ(d[static_cast<std::size_t>(css::Property::Position)], v::kOutOfFlow);
}

TEST(CssCascadeTest, LocationsResolveAgainstTheSheet) {
  EXPECT_EQ(css::ResolveLocation(u"", u"a.css"), u"a.css");
  EXPECT_EQ(css::ResolveLocation(u"../_static/p.css?2022", u"default.css"),
            u"../_static/default.css");
  EXPECT_EQ(css::ResolveLocation(u"s/p.css", u"/abs.css"), u"/abs.css");
  EXPECT_EQ(css::ResolveLocation(u"s/p.css", u"http://x/y.css"), u"http://x/y.css");
}

// Sheets given by a loader, as the job gives those beside a page.
class Sheets final : public css::StyleSheetLoader {
 public:
  std::map<std::u16string, std::u16string> files;
  std::vector<std::u16string> asked;
  bool load(std::u16string_view location, std::u16string& text) override {
    asked.emplace_back(location);
    const auto found = files.find(std::u16string(location));
    if (found == files.end()) return false;
    text = found->second;
    return true;
  }
};

TEST(CssCascadeTest, ImportsComeFirstAndAreBounded) {
  Sheets sheets;
  sheets.files[u"s/a.css"] = u"@import 'b.css'; p{display:block}";
  sheets.files[u"s/b.css"] = u"p{display:none} @import 'late.css';";
  sheets.files[u"loop.css"] = u"@import url(loop.css); i{display:none}";
  css::StyleSet set;
  set.addSheet(u"@import url(s/a.css) screen; @import 'x.css' print;", u"", &sheets);
  set.addSheet(u"@import url(loop.css);", u"", &sheets);
  // A sheet that imports itself is read once; asking again finds it read.
  EXPECT_EQ(sheets.asked,
            (std::vector<std::u16string>{u"s/a.css", u"s/b.css", u"loop.css", u"loop.css"}));
  std::vector<css::ElementFacts> p{Facts(set, u"p")};
  // The importing sheet's own rule comes after the imported one.
  EXPECT_EQ(set.cascade(p, u"")[0], v::kDisplayBlock);
  std::vector<css::ElementFacts> i{Facts(set, u"i")};
  EXPECT_EQ(set.cascade(i, u"")[0], v::kDisplayNone);
}

// Layout with style sheets -----------------------------------------------------

std::u16string Lay(std::u16string_view html, css::StyleSheetLoader* sheets = nullptr) {
  LayoutOptions options;
  options.lineBreak = u"\n";
  options.styleSheets = sheets;
  return LayoutText(html, options);
}

struct LayoutRow {
  const char* rule;
  const char16_t* html;
  const char16_t* text;
};

const LayoutRow kLayout[] = {
    {"display:none from a style element hides, breaks and all",
     u"<style>.nav{display:none}</style>a<div class=nav><p>x</p></div>b", u"ab"},
    {"visibility:hidden hides the text, a visible descendant shows",
     u"<style>a.h{visibility:hidden} b{visibility:visible}</style>"
     u"<h1>Title<a class=h>\u00b6</a></h1><p><i style='visibility:hidden'>x<b>y</b></i>z",
     u"Title\n\nyz"},
    {"display:block breaks inline elements, display:inline joins blocks",
     u"<style>span{display:block} li{display:inline}</style>a<span>b</span>c<ul><li>d<li>e</ul>",
     u"a\nb\nc\nde"},
    {"floated and absolutely placed boxes are blocks",
     u"<style>.f{float:right}.p{position:absolute}</style>a<span class=f>b</span><i "
     u"class=p>c</i>d",
     u"a\nb\nc\nd"},
    {"white-space pre keeps, pre-line keeps only line breaks, normal collapses a pre",
     u"<style>.k{white-space:pre}.l{white-space:pre-line}pre{white-space:normal}</style>"
     u"<div class=k>a  b\nc</div><div class=l>d  e\nf</div><pre>g  \n h</pre>",
     u"a  b\nc\nd e\nf\ng h"},
    {"text-transform applies to the text",
     u"<style>.u{text-transform:uppercase}.c{text-transform:capitalize}</style>"
     u"<p class=u>stra\u00dfe \u0434\u0430</p><p class=c>hello wide world</p>",
     u"STRASSE \u0414\u0410\n\nHello Wide World"},
    {"content-visibility hidden and auto keep the box, not what it holds",
     u"<style>section{content-visibility:auto}</style>a<section>x</section>b", u"a\nb"},
    {"@media for print does not apply, for a narrow screen does",
     u"<style>@media print{.a{display:none}}@media (max-width:1023px){.b{display:none}}"
     u"</style><p class=a>a<p class=b>b",
     u"a"},
    {"a style element with a media attribute for print does not apply",
     u"<style media=print>p{display:none}</style><p>a", u"a"},
    {"a sheet applies to what comes after it", u"<p>a</p><style>p{display:none}</style><p>b", u"a"},
    {"selectors see the open elements",
     u"<style>body > div p{display:none}</style>"
     u"<html><head><title>t</title></head><body><div><section><p>x</p></section></div><p>y",
     u"y"},
    {"style elements in a template do not apply",
     u"<template><style>p{display:none}</style></template><p>a", u"a"},
};

TEST(CssLayoutTest, OneRowPerRule) {
  for (const LayoutRow& row : kLayout) EXPECT_EQ(Lay(row.html), row.text) << row.rule;
}

TEST(CssLayoutTest, LinkedSheetsComeFromTheLoader) {
  Sheets sheets;
  sheets.files[u"_static/site.css"] = u"@import 'base.css'; .nav{display:none}";
  sheets.files[u"_static/base.css"] = u"a.headerlink{visibility:hidden}";
  const char16_t* page =
      u"<link rel=stylesheet href=' _static/site.css '><link rel='alternate stylesheet' "
      u"href=alt.css><link rel=stylesheet href=print.css media=print><link rel=stylesheet "
      u"href=missing.css><div class=nav>menu</div><h1>Title<a class=headerlink>\u00b6</a></h1>";
  EXPECT_EQ(Lay(page, &sheets), u"Title");
  EXPECT_EQ(sheets.asked, (std::vector<std::u16string>{u"_static/site.css", u"_static/base.css",
                                                       u"missing.css"}));
  // Without a loader, only the page's own style applies.
  EXPECT_EQ(Lay(page), u"menu\nTitle\u00b6");
}

TEST(CssLayoutTest, ThePartsOfAPageNestAsTheParserNestsThem) {
  // The head closes at the body, so "html > body" holds.
  EXPECT_EQ(Lay(u"<html><head><style>html > body > p{display:none}</style><title>t</title>"
                u"<body><p>a<div>b</div>"),
            u"b");
  // Pages one after the other: a second html, head or body opens nothing, so
  // that the elements after many pages are still held (and laid out as blocks).
  std::u16string pages;
  for (int i = 0; i < 600; ++i) pages += u"<html><head></head><body>";
  EXPECT_EQ(Lay(pages + u"<p>a</p><p>b"), u"a\n\nb");
}

}  // namespace
}  // namespace sievetext::layout
