#pragma once

#include <filesystem>
#include <string>

namespace sievetext::testing {

// A fresh folder below /tmp for one test, removed with everything in it when
// the object goes, even where the test took permissions away.
class TempFolder {
 public:
  // The folder is named /tmp/<prefix>-XXXXXX. Throws when it cannot be made.
  explicit TempFolder(const std::string& prefix = "sievetext");
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the folder, as text.
  std::string at(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A whole file's bytes (empty when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);
// Creates or replaces a file with `bytes`.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace sievetext::testing
