#include "bench_inputs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/support/repeat_to.h"

namespace sievetext::bench {
namespace {

using testing::RepeatTo;

const char* const kWords[] = {"the",
                              "engine",
                              "turns",
                              "every",
                              "page",
                              "into",
                              "plain",
                              "text",
                              "while",
                              "keeping",
                              "words",
                              "between",
                              "tags",
                              "and",
                              "we",
                              "measure",
                              "how",
                              "fast",
                              "it",
                              "runs",
                              "on",
                              "real",
                              "pages",
                              "with",
                              "lists",
                              "tables",
                              "links",
                              "caf&eacute;",
                              "na&iuml;ve",
                              "&amp;",
                              "&nbsp;",
                              "&copy;",
                              "&quot;quoted&quot;",
                              "&#8217;s",
                              "&lt;tag&gt;",
                              "x&nbsp;=&nbsp;1",
                              "r&eacute;sum&eacute;",
                              "&mdash;",
                              "&#65;BC"};

class PageWriter {
 public:
  explicit PageWriter(std::size_t units) : target_(units), rng_(1234) {}

  std::u16string build() {
    while (text_.size() < target_) page();
    text_.resize(target_);
    return std::move(text_);
  }

 private:
  void put(const std::string& s) { text_.append(s.begin(), s.end()); }
  void line(int indent, const std::string& s) {
    put(std::string(std::size_t(indent) * 2, ' '));
    put(s);
    put(crlf_ ? "\r\n" : "\n");
  }
  std::string words(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
      if (i) s += ' ';
      s += kWords[rng_() % std::size(kWords)];
    }
    return s;
  }
  int pick(int n) { return int(rng_() % unsigned(n)); }

  void page() {
    crlf_ = pick(2) == 0;
    line(0, "<!DOCTYPE html>");
    line(0, "<html lang=\"en\">");
    line(0, "<head>");
    line(1, "<meta charset=\"utf-8\">");
    line(1, "<title>" + words(4) + "</title>");
    line(1, "<style type=\"text/css\">");
    for (int i = 0, n = 3 + pick(6); i < n; ++i)
      line(2, ".c" + std::to_string(i) + " { margin: 0 " + std::to_string(pick(9)) +
                  "px; color: #333; }");
    line(1, "</style>");
    line(1, "<script type=\"text/javascript\">");
    line(2, "function toggle(id) { var e = document.getElementById(id);");
    line(3, "if (e && e.children.length < 3) { e.style.display = 'none'; } }");
    line(1, "</script>");
    line(0, "</head>");
    line(0, "<body class=\"page\">");
    line(1, "<!-- navigation -->");
    line(1, "<div id=\"nav\"><a href=\"index.html\">Home</a> | <a href=\"a.html\">About</a></div>");
    for (int s = 0, n = 4 + pick(8); s < n; ++s) section();
    line(1, "<script>track('" + std::to_string(pick(1000)) + "');</script>");
    line(0, "</body>");
    line(0, "</html>");
  }

  void section() {
    line(1, "<div class=\"section c" + std::to_string(pick(6)) + "\">");
    line(2, "<h2 id=\"s" + std::to_string(pick(100)) + "\">" + words(3 + pick(4)) + "</h2>");
    for (int p = 0, n = 1 + pick(4); p < n; ++p) {
      line(2, "<p>");
      for (int l = 0, m = 1 + pick(5); l < m; ++l)
        line(3, words(8 + pick(8)) + (pick(3) == 0 ? " <b>" + words(2) + "</b>" : "") +
                    (pick(4) == 0 ? " <a href=\"p" + std::to_string(pick(50)) + ".html\">" +
                                        words(2) + "</a>"
                                  : ""));
      line(2, "</p>");
    }
    switch (pick(4)) {
      case 0:
        line(2, "<ul>");
        for (int i = 0, n = 2 + pick(5); i < n; ++i) line(3, "<li>" + words(5) + "</li>");
        line(2, "</ul>");
        break;
      case 1:
        line(2, "<table border=\"0\">");
        for (int r = 0, n = 2 + pick(4); r < n; ++r)
          line(3, "<tr><td>" + words(2) + "</td><td align=\"right\">" +
                      std::to_string(pick(10000)) + "</td></tr>");
        line(2, "</table>");
        break;
      case 2:
        line(2, "<!-- " + words(6) + " -->");
        break;
      default:
        line(2, "<pre>\tif (a &lt; b) { return a; }</pre>");
    }
    line(1, "</div>");
    if (pick(3) == 0) line(0, "");
  }

  std::size_t target_;
  std::mt19937 rng_;
  std::u16string text_;
  bool crlf_ = false;
};

bool DecodeUtf8(const std::string& bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    unsigned cp;
    int extra;
    if (b < 0x80) {
      cp = b;
      extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07;
      extra = 3;
    } else {
      return false;
    }
    if (i + std::size_t(extra) >= bytes.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    i += std::size_t(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return true;
}

}  // namespace

std::u16string PageMix(std::size_t units) { return PageWriter(units).build(); }

const std::vector<std::string> kAdversarialNames = {"TinyScripts",  "OpenComments",   "SpaceRun",
                                                    "AllEntities",  "OpenBraces",     "NestedLt",
                                                    "FailingPairs", "SkippedComments"};

std::u16string Adversarial(const std::string& name, std::size_t units) {
  // Tiny script blocks: a search that restarts at position 1 after every cut
  // rescans the text once per block, so the naive stage is quadratic.
  if (name == "TinyScripts") return RepeatTo(u"<script>x</script>a", units);
  // Openers without a closer: every "<!--" tempts a search for "-->" that
  // runs to the end; the leftover markers are then blanked one by one and the
  // first "<" opens a tag that swallows the rest.
  if (name == "OpenComments") return RepeatTo(u"<!--", units);
  // One run of spaces: halving in cycles of ten passes takes log(n) cycles
  // over the whole text, each building a new text.
  if (name == "SpaceRun") return RepeatTo(u" ", units);
  // Nothing but references: every row of the table matches somewhere, the
  // text shrinks at every turn and doubly escaped ones are decoded twice.
  if (name == "AllEntities")
    return RepeatTo(u"&amp;lt;&eacute;&#65;&nbsp;&#38;#38;&copy;&nbsp&l&not;t;&NBSP;&#210;", units);
  // Brace openers without a closer: each one searches to the end for "}".
  if (name == "OpenBraces") return RepeatTo(u"{", units);
  // Tag openers, partial markers and no ">": every "<" is a candidate start
  // of "<script", "<style" and "<!--" that fails late.
  if (name == "NestedLt") return RepeatTo(u"<<<<<scrip<styl<!-", units);
  // Script and style pairs too short to cut: each has to be stepped over and
  // must not restart the search from the beginning.
  if (name == "FailingPairs") return RepeatTo(u"<script/script><style/style>", units);
  // Comments whose closing marker lands inside the carried-over resume
  // window, so most are skipped and only later turned into spaces.
  if (name == "SkippedComments") return RepeatTo(u"<!-- a --><!-- b -->", units);
  return {};
}

std::vector<std::u16string> HtmlFilesUnder(const std::string& folder) {
  std::vector<std::filesystem::path> paths;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(
           folder, std::filesystem::directory_options::skip_permission_denied, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec)) continue;
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".html" || ext == ".htm") paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::u16string> docs;
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string text;
    if (!DecodeUtf8(bytes, text)) {
      text.clear();
      for (unsigned char b : bytes) text += char16_t(b);
    }
    docs.push_back(std::move(text));
  }
  return docs;
}

}  // namespace sievetext::bench
