#include "job/layout_convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tests/support/memory_file_system.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

// Hands a file out in pieces of a fixed size, keeping count of the bytes
// handed out and of the bytes written meanwhile.
class StreamingFileSystem final : public FileSystem {
 public:
  FileKind kind(const std::string&) override { return FileKind::Regular; }
  int size(const std::string&, std::uint64_t& bytes) override {
    bytes = content.size();
    return 0;
  }
  int read(const std::string&, const ByteSink& use) override {
    for (std::size_t at = 0;; at += piece) {
      if (failAt != 0 && at >= failAt) return EIO;
      const std::size_t n = at < content.size() ? std::min(piece, content.size() - at) : 0;
      use(std::string_view(content).substr(std::min(at, content.size()), n), n == 0);
      if (n == 0) return 0;
    }
  }
  int replace(const std::string&, const ByteSource& next) override {
    std::string out;
    for (std::string_view p; !(p = next()).empty();) {
      out.append(p);
      if (out.size() > written.size()) written = out;  // what a writer has put down so far
    }
    written = out;
    ++replaced;
    return 0;
  }

  std::string content;
  std::size_t piece = 4096;
  std::size_t failAt = 0;
  std::string written;
  int replaced = 0;
};

cSievetext LayoutAlone() {
  cSievetext engine;
  engine.GenerateSpecialChars = true;
  return engine;
}

TEST(LayoutConvertTest, TheFileGivesWhatTheBytesGive) {
  StreamingFileSystem files;
  std::string page = "<p>caf\xC3\xA9 &amp; <b>x</b></p><ul><li>a<li>b</ul>\r\n<pre> p\r\n q</pre>";
  for (int i = 0; i < 2000; ++i) files.content += page;
  for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{7}}) {
    files.piece = piece;
    cSievetext engine = LayoutAlone();
    const ConvertResult result = ConvertFileLaidOut(engine, files, "in", 0, "out");
    ASSERT_EQ(result.status, ConvertStatus::Written);
    EXPECT_EQ(files.written, ConvertBytesLaidOut(engine, files.content)) << "pieces of " << piece;
  }
  EXPECT_EQ(ConvertBytesLaidOut(LayoutAlone(), page), "caf\xC3\xA9 & x\r\n\r\na\r\nb\r\n p\r\n q");
}

TEST(LayoutConvertTest, TheOptionsOfTheEngineApply) {
  cSievetext engine = LayoutAlone();
  engine.RemoveAllCRLF = engine.RemoveTabs = true;
  engine.RemoveComments = engine.RemoveScripts = engine.RemoveFunctions =
      true;  // nothing to do here
  EXPECT_EQ(ConvertBytesLaidOut(engine, "<p>a {b}</p><table><tr><td>1<td>2</table>"), "a {b} 1 2");
  engine.GenerateSpecialChars = false;
  EXPECT_EQ(ConvertBytesLaidOut(engine, "<p>&lt;</p>"), "&lt;");
}

TEST(LayoutConvertTest, AReadFailureMidwayWritesNothing) {
  MemoryFileSystem memory;
  memory.files["in"] = "<p>x</p>";
  memory.files["out"] = "old";
  memory.readError = EACCES;
  cSievetext engine = LayoutAlone();
  ConvertResult result = ConvertFileLaidOut(engine, memory, "in", 0, "out");
  EXPECT_EQ(result.status, ConvertStatus::ReadFailed);
  EXPECT_EQ(result.error, EACCES);
  EXPECT_EQ(memory.files["out"], "old");
  memory.readError = 0;
  memory.replaceError = ENOSPC;
  result = ConvertFileLaidOut(engine, memory, "in", 0, "out");
  EXPECT_EQ(result.status, ConvertStatus::WriteFailed);
  EXPECT_EQ(result.error, ENOSPC);

  // Failing after some text was already handed to the writer.
  StreamingFileSystem files;
  files.content = std::string(1 << 20, 'x');
  files.failAt = 512 << 10;
  result = ConvertFileLaidOut(engine, files, "in", 0, "out");
  EXPECT_EQ(result.status, ConvertStatus::ReadFailed);
  EXPECT_EQ(result.error, EIO);
  EXPECT_EQ(files.replaced, 0) << "the replacement is abandoned";
}

TEST(LayoutConvertTest, TheHostGetsItsTurnsAndAThrowWritesNothing) {
  StreamingFileSystem files;
  files.content.assign(40u << 20, 'a');
  files.piece = 1 << 20;
  cSievetext engine = LayoutAlone();
  int turns = 0;
  engine.yield = [&] { ++turns; };
  ASSERT_EQ(ConvertFileLaidOut(engine, files, "in", 0, "out").status, ConvertStatus::Written);
  EXPECT_GE(turns, 2);
  engine.yield = [] { throw std::runtime_error("window closed"); };
  EXPECT_THROW(ConvertFileLaidOut(engine, files, "in", 0, "out"), std::runtime_error);
  EXPECT_EQ(files.replaced, 1);
}

TEST(LayoutStyleSheetTest, OnlyRelativePathsAreSheetPaths) {
  struct Row {
    const char* page;
    const char16_t* location;
    const char* path;  // empty: refused
  };
  const Row rows[] = {
      {"/d/page.html", u"s.css", "/d/s.css"},
      {"/d/lib/page.html", u"../_static/p.css?2022.1#top", "/d/lib/../_static/p.css"},
      {"page.html", u"s.css", "s.css"},
      {"/d/p.html", u"a%20b%2e.css", "/d/a b..css"},
      {"/d/p.html", u"caf\u00e9.css", "/d/caf\xc3\xa9.css"},
      {"/d/p.html", u"/etc/passwd", ""},
      {"/d/p.html", u"%2Fetc/passwd", ""},
      {"/d/p.html", u"file:///etc/passwd", ""},
      {"/d/p.html", u"https://example.org/s.css", ""},
      {"/d/p.html", u"c:s.css", ""},
      {"/d/p.html", u"a\\b.css", ""},
      {"/d/p.html", u"a%00.css", ""},
      {"/d/p.html", u"?x", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(SheetPath(row.page, row.location), row.path) << row.path;
}

TEST(LayoutStyleSheetTest, OnlyRegularFilesOfABoundedSizeAreRead) {
  testing::TempFolder folder;
  PosixFileSystem files;
  testing::WriteFile(folder.at("s.css"), "p{display:none} /* caf\xC3\xA9 */");
  testing::WriteFile(folder.at("empty.css"), "");
  testing::WriteFile(folder.at("big.css"), std::string(kMaxSheetBytes + 1, ' '));
  ASSERT_EQ(::mkfifo(folder.at("fifo.css").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", folder.at("zero.css"));
  std::filesystem::create_symlink(folder.at("fifo.css"), folder.at("to-fifo.css"));
  std::filesystem::create_directory(folder.at("dir.css"));
  std::u16string text;
  EXPECT_TRUE(ReadStyleSheet(files, folder.at("s.css"), text));
  EXPECT_EQ(text, u"p{display:none} /* caf\u00e9 */");
  // None of these is read, and none holds the job up (no writer ever opens
  // the FIFO; /dev/zero never ends).
  for (const char* name :
       {"missing.css", "empty.css", "big.css", "fifo.css", "to-fifo.css", "zero.css", "dir.css"}) {
    EXPECT_FALSE(ReadStyleSheet(files, folder.at(name), text)) << name;
  }
}

TEST(LayoutStyleSheetTest, APageOnDiskGetsTheSheetsBesideIt) {
  testing::TempFolder folder;
  std::filesystem::create_directories(folder.path() / "doc" / "lib");
  std::filesystem::create_directories(folder.path() / "doc" / "_static");
  testing::WriteFile(folder.path() / "doc" / "_static" / "site.css",
                     "@import url(\"base.css\"); .nav { display: none }");
  testing::WriteFile(folder.path() / "doc" / "_static" / "base.css",
                     "a.headerlink { visibility: hidden }");
  testing::WriteFile(folder.at("secret.css"), ".body { display: none }");
  ASSERT_EQ(::mkfifo((folder.path() / "doc" / "lib" / "fifo.css").c_str(), 0600), 0);
  const std::string page = (folder.path() / "doc" / "lib" / "page.html").string();
  std::string html =
      "<link rel=stylesheet href=../_static/site.css><link rel=stylesheet href=fifo.css>"
      "<link rel=stylesheet href=/dev/zero><link rel=stylesheet href=" +
      folder.at("secret.css") +
      "><link rel=stylesheet href=missing.css>"
      "<div class=nav>Menu</div><h1>Title<a class=headerlink>\xC2\xB6</a></h1>"
      "<div class=body>Text</div>";
  testing::WriteFile(page, html);
  PosixFileSystem files;
  cSievetext engine = LayoutAlone();
  ASSERT_EQ(ConvertFileLaidOut(engine, files, page, 0, folder.at("out.txt")).status,
            ConvertStatus::Written);
  EXPECT_EQ(testing::ReadFile(folder.at("out.txt")), "Title\r\nText");
  // The same bytes without a folder: only the page's own style.
  EXPECT_EQ(ConvertBytesLaidOut(engine, html), "Menu\r\nTitle\xC2\xB6\r\nText");
}

// Counts the reads of another file system.
class CountingFileSystem final : public FileSystem {
 public:
  explicit CountingFileSystem(FileSystem& files) : files_(files) {}
  FileKind kind(const std::string& path) override { return files_.kind(path); }
  int size(const std::string& path, std::uint64_t& bytes) override {
    return files_.size(path, bytes);
  }
  int read(const std::string& path, const ByteSink& use) override {
    ++reads;
    return files_.read(path, use);
  }
  int replace(const std::string& path, const ByteSource& next) override {
    return files_.replace(path, next);
  }
  std::size_t reads = 0;

 private:
  FileSystem& files_;
};

TEST(LayoutStyleSheetTest, APageAsksForABoundedNumberOfSheets) {
  MemoryFileSystem memory;
  CountingFileSystem counting(memory);
  std::string html;
  for (int i = 0; i < 200; ++i) html += "<link rel=stylesheet href=s" + std::to_string(i) + ".css>";
  for (int i = 0; i < 200; ++i) memory.files["d/s" + std::to_string(i) + ".css"] = "p{}";
  memory.files["d/page.html"] = html + "<p>x";
  cSievetext engine = LayoutAlone();
  ASSERT_EQ(ConvertFileLaidOut(engine, counting, "d/page.html", 0, "out").status,
            ConvertStatus::Written);
  EXPECT_EQ(memory.files["out"], "x");
  EXPECT_EQ(counting.reads, kMaxSheetLoads + 1);  // the sheets and the page
}

}  // namespace
}  // namespace sievetext
