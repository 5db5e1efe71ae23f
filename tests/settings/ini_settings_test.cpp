#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/ini_document.h"
#include "settings/ini_settings_store.h"
#include "settings/option_transfer.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"

namespace sievetext {
namespace {

namespace fs = std::filesystem;
using testing::FileSizeLimit;

using testing::ReadFile;
using testing::WriteFile;

TEST(IniDocumentTest, ReadsOnlyWellFormedFiles) {
  IniDocument doc;
  EXPECT_TRUE(doc.parse(""));
  EXPECT_TRUE(doc.parse("; comment\n# comment\n\n[General]\r\n  Key = Value  \r\nother=\n"));
  EXPECT_EQ(doc.get("General", "Key"), "Value");
  EXPECT_EQ(doc.get("General", "other"), "");
  EXPECT_EQ(doc.get("General", "key"), std::nullopt) << "keys are case-sensitive";
  EXPECT_EQ(doc.get("Other", "Key"), std::nullopt);
  EXPECT_FALSE(doc.parse("[General]\njust words\n"));
  EXPECT_FALSE(doc.parse("[General]\n=value\n"));
  EXPECT_FALSE(doc.parse(std::string("[General]\nKey=a\0b\n", 16)));
  EXPECT_EQ(doc.get("General", "Key"), std::nullopt) << "a malformed file holds nothing";
}

TEST(IniDocumentTest, SettingAKeyChangesOnlyItsValue) {
  IniDocument doc;
  ASSERT_TRUE(
      doc.parse("top=1\n\n[Window]\nRemoveTabs=keep\n\n[General]\n; mine\nRemoveTabs = true\r\n"
                "Extra=x\n\n[Last]\nk=v"));
  EXPECT_TRUE(doc.set("General", "RemoveTabs", "False"));
  EXPECT_FALSE(doc.set("General", "RemoveTabs", "False"));
  EXPECT_TRUE(doc.set("General", "RemovePipe", "True"));
  EXPECT_TRUE(doc.set("New", "a", "b"));
  EXPECT_EQ(doc.text(),
            "top=1\n\n[Window]\nRemoveTabs=keep\n\n[General]\n; mine\nRemoveTabs =False\r\n"
            "Extra=x\nRemovePipe=True\n\n[Last]\nk=v\n\n[New]\na=b\n");

  IniDocument fresh;
  EXPECT_TRUE(fresh.set("General", "RemoveTabs", "True"));
  EXPECT_EQ(fresh.text(), "[General]\nRemoveTabs=True\n");
}

class IniSettingsStoreTest : public ::testing::Test {
 protected:
  void saveAll(const char* value) {
    IniSettingsStore store(path.string());
    for (const OptionInfo& option : kOptions) store.write(option.name, value);
    store.sync();
  }
  // Besides the lock file, which stays.
  std::size_t filesInConfig() const {
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
      n += entry.path() != path.string() + ".lock";
    }
    return n;
  }

  testing::TempFolder temp{"sievetext-ini"};
  fs::path folder = temp.path();
  fs::path path = folder / "config" / "WexaSievetext.ini";
};

TEST_F(IniSettingsStoreTest, FirstSaveCreatesAPlainGeneralSection) {
  {
    IniSettingsStore store(path.string());
    EXPECT_EQ(store.read("RemoveTabs", "true"), "true");
    OptionModel boxes;
    LoadOptions(store, boxes);
    SaveOptions(boxes, store);
  }
  std::string expected = "[General]\n";
  for (const OptionInfo& option : kOptions) expected += std::string(option.name) + "=True\n";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(filesInConfig(), 1u) << "no temporary file left behind";

  IniSettingsStore again(path.string());
  EXPECT_EQ(again.read("RemoveTabs", "x"), "True");
}

TEST_F(IniSettingsStoreTest, KeepsEverythingElseAndWritesOnlyOnChange) {
  fs::create_directories(path.parent_path());
  const std::string mine =
      "; my notes\n[General]\nRemoveTabs=TRUE\nMyKey=1\n[Other]\nRemoveTabs=no\n";
  WriteFile(path, mine);
  ::chmod(path.c_str(), 0640);
  {
    IniSettingsStore store(path.string());
    EXPECT_EQ(store.read("RemoveTabs", "true"), "TRUE");
    store.write("RemoveTabs", "TRUE");
    store.sync();
  }
  EXPECT_EQ(ReadFile(path), mine);
  struct stat original {};
  ::stat(path.c_str(), &original);

  saveAll("False");
  std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("; my notes\n[General]\nRemoveTabs=False\nMyKey=1\n", 0), 0u) << text;
  EXPECT_NE(text.find("[Other]\nRemoveTabs=no\n"), std::string::npos) << text;
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "permissions of the old file kept";
  EXPECT_NE(st.st_ino, original.st_ino) << "replaced as a whole, not rewritten in place";

  // Nothing changes: the file is not even replaced.
  saveAll("False");
  struct stat after {};
  ::stat(path.c_str(), &after);
  EXPECT_EQ(after.st_ino, st.st_ino);
}

TEST_F(IniSettingsStoreTest, UnusableFilesReadAsEmptyAndAreNeverWrittenOver) {
  fs::create_directories(path.parent_path());
  const std::string malformed = "[General]\nRemoveTabs=False\nthis line is not INI\n";
  WriteFile(path, malformed);
  {
    IniSettingsStore store(path.string());
    EXPECT_EQ(store.read("RemoveTabs", "true"), "true");
  }
  saveAll("False");
  EXPECT_EQ(ReadFile(path), malformed);

  // A folder where the file should be: unreadable, and the write fails.
  fs::remove(path);
  fs::create_directory(path);
  {
    IniSettingsStore store(path.string());
    EXPECT_EQ(store.read("RemoveTabs", "true"), "true");
  }
  saveAll("False");
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(filesInConfig(), 1u);

  // No path at all (no home folder): reads defaults, writes nothing.
  IniSettingsStore nowhere("");
  EXPECT_EQ(nowhere.read("RemoveTabs", "true"), "true");
  nowhere.write("RemoveTabs", "False");
  nowhere.sync();
}

TEST_F(IniSettingsStoreTest, FailedWriteChangesNothing) {
  fs::create_directories(path.parent_path());
  WriteFile(path, "[General]\nRemoveTabs=True\n");
  {
    // Files may not grow past 8 bytes: the new file cannot be written.
    FileSizeLimit limit(8);
    saveAll("False");
  }
  EXPECT_EQ(ReadFile(path), "[General]\nRemoveTabs=True\n");
  EXPECT_EQ(filesInConfig(), 1u);
}

TEST_F(IniSettingsStoreTest, WritesThroughASymbolicLink) {
  fs::create_directories(path.parent_path());
  const fs::path real = folder / "dotfiles.ini";
  WriteFile(real, "[General]\n");
  fs::create_symlink(real, path);
  saveAll("True");
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_NE(ReadFile(real).find("RemoveTabs=True\n"), std::string::npos);
}

TEST(IniSettingsStorePathTest, FollowsTheUsersConfigFolder) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string xdg = savedXdg ? savedXdg : "";
  const std::string home = savedHome ? savedHome : "";

  ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(IniSettingsStore::DefaultPath(), "/x/cfg/WexaSievetext.ini");
  ::setenv("XDG_CONFIG_HOME", "/x/cfg/", 1);
  EXPECT_EQ(IniSettingsStore::DefaultPath(), "/x/cfg/WexaSievetext.ini");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(IniSettingsStore::DefaultPath(), "/home/u/.config/WexaSievetext.ini");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(IniSettingsStore::DefaultPath(), "/home/u/.config/WexaSievetext.ini");

  if (savedXdg) ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  if (savedHome)
    ::setenv("HOME", home.c_str(), 1);
  else
    ::unsetenv("HOME");
}

}  // namespace
}  // namespace sievetext
