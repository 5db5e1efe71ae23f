#pragma once

#include <string>

#include "platform/file_system.h"

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
// is gone, and a write error is returned like any other). Standard input that
// is a pipe or a terminal is streamed: it is never held whole as bytes. Use
// one instance per job: the first piece of such an input, read to learn
// whether there is any, is held here until the job reads it.
// An input path that names one of this process's open descriptors
// (/dev/stdin, /dev/fd/N) is read through that descriptor as "-" is, and a
// FIFO as a stream too, once a writer has opened it.
class StandardStreamFileSystem final : public FileSystem {
 public:
  StandardStreamFileSystem(FileSystem& files, ClosedStreams closed = {}, int inputFd = 0,
                           int outputFd = 1);
  ~StandardStreamFileSystem() override;

  FileKind kind(const std::string& path) override;
  // For standard input redirected from a file, what is left of that file.
  // For a pipe or a terminal the size is only known at the end, so this
  // waits for the first piece: 0 when there is none, otherwise an estimate
  // (what has arrived so far, at least 1).
  [[nodiscard]] int size(const std::string& path, std::uint64_t& bytes) override;
  [[nodiscard]] int read(const std::string& path, const ByteSink& use) override;
  [[nodiscard]] int replace(const std::string& path, const ByteSource& next) override;
  bool identify(const std::string& path, bool asOutput, FileIdentity& id) override;

 private:
  // The descriptor an input path is read from as a stream, or -1 for a
  // file. A FIFO is opened here, once.
  [[nodiscard]] int streamFor(const std::string& path, int& fd);
  [[nodiscard]] int readHead(int fd);

  FileSystem& files_;
  ClosedStreams closed_;
  int inputFd_;
  int outputFd_;
  bool headRead_ = false;   // head_ holds what has arrived of a streamed input
  bool headIsAll_ = false;  // ... and the input ended there
  std::string head_;
  std::string fifoPath_;  // the FIFO opened as fifoFd_
  int fifoFd_ = -1;
};

}  // namespace sievetext
