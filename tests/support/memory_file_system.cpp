#include "tests/support/memory_file_system.h"

#include <cerrno>
#include <mutex>
#include <string>

namespace sievetext {

FileKind MemoryFileSystem::kind(const std::string& path) {
  const std::lock_guard lock(mutex_);
  if (files.count(path)) return FileKind::Regular;
  if (folders.count(path)) return FileKind::Directory;
  if (others.count(path)) return FileKind::Other;
  return FileKind::Missing;
}

int MemoryFileSystem::size(const std::string& path, std::uint64_t& bytes) {
  const std::lock_guard lock(mutex_);
  const auto it = files.find(path);
  if (it == files.end()) return folders.count(path) ? EISDIR : ENOENT;
  bytes = it->second.size();
  return 0;
}

int MemoryFileSystem::read(const std::string& path, const ByteSink& use) {
  std::string bytes;
  {
    const std::lock_guard lock(mutex_);
    if (readError) return readError;
    const auto it = files.find(path);
    if (it == files.end()) return folders.count(path) ? EISDIR : ENOENT;
    bytes = it->second;
  }
  // Outside the lock: the reader may turn to the file system again.
  use(bytes, true);
  return 0;
}

int MemoryFileSystem::replace(const std::string& path, const ByteSource& next) {
  {
    const std::lock_guard lock(mutex_);
    ++replaceCalls;
    if (replaceError) return replaceError;
    if (folders.count(path)) return EISDIR;
    if (others.count(path)) return EINVAL;
  }
  // The source may give the host a turn, which may use the file system.
  std::string bytes;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) bytes.append(piece);
  const std::lock_guard lock(mutex_);
  files[path] = std::move(bytes);
  return 0;
}

}  // namespace sievetext
