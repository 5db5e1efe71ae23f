#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sievetext {

// Hands out the bytes to write piece by piece; an empty piece ends them.
using ByteSource = std::function<std::string_view()>;
// Receives a file's content piece by piece, in order; a piece may end
// anywhere. `last` marks the final piece, which may be empty.
using ByteSink = std::function<void(std::string_view piece, bool last)>;

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
  // Size in bytes of the regular file at `path`. A stream whose length is
  // only known at its end (see standard_streams.h) answers an estimate
  // instead; 0 always means empty.
  [[nodiscard]] virtual int size(const std::string& path, std::uint64_t& bytes) = 0;
  // Hands the whole content of the regular file at `path` to `use`; pieces
  // are valid only during each call. Refuses anything that is not a regular
  // file once opened, so a FIFO can never block the job.
  [[nodiscard]] virtual int read(const std::string& path, const ByteSink& use) = 0;
  // Makes `path` hold exactly the bytes `next` hands out. Either the whole
  // new content is there afterwards, or the old file (if any) is left as it
  // was and nothing else is left behind. A folder at `path` is refused.
  [[nodiscard]] virtual int replace(const std::string& path, const ByteSource& next) = 0;

  // Conveniences over the two above.
  [[nodiscard]] int readWhole(const std::string& path, std::string& bytes);
  [[nodiscard]] int replaceWhole(const std::string& path, std::string_view bytes);
};

// The real thing, over POSIX calls.
class PosixFileSystem final : public FileSystem {
 public:
  // `syncBeforeRename`: flush the new content to the disk before it takes the
  // old file's place, so that a power cut cannot leave an empty file behind.
  explicit PosixFileSystem(bool syncBeforeRename = kSyncByDefault)
      : syncBeforeRename_(syncBeforeRename) {}

  FileKind kind(const std::string& path) override;
  [[nodiscard]] int size(const std::string& path, std::uint64_t& bytes) override;
  [[nodiscard]] int read(const std::string& path, const ByteSink& use) override;
  [[nodiscard]] int replace(const std::string& path, const ByteSource& next) override;

  static constexpr bool kSyncByDefault = false;

 private:
  bool syncBeforeRename_;
};

// Writes what `next` hands out to a new hidden file and renames it over
// `path`. Returns 0 or an errno value; on failure `path` is untouched and the
// temporary file removed (also when the process is ended by a signal meanwhile,
// see cleanup_on_signal.h).
//  - Symbolic links are followed: the file finally named is replaced, in its
//    own folder, and the links stay. A dangling link creates its target.
//  - A folder is refused (EISDIR); a device, FIFO or socket too (EINVAL),
//    never swapped for a plain file.
//  - A replaced file keeps its permission bits, less setuid and setgid, and,
//    where this process may give it away (as root, or as its owner), its owner
//    and group. A new file gets 0666 less the umask.
//  - Other hard links to the old file keep the old content.
[[nodiscard]] int ReplaceFileAtomically(const std::string& path, const ByteSource& next,
                                        bool syncBeforeRename);
[[nodiscard]] int ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                        bool syncBeforeRename);

// Hands everything that can be read from the open descriptor `fd`, up to its
// end, to `use` as PosixFileSystem::read does; 0 or an errno value. For a
// regular file as well as for a pipe or a terminal (standard input).
[[nodiscard]] int ReadFromDescriptor(int fd, const ByteSink& use);

// A source that hands out `bytes` in one piece.
ByteSource WholeSource(std::string_view bytes);

// Writes all of `bytes` to `fd`, retrying short writes and interruptions.
// Returns 0 or an errno value.
[[nodiscard]] int WriteToDescriptor(int fd, std::string_view bytes);

}  // namespace sievetext
