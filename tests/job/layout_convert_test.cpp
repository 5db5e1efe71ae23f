#include "job/layout_convert.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "tests/support/memory_file_system.h"

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

}  // namespace
}  // namespace sievetext
