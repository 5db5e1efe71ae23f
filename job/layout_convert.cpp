#include "job/layout_convert.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "text/text_codec.h"

namespace sievetext {
namespace {

// Pieces of UTF-8 text from the thread that lays out to the one that writes;
// at most kMaxPieces wait, so the reader never runs far ahead.
class Pipe {
 public:
  static constexpr std::size_t kMaxPieces = 4;

  // False once the writer has given up: the reader should stop.
  bool put(std::string piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    roomLeft_.wait(lock, [this] { return pieces_.size() < kMaxPieces || abandoned_; });
    if (abandoned_) return false;
    pieces_.push_back(std::move(piece));
    ready_.notify_one();
    return true;
  }
  // The reader is done: `error` (errno) or `failure` when it did not finish.
  void close(int error = 0, std::exception_ptr failure = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    error_ = error;
    failure_ = std::move(failure);
    ready_.notify_one();
  }
  // The next piece into `piece`; false at the end (then see error()/failure()).
  bool take(std::string& piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !pieces_.empty() || closed_; });
    if (pieces_.empty()) return false;
    piece = std::move(pieces_.front());
    pieces_.pop_front();
    roomLeft_.notify_one();
    return true;
  }
  void abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
    pieces_.clear();
    roomLeft_.notify_one();
  }
  bool abandoned() {
    std::lock_guard<std::mutex> lock(mutex_);
    return abandoned_;
  }
  int error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }
  std::exception_ptr failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_, roomLeft_;
  std::deque<std::string> pieces_;
  bool closed_ = false, abandoned_ = false;
  int error_ = 0;
  std::exception_ptr failure_;
};

// Thrown inside the reader's sink to stop reading once the writer gave up.
struct Abandoned {};
// Thrown from the writer's source when the reader failed, so that the old
// output stays.
struct ReadFailure {};

void YieldToHost(const cSievetext& engine) {
  if (const std::function<void()> hook = engine.yield) hook();
}

}  // namespace

layout::LayoutOptions LayoutOptionsFor(const cSievetext& engine) {
  layout::LayoutOptions options;
  options.decodeReferences = engine.GenerateSpecialChars;
  options.joinLines = engine.RemoveAllCRLF;
  options.dropBlankLines = engine.RemoveBlankLines;
  options.collapseSpaces = engine.RemoveSpaces;
  options.tabsAsSpaces = engine.RemoveTabs;
  options.pipesAsSpaces = engine.RemovePipe;
  options.lineBreak = u"\r\n";
  return options;
}

std::string ConvertBytesLaidOut(const cSievetext& engine, std::string_view bytes,
                                TextDecoder::Declarations declarations) {
  TextDecoder decoder(0, 0, declarations);
  decoder.feed(bytes, true);
  std::string text;
  layout::LayoutConverter converter(
      LayoutOptionsFor(engine), [&text](std::u16string_view piece) { text += EncodeText(piece); });
  converter.feed(decoder.drain());
  converter.finish();
  return text;
}

ConvertResult ConvertFileLaidOut(cSievetext& engine, FileSystem& files, const std::string& input,
                                 std::uint64_t, const std::string& output) {
  const layout::LayoutOptions options = LayoutOptionsFor(engine);
  Pipe pipe;
  std::thread reader([&pipe, &files, &input, options] {
    try {
      TextDecoder decoder;
      layout::LayoutConverter converter(options, [&pipe](std::u16string_view piece) {
        if (!pipe.put(EncodeText(piece))) throw Abandoned{};
      });
      const int error = files.read(input, [&](std::string_view bytes, bool last) {
        if (pipe.abandoned()) throw Abandoned{};
        decoder.feed(bytes, last);
        converter.feed(decoder.drain());
      });
      if (error != 0) {
        pipe.close(error);
        return;
      }
      converter.finish();
      pipe.close();
    } catch (const Abandoned&) {
      pipe.close();
    } catch (...) {
      pipe.close(0, std::current_exception());
    }
  });
  // However the writing ends, the reader is stopped and waited for.
  struct Join {
    Pipe& pipe;
    std::thread& reader;
    ~Join() {
      pipe.abandon();
      reader.join();
    }
  } join{pipe, reader};

  std::string piece;
  std::uint64_t sinceYield = 0;
  const auto source = [&]() -> std::string_view {
    do {
      if (!pipe.take(piece)) {
        if (pipe.error() != 0 || pipe.failure()) throw ReadFailure{};
        return {};
      }
    } while (piece.empty());  // an empty piece would end the output early
    if (sinceYield + piece.size() > kYieldEveryBytes) {
      YieldToHost(engine);
      sinceYield = 0;
    }
    sinceYield += piece.size();
    return piece;
  };
  int error = 0;
  try {
    error = files.replace(output, source);
  } catch (const ReadFailure&) {
    if (const std::exception_ptr failure = pipe.failure()) std::rethrow_exception(failure);
    return {ConvertStatus::ReadFailed, pipe.error()};
  }
  if (error != 0) return {ConvertStatus::WriteFailed, error};
  return {};
}

}  // namespace sievetext
