#include "job/layout_convert.h"

#include <cctype>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/standard_streams.h"
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

// Thrown inside a sheet's sink once it is longer than allowed.
struct TooLong {};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The sheets of one page on disk.
class PageSheets final : public layout::css::StyleSheetLoader {
 public:
  PageSheets(FileSystem& files, std::string page) : files_(files), page_(std::move(page)) {}

  bool load(std::u16string_view location, std::u16string& text) override {
    if (loads_ >= kMaxSheetLoads) return false;
    ++loads_;
    const std::string path = SheetPath(page_, location);
    return !path.empty() && ReadStyleSheet(files_, path, text);
  }

 private:
  FileSystem& files_;
  std::string page_;
  std::size_t loads_ = 0;
};

}  // namespace

std::string SheetPath(const std::string& page, std::u16string_view location) {
  const std::string address = EncodeText(location);
  std::string path;
  for (std::size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (c == '?' || c == '#') break;
    if (c == '\\') return {};
    if (c == '%' && i + 2 < address.size() + 0 && HexValue(address[i + 1]) >= 0 &&
        HexValue(address[i + 2]) >= 0) {
      path.push_back(static_cast<char>(HexValue(address[i + 1]) * 16 + HexValue(address[i + 2])));
      i += 2;
      continue;
    }
    path.push_back(c);
  }
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return {};
  // A scheme: a letter, then letters, digits, '+', '-' or '.', then ':'.
  std::size_t k = 0;
  while (k < address.size() &&
         (std::isalpha(static_cast<unsigned char>(address[k])) != 0 ||
          (k > 0 && (std::isdigit(static_cast<unsigned char>(address[k])) != 0 ||
                     address[k] == '+' || address[k] == '-' || address[k] == '.')))) {
    ++k;
  }
  if (k > 0 && k < address.size() && address[k] == ':') return {};
  const std::size_t slash = page.rfind('/');
  return slash == std::string::npos ? path : page.substr(0, slash + 1) + path;
}

bool ReadStyleSheet(FileSystem& files, const std::string& path, std::u16string& text) {
  // The kind and size first, so that nothing but a regular file of a
  // reasonable size is opened; the read itself refuses anything else again,
  // should the file have been swapped meanwhile.
  if (files.kind(path) != FileKind::Regular) return false;
  std::uint64_t bytes = 0;
  if (files.size(path, bytes) != 0 || bytes == 0 || bytes > kMaxSheetBytes) return false;
  TextDecoder decoder(bytes, 0, TextDecoder::Declarations::Ignore);
  std::uint64_t read = 0;
  try {
    const int error = files.read(path, [&](std::string_view piece, bool last) {
      read += piece.size();
      if (read > kMaxSheetBytes) throw TooLong{};
      decoder.feed(piece, last);
    });
    if (error != 0) return false;
  } catch (const TooLong&) {
    return false;
  }
  text = decoder.take();
  return true;
}

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
  layout::LayoutOptions options = LayoutOptionsFor(engine);
  Pipe pipe;
  std::thread reader([&pipe, &files, &input, options]() mutable {
    try {
      // Only a page in a file has a folder its sheets are found from.
      PageSheets sheets(files, input);
      int descriptor = -1;
      if (input != kStandardStreamPath && InputStreamOf(input, descriptor) == InputStream::None &&
          files.kind(input) == FileKind::Regular) {
        options.styleSheets = &sheets;
      }
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
