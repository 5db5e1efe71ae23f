#pragma once

#include <memory>
#include <string>
#include <vector>

#include "job/file_system.h"

namespace sievetext {

// The path that stands for standard input when read and standard output when
// written.
inline constexpr const char* kStandardStreamPath = "-";

// Makes sure descriptors 0, 1 and 2 are open before anything else opens a
// file: one of them closed would otherwise be handed to the next file opened
// (a temporary output, say) and messages or standard output would land in
// it. A closed one is pointed at /dev/null; the answer says which were
// closed, so writing to a closed standard output can still fail as it should.
struct ClosedStreams {
  bool input = false;
  bool output = false;
  bool error = false;
};
ClosedStreams KeepStandardStreamsOpen();

// Passes every path to `files` but "-": reading it reads standard input to its
// end, writing it writes standard output (no temporary file: what is written
// is gone, and a write error is returned like any other). Use one instance per
// job: standard input, once read, is held here until the job takes it.
class StandardStreamFileSystem final : public FileSystem {
 public:
  StandardStreamFileSystem(FileSystem& files, ClosedStreams closed = {}, int inputFd = 0,
                           int outputFd = 1);
  ~StandardStreamFileSystem() override;

  FileKind kind(const std::string& path) override;
  // For standard input from a pipe or terminal the size is only known once it
  // has all been read, so this reads it (into memory) and keeps it.
  int size(const std::string& path, std::uint64_t& bytes) override;
  int read(const std::string& path, const ByteSink& use) override;
  int replace(const std::string& path, const ByteSource& next) override;

 private:
  class Chunk;
  int slurpInput(std::uint64_t& bytes);

  FileSystem& files_;
  ClosedStreams closed_;
  int inputFd_;
  int outputFd_;
  bool inputRead_ = false;    // standard input is held in chunks_
  bool inputIsFile_ = false;  // standard input is a regular file, read on demand
  std::vector<std::unique_ptr<Chunk>> chunks_;
};


}  // namespace sievetext
