#include "job/convert.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/memory_file_system.h"
#include "text/text_codec.h"

namespace sievetext {
namespace {

cSievetext AllOptionsOn() {
  cSievetext engine;
  engine.RemoveComments = engine.RemoveScripts = engine.RemoveStyles = true;
  engine.RemoveFunctions = engine.RemovePipe = engine.RemoveTabs = true;
  engine.GenerateSpecialChars = engine.RemoveAllTags = engine.RemoveAllCRLF = true;
  engine.RemoveSpaces = engine.RemoveBlankLines = true;
  return engine;
}

// What the copying entry point makes of the same bytes.
std::string ByCopy(cSievetext& engine, const std::string& bytes) {
  std::u16string text = DecodeText(bytes);
  return EncodeText(engine.ExtractText(text));
}

TEST(ConvertTest, BytesComeOutAsTheCopyingPipelineMakesThem) {
  const std::string documents[] = {
      "<p>caf&eacute; &amp;amp; <b>x</b></p>\r\n<!-- c -->  a  |\tb\n\n\nend",
      std::string(5000, '\n'),  // every unit a line break: the text doubles
      "\n \n" + std::string(300, ' ') + "x\n",
      "\xEF\xBB\xBF<i>\xC3\xA9</i>&lt;\x93q\x94",
      std::string("\xFF\xFE<\0b\0>\0\n\0x\0", 12),
  };
  for (const bool on : {false, true}) {
    cSievetext engine = on ? AllOptionsOn() : cSievetext{};
    cSievetext copying = on ? AllOptionsOn() : cSievetext{};
    for (const std::string& bytes : documents) {
      EXPECT_EQ(ConvertBytes(engine, bytes), ByCopy(copying, bytes)) << "options " << on;
    }
  }
}

// Hands a file out in pieces of a fixed size, as a real read does.
class PiecewiseFileSystem final : public FileSystem {
 public:
  FileKind kind(const std::string&) override { return FileKind::Regular; }
  int size(const std::string&, std::uint64_t& bytes) override {
    bytes = content.size();
    return 0;
  }
  int read(const std::string&, const ByteSink& use) override {
    std::size_t at = 0;
    for (;;) {
      const std::size_t n = std::min(piece, content.size() - at);
      const bool last = n == 0;
      use(std::string_view(content).substr(at, n), last);
      at += n;
      delivered = at;
      if (last) return 0;
    }
  }
  int replace(const std::string&, const ByteSource& next) override {
    written.clear();
    for (std::string_view p; !(p = next()).empty();) written.append(p);
    ++replaced;
    return 0;
  }

  std::string content;
  std::size_t piece = std::size_t{1} << 20;
  std::size_t delivered = 0;
  std::string written;
  int replaced = 0;
};

TEST(ConvertTest, ReadingAFileGivesTheHostItsTurnsAndAThrowWritesNothing) {
  PiecewiseFileSystem files;
  files.content.assign(20u << 20, 'a');
  cSievetext engine;
  std::vector<std::size_t> readAtYield;
  engine.yield = [&] { readAtYield.push_back(files.delivered); };
  const ConvertResult result = ConvertFile(engine, files, "in", files.content.size(), "out");
  ASSERT_EQ(result.status, ConvertStatus::Written);
  EXPECT_EQ(files.written, files.content);
  // Turns while reading, never more than the promised stretch apart.
  std::size_t last = 0, whileReading = 0;
  for (const std::size_t at : readAtYield) {
    if (at >= files.content.size()) break;
    ++whileReading;
    EXPECT_LE(at - last, kYieldEveryBytes + files.piece);
    last = at;
  }
  EXPECT_GE(whileReading, 1u);

  engine.yield = [] { throw std::runtime_error("window closed"); };
  EXPECT_THROW(static_cast<void>(ConvertFile(engine, files, "in", files.content.size(), "out")),
               std::runtime_error);
  EXPECT_EQ(files.replaced, 1);
}

TEST(ConvertTest, FailuresSayWhereAndWriteNothing) {
  MemoryFileSystem files;
  files.files["in"] = "<b>x</b>";
  files.readError = EACCES;
  cSievetext engine;
  ConvertResult result = ConvertFile(engine, files, "in", 8, "out");
  EXPECT_EQ(result.status, ConvertStatus::ReadFailed);
  EXPECT_EQ(result.error, EACCES);
  files.readError = 0;
  files.replaceError = ENOSPC;
  result = ConvertFile(engine, files, "in", 8, "out");
  EXPECT_EQ(result.status, ConvertStatus::WriteFailed);
  EXPECT_EQ(result.error, ENOSPC);
  files.replaceError = 0;
  // An engine failure (here a throwing yield inside the engine) is passed on
  // to the engine's own reporter and stops the write.
  struct Count final : ConversionReporter {
    void report(std::string_view, long, std::string_view) override { ++reports; }
    int reports = 0;
  } reporter;
  engine.reporter = &reporter;
  engine.yield = [] { throw std::runtime_error("stop"); };
  result = ConvertFile(engine, files, "in", 8, "out");
  EXPECT_EQ(result.status, ConvertStatus::EngineFailed);
  EXPECT_GE(reporter.reports, 1);
  EXPECT_EQ(engine.reporter, &reporter);
  EXPECT_EQ(files.files.count("out"), 0u);
}

TEST(ConvertTest, ReadsAPipeThatIsNotReadyYet) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(::write(ends[1], "<b>late</b>", 11), 11);
    ::close(ends[1]);
  });
  std::string got;
  const int error =
      ReadFromDescriptor(ends[0], [&](std::string_view piece, bool) { got.append(piece); });
  writer.join();
  ::close(ends[0]);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(got, "<b>late</b>");
}

}  // namespace
}  // namespace sievetext
