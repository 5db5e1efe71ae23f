#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace sievetext {

// An in-memory file system for tests, with failures on command. Jobs on
// several threads may use it at once; the test reads its fields afterwards.
class MemoryFileSystem final : public FileSystem {
 public:
  FileKind kind(const std::string& path) override;
  int size(const std::string& path, std::uint64_t& bytes) override;
  int read(const std::string& path, const ByteSink& use) override;
  int replace(const std::string& path, const ByteSource& next) override;

  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::set<std::string> others;  // FIFOs, devices, sockets
  int readError = 0;             // returned by every read() when not 0
  int replaceError = 0;          // returned by every replace() when not 0
  int replaceCalls = 0;

 private:
  std::mutex mutex_;  // guards the fields above while jobs run
};

}  // namespace sievetext
