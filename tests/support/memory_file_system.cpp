#include "tests/support/memory_file_system.h"

#include <cerrno>

namespace sievetext {

FileKind MemoryFileSystem::kind(const std::string& path) {
  if (files.count(path)) return FileKind::Regular;
  if (folders.count(path)) return FileKind::Directory;
  if (others.count(path)) return FileKind::Other;
  return FileKind::Missing;
}

int MemoryFileSystem::size(const std::string& path, std::uint64_t& bytes) {
  const auto it = files.find(path);
  if (it == files.end()) return folders.count(path) ? EISDIR : ENOENT;
  bytes = it->second.size();
  return 0;
}

int MemoryFileSystem::read(const std::string& path, const ByteSink& use) {
  if (readError) return readError;
  const auto it = files.find(path);
  if (it == files.end()) return folders.count(path) ? EISDIR : ENOENT;
  use(it->second, true);
  return 0;
}

int MemoryFileSystem::replace(const std::string& path, const ByteSource& next) {
  ++replaceCalls;
  if (replaceError) return replaceError;
  if (folders.count(path)) return EISDIR;
  if (others.count(path)) return EINVAL;
  std::string bytes;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) bytes.append(piece);
  files[path] = std::move(bytes);
  return 0;
}

}  // namespace sievetext
