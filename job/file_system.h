#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sievetext {

// What a path names, after following symbolic links.
enum class FileKind { Missing, Regular, Directory, Other };

// The job's view of the files it touches. Every fallible operation returns 0
// or an errno value; the job turns that into a reported runtime error.
class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  virtual FileKind kind(const std::string& path) = 0;
  // Size in bytes of the regular file at `path`.
  virtual int size(const std::string& path, std::uint64_t& bytes) = 0;
  // The whole content of the regular file at `path`. Refuses anything that is
  // not a regular file once opened, so a FIFO can never block the job.
  virtual int read(const std::string& path, std::string& bytes) = 0;
  // Makes `path` hold exactly `bytes`. Either the whole new content is there
  // afterwards, or the old file (if any) is left as it was and nothing else
  // is left behind. A folder at `path` is refused.
  virtual int replace(const std::string& path, std::string_view bytes) = 0;
};

// The real thing, over POSIX calls.
class PosixFileSystem final : public FileSystem {
 public:
  // `syncBeforeRename`: flush the new content to the disk before it takes the
  // old file's place, so that a power cut cannot leave an empty file behind.
  explicit PosixFileSystem(bool syncBeforeRename = kSyncByDefault)
      : syncBeforeRename_(syncBeforeRename) {}

  FileKind kind(const std::string& path) override;
  int size(const std::string& path, std::uint64_t& bytes) override;
  int read(const std::string& path, std::string& bytes) override;
  int replace(const std::string& path, std::string_view bytes) override;

  static constexpr bool kSyncByDefault = false;

 private:
  bool syncBeforeRename_;
};

// Writes `bytes` to a new file beside `path` and renames it over `path`.
// Keeps the permission bits of the file it replaces; a new file gets the
// usual 0666 less the umask. Returns 0 or an errno value; on failure `path`
// is untouched and the temporary file removed.
int ReplaceFileAtomically(const std::string& path, std::string_view bytes, bool syncBeforeRename);

}  // namespace sievetext
