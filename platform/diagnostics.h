#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace sievetext {

// Where one line of the program's messages goes.
class MessageSink {
 public:
  MessageSink() = default;
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;
  virtual ~MessageSink() = default;
  // `text` is one line without its line break.
  virtual void line(const std::string& text) = 0;
};

// Messages on standard error, one write(2) per line so that lines never mix.
// Remembers a failed write: the run then ends with status 2.
class StandardErrorSink final : public MessageSink {
 public:
  StandardErrorSink(bool quiet, bool closed) : quiet_(quiet), closed_(closed) {}
  void line(const std::string& text) override;
  bool failed() const { return failed_; }

 private:
  std::mutex mutex_;
  bool quiet_;
  bool closed_;
  bool failed_ = false;
};

// "sievetext: " followed by the parts that are not empty, joined by ": ".
// Control characters in names become "?" so that a message stays one line.
std::string MessageLine(std::string_view file, std::string_view text);

// The description of an errno value, as the system words it.
std::string ErrnoText(int error);

}  // namespace sievetext
