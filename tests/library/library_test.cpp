// The public interface, as a program using the installed library sees it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "job/remove_html.h"
#include "settings/option_transfer.h"
#include "sievetext/sievetext.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/recording_prompter.h"
#include "tests/support/temp_folder.h"
#include "text/line_breaks.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;

using testing::ReadFile;
using testing::WriteFile;

// What the conversion job writes for `bytes` with `options`.
std::string JobOutput(const std::string& bytes, const Options& options) {
  cSievetext engine;
  OptionValues values{};
  for (std::size_t i = 0; i < kOptions.size(); ++i) values[i] = options.get(kOptions[i].name);
  MemoryFileSystem files;
  files.files["/in.html"] = bytes;
  testing::RecordingPrompter prompter;
  JobContext ctx{engine, values, files, prompter};
  EXPECT_EQ(RemoveHTML({"/in.html", "/out.txt"}, ctx).outcome, JobOutcome::Written);
  std::string written = files.files["/out.txt"];
  if (options.lineBreaks == LineBreaks::Lf) UseLfLineBreaks(written);
  return written;
}

TEST(LibraryOptions, NamesInAnyLetterCaseAndAll) {
  Options options;
  ASSERT_EQ(Options::names().size(), 11u);
  EXPECT_EQ(Options::names().front(), "GenerateSpecialChars");
  for (std::string_view name : Options::names()) EXPECT_TRUE(options.get(name)) << name;

  EXPECT_TRUE(options.set("removescripts", false));
  EXPECT_FALSE(options.RemoveScripts);
  EXPECT_FALSE(options.get("REMOVESCRIPTS"));
  EXPECT_TRUE(options.set("ALL", false));
  for (std::string_view name : Options::names()) EXPECT_FALSE(options.get(name)) << name;

  EXPECT_FALSE(options.set("RemoveScript", true));
  EXPECT_FALSE(options.set("", true));
  EXPECT_FALSE(options.set("alll", true));
  EXPECT_FALSE(options.RemoveScripts);
  EXPECT_THROW((void)options.get("lf"), std::invalid_argument);
}

TEST(LibraryConvert, GivesTheJobsBytesForEveryOption) {
  const std::string pages[] = {
      "",
      // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one page, split for width
      "<html><head><style>p{x}</style><script>a|b</script></head>\r\n<body>"
      "<!-- note -->caf&eacute; &amp;&lt;\t|x|\r\n\r\n  two   spaces\r\n \r\nend</body></html>",
      "caf\xc3\xa9 and caf\xe9 <b>{brace}</b>\n\nline\nmsnavigation\n",
      std::string("\xff\xfe<\0b\0>\0h\0i\0\r\0\n\0\r\0\n\0x\0", 22),  // UTF-16 LE with its mark
      "<meta charset=koi8-r><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>",         // a declared charset
  };
  for (const std::string& page : pages) {
    Options all;
    Options none;
    none.set("all", false);
    std::vector<Options> variants{all, none};
    for (std::string_view name : Options::names()) {
      Options one = all;
      one.set(name, false);
      variants.push_back(one);
    }
    Options lf;
    lf.lineBreaks = LineBreaks::Lf;
    variants.push_back(lf);
    none.lineBreaks = LineBreaks::Lf;
    variants.push_back(none);
    for (const Options& options : variants) {
      if (page.empty()) {
        EXPECT_EQ(convert(page, options), "");
      } else {
        EXPECT_EQ(convert(page, options), JobOutput(page, options)) << page;
      }
    }
  }
  EXPECT_EQ(convert("<p>caf&eacute;</p>"), "caf\xc3\xa9");
  // Bytes follow the charset they declare; text handed over as UTF-8 is read
  // as UTF-8 whatever it declares.
  const std::string koi8 = "<meta charset=koi8-r><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>";
  const std::string utf8 =
      "<meta charset=koi8-r><p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</p>";
  EXPECT_EQ(convert(koi8), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");  // Привет
  EXPECT_EQ(convertText(utf8), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(convertText("caf\xE9"), "caf\xC3\xA9");
  Options keepLines;
  keepLines.RemoveAllCRLF = false;
  EXPECT_EQ(convert("a\r\nb\nc\rd", keepLines), "a \r\nb\r\nc d");
  keepLines.lineBreaks = LineBreaks::Lf;
  EXPECT_EQ(convert("a\r\nb\nc\rd", keepLines), "a \nb\nc d");
}

class LibraryFiles : public ::testing::Test {
 protected:
  // The error convertFile throws, or a failure when it throws none.
  Error failure(const fs::path& input, const fs::path& output) {
    try {
      convertFile(input, output);
    } catch (const Error& error) {
      return error;
    }
    ADD_FAILURE() << "no error for " << input << " -> " << output;
    return Error(ErrorCode::ConversionFailed, "none");
  }

  testing::TempFolder temp{"sievetext-library"};
  fs::path dir = temp.path();
};

TEST_F(LibraryFiles, ReplacesTheOutputButNeverTheInputItself) {
  WriteFile(dir / "in.html", "<p>one</p>\r\n<p>two</p>");
  WriteFile(dir / "out.txt", "a much longer old content that must vanish");
  Options options;
  options.RemoveAllCRLF = false;
  options.lineBreaks = LineBreaks::Lf;
  convertFile(dir / "in.html", dir / "out.txt", options);
  EXPECT_EQ(ReadFile(dir / "out.txt"), "one \ntwo");

  fs::create_hard_link(dir / "in.html", dir / "hard.txt");
  for (const char* name : {"in.html", "hard.txt"}) {
    const Error same = failure(dir / "in.html", dir / name);
    EXPECT_EQ(same.code(), ErrorCode::InvalidArgument);
    EXPECT_EQ(std::string(same.what()), (dir / name).string() + ": Output file is the input file");
  }
  EXPECT_EQ(ReadFile(dir / "in.html"), "<p>one</p>\r\n<p>two</p>");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

TEST_F(LibraryFiles, ChecksAndFailuresAreErrorsThatLeaveTheOutputAlone) {
  WriteFile(dir / "page.html", "text");
  WriteFile(dir / "empty.html", "");
  WriteFile(dir / ".hidden.html", "text");
  WriteFile(dir / "out.txt", "old");
  fs::create_directory(dir / "folder.html");

  const struct {
    fs::path input;
    fs::path output;
    ErrorCode code;
    int systemError;
    std::string path;
  } rows[] = {
      {"", dir / "out.txt", ErrorCode::InvalidArgument, 0, ""},
      {dir / "page.html", "", ErrorCode::InvalidArgument, 0, ""},
      {dir / "none.html", dir / "out.txt", ErrorCode::InputMissing, ENOENT, dir / "none.html"},
      {dir / "folder.html", dir / "out.txt", ErrorCode::InputMissing, ENOENT, dir / "folder.html"},
      {dir / ".hidden.html", dir / "out.txt", ErrorCode::InputMissing, ENOENT,
       dir / ".hidden.html"},
      {dir / "empty.html", dir / "out.txt", ErrorCode::InputEmpty, 0, dir / "empty.html"},
      {dir / "page.html", dir / "page.html" / "out.txt", ErrorCode::FileError, ENOTDIR,
       dir / "page.html" / "out.txt"},
      {dir / "page.html", dir / "folder.html", ErrorCode::FileError, EISDIR, dir / "folder.html"},
  };
  for (const auto& row : rows) {
    const Error error = failure(row.input, row.output);
    EXPECT_EQ(error.code(), row.code) << error.what();
    EXPECT_EQ(error.systemError(), row.systemError) << error.what();
    EXPECT_EQ(error.path(), row.path) << error.what();
    if (!row.path.empty()) {
      EXPECT_NE(std::string(error.what()).find(row.path), std::string::npos);
    }
  }
  EXPECT_EQ(ReadFile(dir / "out.txt"), "old");
  // As the command line says it, after its "sievetext: ".
  EXPECT_EQ(std::string(failure(dir / "none.html", dir / "out.txt").what()),
            (dir / "none.html").string() + ": Input file is missing");
  EXPECT_EQ(std::string(failure(dir / "empty.html", dir / "out.txt").what()),
            (dir / "empty.html").string() + ": Input file is empty!");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 5);
}

TEST_F(LibraryFiles, APathWithANulByteIsRefusedNotCut) {
  WriteFile(dir / "page.html", "text");
  WriteFile(dir / "victim.txt", "old");
  const std::string nul("\0", 1);
  const std::string page = (dir / "page.html").string();
  const std::string victim = (dir / "victim.txt").string();
  for (const auto& [input, output] :
       {std::pair{page, victim + nul + ".bak"}, std::pair{page + nul + ".x", victim}}) {
    const Error error = failure(input, output);
    EXPECT_EQ(error.code(), ErrorCode::InvalidArgument) << error.what();
  }
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(LibraryFiles, AStopFlagEndsTheConversionAndLeavesTheOutputAlone) {
  WriteFile(dir / "page.html", "<p>text</p>");
  WriteFile(dir / "out.txt", "old");
  const std::atomic<bool> stop{true};
  try {
    convertFile(dir / "page.html", dir / "out.txt", {}, stop);
    ADD_FAILURE() << "not stopped";
  } catch (const Error& error) {
    EXPECT_EQ(error.code(), ErrorCode::Interrupted) << error.what();
  }
  EXPECT_EQ(ReadFile(dir / "out.txt"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  try {
    (void)convert("<p>text</p>", {}, stop);
    ADD_FAILURE() << "not stopped";
  } catch (const Error& error) {
    EXPECT_EQ(error.code(), ErrorCode::Interrupted) << error.what();
  }
  const std::atomic<bool> go{false};
  EXPECT_EQ(convert("<p>text</p>", {}, go), "text");
  convertFile(dir / "page.html", dir / "out.txt", {}, go);
  EXPECT_EQ(ReadFile(dir / "out.txt"), "text");
}

TEST_F(LibraryFiles, LinksAnotherUserPlantedInAStickyFolderAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "a link of another user's needs root to make";
  WriteFile(dir / "page.html", "text");
  WriteFile(dir / "victim", "precious");
  fs::create_directory(dir / "shared");
  ASSERT_EQ(::chmod((dir / "shared").c_str(), 01777), 0);
  fs::create_symlink(dir / "victim", dir / "shared" / "out.txt");
  ASSERT_EQ(::lchown((dir / "shared" / "out.txt").c_str(), 65534, 65534), 0);
  const Error refused = failure(dir / "page.html", dir / "shared" / "out.txt");
  EXPECT_EQ(refused.code(), ErrorCode::FileError);
  EXPECT_EQ(refused.systemError(), EACCES);
  EXPECT_EQ(ReadFile(dir / "victim"), "precious");
}

TEST(LibraryVersion, IsTheHeadersVersion) {
  EXPECT_EQ(std::string(version()), std::to_string(SIEVETEXT_VERSION_MAJOR) + "." +
                                        std::to_string(SIEVETEXT_VERSION_MINOR) + "." +
                                        std::to_string(SIEVETEXT_VERSION_REVISION));
}

}  // namespace
}  // namespace sievetext
