#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// Which file a path names: two paths with the same identity (hard links, a
// link and its target) are one file.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool regular = false;
  bool operator==(const FileIdentity&) const = default;
};

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
  // The file `path` names, if it exists and can be told; `asOutput` says for
  // which use the path is meant where that matters ("-"). False: unknown.
  virtual bool identify(const std::string& /*path*/, bool /*asOutput*/, FileIdentity& /*id*/) {
    return false;
  }

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
  // Writes as WriteOutputFile does.
  [[nodiscard]] int replace(const std::string& path, const ByteSource& next) override;
  bool identify(const std::string& path, bool asOutput, FileIdentity& id) override;

  static constexpr bool kSyncByDefault = false;

 private:
  bool syncBeforeRename_;
};

// Every path below is followed name by name from an open folder, so its
// length is not limited, and a symbolic link is only followed where the
// system's rule for sticky folders open to everybody (such as /tmp) would
// allow it, whatever that rule's setting: the link is this process's user's
// or the folder owner's. Other links there are refused with EACCES.

class FolderTable;

// While one lives, the folders that the calls below lead through are opened
// once and kept (a few at a time, the most recent), so that a batch of files
// in a few folders does not follow each path again for every call. For a
// run that ends before those folders may sensibly change under it, such as
// the command line's batch: a folder renamed or moved meanwhile is still
// the one used, and one removed gives ENOENT. One at a time; a second
// created while one lives keeps nothing. It must outlive every thread that
// follows paths meanwhile, and is not for code that changes the working
// folder.
class KeptFolders {
 public:
  KeptFolders();
  ~KeptFolders();
  KeptFolders(const KeptFolders&) = delete;
  KeptFolders& operator=(const KeptFolders&) = delete;

 private:
  std::unique_ptr<FolderTable> table_;
};

// While one lives on a thread, and a KeptFolders too, a path that thread
// has followed answers as it did the first time (what was at its end, or
// that nothing was), until the thread itself writes through one of the calls
// below or makes a folder. For one job, whose checks ask about the same two
// paths several times before anything is written; the calls that open or
// write still check what they find. Paths through a link are not remembered.
class LookupMemo {
 public:
  LookupMemo();
  ~LookupMemo();
  LookupMemo(const LookupMemo&) = delete;
  LookupMemo& operator=(const LookupMemo&) = delete;
};

// Writes what `next` hands out to a new hidden file and renames it over
// `path`. Returns 0 or an errno value; on failure `path` is untouched and the
// temporary file removed (also when the process is ended by a signal meanwhile,
// see cleanup_on_signal.h).
//  - Symbolic links are followed: the file finally named is replaced, in its
//    own folder, and the links stay. A dangling link creates its target.
//  - A folder is refused (EISDIR); a device, FIFO or socket too (EINVAL),
//    never swapped for a plain file.
//  - An existing file that an ordinary open for writing would refuse (a
//    read-only file, say) is refused the same way (EACCES).
//  - A replaced file keeps its permission bits, less setuid and setgid, and,
//    where this process may give it away (as root, or as its owner), its owner
//    and group. A new file gets 0666 less the umask.
//  - Other hard links to the old file keep the old content.
[[nodiscard]] int ReplaceFileAtomically(const std::string& path, const ByteSource& next,
                                        bool syncBeforeRename);
[[nodiscard]] int ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                                        bool syncBeforeRename);

// The conversion's output: as ReplaceFileAtomically, except that what is not
// a regular file or folder is written in place, never replaced, as a shell's
// ">" writes it: a FIFO (the open waits for a reader) or a character device
// (/dev/null, a terminal) through an ordinary open; a path naming one of
// this process's open descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N)
// through that descriptor, at its current offset. Block devices and sockets
// stay refused (EINVAL).
[[nodiscard]] int WriteOutputFile(const std::string& path, const ByteSource& next,
                                  bool syncBeforeRename);

// What an input path names when it is to be read as a stream rather than as
// a file: one of this process's open descriptors (then `descriptor` is set),
// or a FIFO.
enum class InputStream { None, Descriptor, Fifo };
[[nodiscard]] InputStream InputStreamOf(const std::string& path, int& descriptor);

// Opens the FIFO at `path` for reading, waiting for a writer. 0 or an errno
// value; `fd` is the caller's to close.
[[nodiscard]] int OpenFifoForReading(const std::string& path, int& fd);

// Opens what `path` names for reading, without blocking (O_NONBLOCK, so a
// FIFO there cannot hold the open up). 0 or an errno value; `fd` is the
// caller's to close. The caller checks what it got.
[[nodiscard]] int OpenForReading(const std::string& path, int& fd);

// Opens the folder at `path` for listing (O_RDONLY | O_DIRECTORY). 0 or an
// errno value (ENOTDIR for anything else); `fd` is the caller's to close.
[[nodiscard]] int OpenFolder(const std::string& path, int& fd);

// Creates `folder` and any missing parents. 0 or an errno value.
[[nodiscard]] int MakeFolders(const std::string& folder);

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
