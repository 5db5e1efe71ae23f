#include "engine/layout/text_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace sievetext::layout {
namespace {

std::u16string Lay(std::u16string_view html, LayoutOptions options = {}) {
  options.lineBreak = u"\n";
  return LayoutText(html, options);
}

struct Row {
  const char* rule;
  const char16_t* html;
  const char16_t* text;
};

// One row per rule of the layout, each with the text a browser's innerText
// gives for it.
const Row kRows[] = {
    {"head, script, style and title give nothing",
     u"<html><head><title>T</title><style>p{}</style><script>var a = '<p>x</p>';</script>"
     u"<meta charset=utf-8><link rel=x></head><body>body</body></html>",
     u"body"},
    {"template, iframe, noembed, noframes, datalist, rp, audio and video give nothing",
     u"a<template><p>t</p></template><iframe>i</iframe><noembed>n</noembed>"
     u"<noframes>f</noframes><datalist><option>d</datalist><ruby>r<rp>(</rp><rt>x</rt></ruby>"
     u"<audio>au</audio><video>vi</video>b",
     u"arxb"},
    {"noscript shows, as with scripting off; a select's options are lines",
     u"a<noscript>n</noscript>b<select><option>x<option>y</select>c", u"anb\nx\ny\nc"},
    {"the hidden attribute and display:none hide an element, breaks and all",
     u"a<div hidden><p>x</p></div><span style=\"color: red; DISPLAY : none\">y</span>b", u"ab"},
    {"a block element starts and ends a line",
     u"a<div>b</div>c<section><article>d</article></section>e", u"a\nb\nc\nd\ne"},
    {"p has an empty line before and after, a heading is a block", u"a<p>b</p>c<h2>d</h2><p>e",
     u"a\n\nb\n\nc\nd\n\ne"},
    {"breaks asked for at once count once; none lead or trail",
     u"<div><div><p>a</p></div></div><div></div><div><p>b</p></div>", u"a\n\nb"},
    {"br breaks the line, a leading br too", u"<br>a<br>b<br><br>c", u"\na\nb\n\nc"},
    {"white space collapses and leaves no space at the start or end of a line",
     u"  a \n\t b  <b> c </b> <i></i> d <div>  e  </div>", u"a b c d\ne"},
    {"words one space apart are written as they stand, longer white space as one space",
     u"<p> one two  three\tfour\r\n five sixseveneightnine ten\u00a0eleven \u00e9l\u00e8ve x"
     u"\fy z </p>",
     u"one two three four five sixseveneightnine ten\u00a0eleven \u00e9l\u00e8ve x y z"},
    {"pre, listing, xmp and plaintext keep white space, less the first line break; textarea gives "
     "nothing",
     u"<pre>\n  a\n\tb  </pre><textarea>\n x  y</textarea><listing>\n\nl</listing><xmp> <b> </xmp>"
     u"<plaintext> p  </b>",
     u"  a\n\tb  \n\nl\n <b> \n p  </b>"},
    {"table cells are separated by tabs, rows by line breaks",
     u"<table><tr><th>Name<th>Value<tr><td>alpha<td>1<td></table>after",
     u"Name\tValue\nalpha\t1\t\nafter"},
    {"implied rows, row groups and nested tables",
     u"<table><thead><tr><td>h</thead><tbody><td>a<td><table><tr><td>x<td>y</table></table>",
     u"h\na\t\nx\ty"},
    {"list items start lines, without markers",
     u"<ul><li>one<li>two <ol><li>inner</ol></ul><dl><dt>term<dd>definition</dl>",
     u"one\ntwo\ninner\nterm\ndefinition"},
    {"a p is closed by a block, an li by the next li", u"<p>a<div>b</div>c<ul><li>x<p>y<li>z</ul>",
     u"a\n\nb\nc\nx\n\ny\n\nz"},
    {"escaped text stays text; every reference decoded",
     u"<p>Vec&lt;T&gt; if (a &lt; b) { x | y } &rsquo;&bull;&hellip;&euro;&#x3C;&copy</p>",
     u"Vec<T> if (a < b) { x | y } \u2019\u2022\u2026\u20AC<\u00A9"},
    {"attribute values never reach the text",
     u"<img alt=\"alt text\" src=x><a href=\"http://e/?a=1&b=2\" title=\"t\">link</a>"
     u"<input value=v>",
     u"link"},
    {"comments and doctypes give nothing", u"<!DOCTYPE html>a<!-- <p>x</p> -->b<!--->c", u"abc"},
    {"inline elements join words without spaces", u"Hel<b>lo</b> w<span>or</span>ld",
     u"Hello world"},
    {"a formatting element closed across a block leaves the block open", u"<b>x<div>y</b>z</div>w",
     u"x\nyz\nw"},
    {"svg and math are blocks whose text shows; their title does not; CDATA is text there",
     u"a<svg><title>t</title><text>s<![CDATA[<c>]]></text></svg><math><mn>1</mn></math>b",
     u"a\ns<c>\n1\nb"},
    {"end tags that match nothing are ignored; </p> alone makes an empty paragraph",
     u"a</div></span>b</p>c", u"ab\n\nc"},
    {"</br> is a line break", u"a</br>b", u"a\nb"},
};

TEST(TextLayoutTest, EachRuleGivesTheBrowsersText) {
  for (const Row& row : kRows) {
    EXPECT_EQ(Lay(row.html), row.text) << row.rule;
  }
}

TEST(TextLayoutTest, FedInPiecesTheTextIsTheSame) {
  for (const Row& row : kRows) {
    const std::u16string html = row.html;
    for (std::size_t piece : {1u, 2u, 3u, 7u}) {
      std::u16string text;
      LayoutOptions options;
      options.lineBreak = u"\n";
      LayoutConverter converter(options, [&text](std::u16string_view p) { text.append(p); });
      for (std::size_t at = 0; at < html.size(); at += piece) {
        converter.feed(std::u16string_view(html).substr(at, piece));
      }
      converter.finish();
      EXPECT_EQ(text, Lay(html)) << row.rule << ", pieces of " << piece;
    }
  }
}

TEST(TextLayoutTest, TidyOptionsApplyOnTopOfTheLayout) {
  const std::u16string html =
      u"<h1>Title</h1><p>a  &amp;  b</p><pre>x    y|z\n\n\nw</pre>"
      u"<table><tr><td>1<td>2</table>";
  EXPECT_EQ(Lay(html), u"Title\n\na & b\n\nx    y|z\n\n\nw\n1\t2");
  LayoutOptions join;
  join.joinLines = true;
  EXPECT_EQ(Lay(html, join), u"Title a & b x    y|z w 1\t2");
  LayoutOptions blank;
  blank.dropBlankLines = true;
  EXPECT_EQ(Lay(html, blank), u"Title\na & b\nx    y|z\nw\n1\t2");
  LayoutOptions spaces;
  spaces.collapseSpaces = true;
  spaces.tabsAsSpaces = true;
  spaces.pipesAsSpaces = true;
  EXPECT_EQ(Lay(html, spaces), u"Title\n\na & b\n\nx y z\n\n\nw\n1 2");
  LayoutOptions raw;
  raw.decodeReferences = false;
  EXPECT_EQ(Lay(u"<p title='&amp;'>&lt;b&gt; &copy</p>", raw), u"&lt;b&gt; &copy");
}

TEST(TextLayoutTest, LineBreaksAreWrittenAsAsked) {
  EXPECT_EQ(LayoutText(u"<p>a</p><p>b<br>c</p>"), u"a\r\n\r\nb\r\nc");
}

TEST(TextLayoutTest, EmptyAndMarkupOnlyDocumentsGiveNoText) {
  EXPECT_EQ(Lay(u""), u"");
  EXPECT_EQ(Lay(u"<html><head></head><body><div><p></p></div></body></html>"), u"");
  EXPECT_EQ(Lay(u"   \n\t  "), u"");
  EXPECT_EQ(Lay(std::u16string(u"a\0b", 3)), u"ab");  // U+0000 is dropped
}

TEST(TextLayoutTest, DeepNestingAndUnclosedConstructsStayBounded) {
  // Far more open elements than are held: the text is still all there.
  std::u16string html;
  for (int i = 0; i < 5000; ++i) html += u"<span><div>";
  html += u"deep";
  EXPECT_EQ(Lay(html), u"deep");
  // An unclosed comment, attribute or script swallows the rest, as in a browser.
  EXPECT_EQ(Lay(u"a<!-- " + std::u16string(300000, 'x')), u"a");
  EXPECT_EQ(Lay(u"a<p title=\"" + std::u16string(300000, 'x')), u"a");
  EXPECT_EQ(Lay(u"a<script>" + std::u16string(300000, '<')), u"a");
}

}  // namespace
}  // namespace sievetext::layout
