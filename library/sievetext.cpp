// The library's face: each call builds what the command line builds for one
// conversion (an engine, the options, the job) and turns the job's outcome
// into a return value or an Error.

#include "sievetext/sievetext.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <utility>

#include "build_info.h"
#include "engine/cSievetext.h"
#include "job/convert.h"
#include "job/error_reporter.h"
#include "job/layout_convert.h"
#include "job/prompter.h"
#include "job/remove_html.h"
#include "platform/file_system.h"
#include "settings/option_names.h"
#include "settings/option_transfer.h"
#include "settings/options.h"
#include "text/line_breaks.h"

namespace sievetext {
inline namespace v1 {
namespace {

static_assert(build_info::kMajor == SIEVETEXT_VERSION_MAJOR &&
                  build_info::kMinor == SIEVETEXT_VERSION_MINOR &&
                  build_info::kRevision == SIEVETEXT_VERSION_REVISION,
              "the public header's version is the project's version");

// The field of `options` that stands for the option `key`.
bool& Field(Options& options, OptionKey key) {
  switch (key) {
    case OptionKey::GenerateSpecialChars:
      return options.GenerateSpecialChars;
    case OptionKey::RemoveAllCRLF:
      return options.RemoveAllCRLF;
    case OptionKey::RemoveAllTags:
      return options.RemoveAllTags;
    case OptionKey::RemoveBlankLines:
      return options.RemoveBlankLines;
    case OptionKey::RemoveComments:
      return options.RemoveComments;
    case OptionKey::RemoveFunctions:
      return options.RemoveFunctions;
    case OptionKey::RemovePipe:
      return options.RemovePipe;
    case OptionKey::RemoveScripts:
      return options.RemoveScripts;
    case OptionKey::RemoveSpaces:
      return options.RemoveSpaces;
    case OptionKey::RemoveStyles:
      return options.RemoveStyles;
    case OptionKey::RemoveTabs:
      return options.RemoveTabs;
  }
  return options.RemoveTabs;  // not reached
}

bool Field(const Options& options, OptionKey key) {
  return Field(const_cast<Options&>(options), key);
}

// The options as the engine takes them.
OptionValues Values(const Options& options) {
  OptionValues values{};
  for (std::size_t i = 0; i < kOptions.size(); ++i) values[i] = Field(options, kOptions[i].key);
  return values;
}

Error OutOfMemory() { return Error(ErrorCode::OutOfMemory, std::string(kErrorOutOfMemoryText)); }

// The engine's failure, if it reported one; it keeps the first.
class FailureRecorder final : public ConversionReporter {
 public:
  void report(std::string_view procedure, long number, std::string_view description) override {
    if (!failed) {
      failed = true;
      message = FormatError(procedure, number, description);
      outOfMemory = number == kErrorOutOfMemory;
    }
  }
  bool failed = false;
  bool outOfMemory = false;
  std::string message;
};

// Answers the overwrite question with yes, as on the command line.
class YesPrompter final : public Prompter {
 public:
  void say(const std::string&) override {}
  bool confirm(const std::string&) override { return true; }
};

// The Error for a job that stopped at a check: the check's message after the
// path it concerns, as the command line puts it.
Error StopError(const JobResult& result) {
  const std::string said = CheckMessage(result.check);
  switch (result.check) {
    case JobCheck::SameFile:
      return Error(ErrorCode::InvalidArgument, result.path + ": " + said, 0, result.path);
    case JobCheck::InputMissing:
      return Error(ErrorCode::InputMissing, result.path + ": " + said, result.systemError,
                   result.path);
    case JobCheck::InputEmpty:
      return Error(ErrorCode::InputEmpty, result.path + ": " + said, 0, result.path);
    case JobCheck::None:
    case JobCheck::NoInput:
    case JobCheck::NoOutput:
    case JobCheck::OverwriteDeclined:
      break;
  }
  return Error(ErrorCode::InvalidArgument, said);
}

// Thrown by the engine's yield once the caller's stop flag is set.
struct StopAsked {};

Error Interrupted() { return Error(ErrorCode::Interrupted, "Interrupted"); }

// A yield that ends the conversion once `stop` is set; none without a flag,
// so that the engine keeps the paths it takes when nothing can come between
// its steps.
std::function<void()> StopCheck(const std::atomic<bool>* stop) {
  if (stop == nullptr) return {};
  return [stop] {
    if (stop->load(std::memory_order_relaxed)) throw StopAsked{};
  };
}

// A path the system would cut at its first NUL byte names another file.
void CheckPath(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    throw Error(ErrorCode::InvalidArgument, "A path holds a NUL byte", 0, path);
  }
}

// The real files; with `lf`, each CR LF written becomes LF. Once `stop` is set, an output
// being written is given up before its next piece and before its end, which
// would put it in place.
class WatchedFiles final : public FileSystem {
 public:
  WatchedFiles(bool lf, const std::atomic<bool>* stop) : lf_(lf), stop_(stop) {}

  FileKind kind(const std::string& path) override { return files_.kind(path); }
  int size(const std::string& path, std::uint64_t& bytes) override {
    return files_.size(path, bytes);
  }
  int read(const std::string& path, const ByteSink& use) override { return files_.read(path, use); }
  int replace(const std::string& path, const ByteSource& next) override {
    ByteSource source = lf_ ? WithLfLineBreaks(next) : next;
    if (stop_ != nullptr) {
      source = [source = std::move(source), stop = stop_] {
        if (stop->load(std::memory_order_relaxed)) throw StopAsked{};
        return source();
      };
    }
    return files_.replace(path, source);
  }
  bool identify(const std::string& path, bool asOutput, FileIdentity& id) override {
    return files_.identify(path, asOutput, id);
  }

 private:
  PosixFileSystem files_;
  bool lf_;
  const std::atomic<bool>* stop_;
};

// The Error for a failed job: a file operation, memory or the engine.
Error FailError(const JobResult& result) {
  switch (result.failure) {
    case JobFailure::File:
      return Error(ErrorCode::FileError, result.path + ": " + ErrnoText(result.systemError),
                   result.systemError, result.path);
    case JobFailure::OutOfMemory:
      return Error(ErrorCode::OutOfMemory, JobMessage(result));
    case JobFailure::None:
    case JobFailure::Engine:
      break;
  }
  return Error(ErrorCode::ConversionFailed, JobMessage(result));
}

}  // namespace

const std::array<std::string_view, 11>& Options::names() noexcept {
  static const std::array<std::string_view, 11> names = [] {
    std::array<std::string_view, 11> list;
    for (std::size_t i = 0; i < kOptions.size(); ++i) list[i] = kOptions[i].name;
    return list;
  }();
  return names;
}

bool Options::set(std::string_view name, bool on) noexcept {
  const std::span<const OptionInfo> named = OptionsNamed(name);
  for (const OptionInfo& option : named) Field(*this, option.key) = on;
  return !named.empty();
}

bool Options::get(std::string_view name) const {
  const std::span<const OptionInfo> named = OptionsNamed(name);
  if (named.size() != 1) throw std::invalid_argument("unknown option: " + std::string(name));
  return Field(*this, named.front().key);
}

Error::Error(ErrorCode code, const std::string& message, int systemError, std::string path)
    : std::runtime_error(message), code_(code), systemError_(systemError), path_(std::move(path)) {}

Error::~Error() = default;

namespace {

std::string ConvertStoppable(std::string_view html, const Options& options,
                             TextDecoder::Declarations declarations,
                             const std::atomic<bool>* stop) {
  try {
    cSievetext engine;
    CopyOptions(Values(options), engine);
    FailureRecorder failure;
    engine.reporter = &failure;
    engine.yield = StopCheck(stop);
    std::string text = options.layout ? ConvertBytesLaidOut(engine, html, declarations)
                                      : ConvertBytes(engine, html, declarations);
    if (stop != nullptr && stop->load()) throw Interrupted();
    if (failure.failed) {
      throw Error(failure.outOfMemory ? ErrorCode::OutOfMemory : ErrorCode::ConversionFailed,
                  failure.message);
    }
    if (options.lineBreaks == LineBreaks::Lf) UseLfLineBreaks(text);
    return text;
  } catch (const std::bad_alloc&) {
    throw OutOfMemory();
  } catch (const std::length_error&) {
    throw OutOfMemory();
  }
}

void ConvertFileStoppable(const std::string& input, const std::string& output,
                          const Options& options, const std::atomic<bool>* stop) {
  CheckPath(input);
  CheckPath(output);
  try {
    cSievetext engine;
    engine.yield = StopCheck(stop);
    const OptionValues values = Values(options);
    WatchedFiles files(options.lineBreaks == LineBreaks::Lf, stop);
    YesPrompter prompter;
    JobContext ctx{engine, values, files, prompter};
    const JobResult result = RunJob({input, output, options.layout}, ctx);
    // The engine reports a throwing yield as its own failure.
    if (stop != nullptr && stop->load() && result.outcome != JobOutcome::Written) {
      throw Interrupted();
    }
    switch (result.outcome) {
      case JobOutcome::Written:
        return;
      case JobOutcome::Stopped:
        throw StopError(result);
      case JobOutcome::Failed:
        throw FailError(result);
    }
  } catch (const StopAsked&) {
    throw Interrupted();
  } catch (const std::bad_alloc&) {
    throw OutOfMemory();
  } catch (const std::length_error&) {
    throw OutOfMemory();
  }
}

}  // namespace

std::string convert(std::string_view html, const Options& options) {
  return ConvertStoppable(html, options, TextDecoder::Declarations::Follow, nullptr);
}

std::string convert(std::string_view html, const Options& options, const std::atomic<bool>& stop) {
  return ConvertStoppable(html, options, TextDecoder::Declarations::Follow, &stop);
}

std::string convertText(std::string_view utf8, const Options& options) {
  return ConvertStoppable(utf8, options, TextDecoder::Declarations::Ignore, nullptr);
}

std::string convertText(std::string_view utf8, const Options& options,
                        const std::atomic<bool>& stop) {
  return ConvertStoppable(utf8, options, TextDecoder::Declarations::Ignore, &stop);
}

void convertFile(const std::string& input, const std::string& output, const Options& options) {
  ConvertFileStoppable(input, output, options, nullptr);
}

void convertFile(const std::string& input, const std::string& output, const Options& options,
                 const std::atomic<bool>& stop) {
  ConvertFileStoppable(input, output, options, &stop);
}

const char* version() noexcept { return SIEVETEXT_LIBRARY_VERSION; }

#if defined(SIEVETEXT_SHARED_LIBRARY)
namespace {

// Options as programs built against 1.0 pass them: the fields before
// `layout`. Only these bytes of theirs may be read.
constexpr std::size_t kOptionsBytes10 = offsetof(Options, layout);
static_assert(offsetof(Options, lineBreaks) + sizeof(LineBreaks) == kOptionsBytes10,
              "1.1 only added `layout` at the end");

Options From10(const void* options) {
  Options copy;
  std::memcpy(static_cast<void*>(&copy), options, kOptionsBytes10);
  copy.layout = false;
  return copy;
}

}  // namespace
#endif

}  // namespace v1
}  // namespace sievetext

#if defined(SIEVETEXT_SHARED_LIBRARY)
// The 1.0 entry points, for programs built against 1.0: bound to the
// version SIEVETEXT_1 under the 1.0 names (see sievetext.map).
extern "C" SIEVETEXT_API std::string* sievetext_convert_1_0(std::string* result,
                                                            std::string_view html,
                                                            const void* options);
extern "C" SIEVETEXT_API void sievetext_convertFile_1_0(const std::string& input,
                                                        const std::string& output,
                                                        const void* options);

// A function returning std::string by value takes a hidden pointer to the
// result first and gives it back; sievetext_convert_1_0 takes it as its first
// argument and returns it, which is the same call.
__asm__(
    ".symver sievetext_convert_1_0,"
    "_ZN9sievetext2v17convertB5cxx11ESt17basic_string_viewIcSt11char_traitsIcEERKNS0_7OptionsE"
    "@SIEVETEXT_1");
__asm__(
    ".symver sievetext_convertFile_1_0,"
    "_ZN9sievetext2v111convertFileERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES8_RKNS0_"
    "7OptionsE@SIEVETEXT_1");

std::string* sievetext_convert_1_0(std::string* result, std::string_view html,
                                   const void* options) {
  return new (result) std::string(sievetext::convert(html, sievetext::From10(options)));
}

void sievetext_convertFile_1_0(const std::string& input, const std::string& output,
                               const void* options) {
  sievetext::convertFile(input, output, sievetext::From10(options));
}
#endif  // SIEVETEXT_SHARED_LIBRARY
