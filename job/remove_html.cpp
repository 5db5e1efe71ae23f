#include "job/remove_html.h"

#include <cassert>
#include <new>
#include <utility>

#include "job/convert.h"
#include "job/engine_hooks.h"
#include "job/error_reporter.h"
#include "job/layout_convert.h"
#include "settings/option_transfer.h"

namespace sievetext {
namespace {

constexpr const char* kProcedure = "RemoveHTML";

// Passes the engine's failures on to the user.
class PromptingReporter final : public ConversionReporter {
 public:
  explicit PromptingReporter(Prompter& prompter) : prompter_(prompter) {}

  void report(std::string_view procedure, long number, std::string_view description) override {
    ReportError(prompter_, procedure, number, description);
  }

 private:
  Prompter& prompter_;
};

JobOutcome FileError(Prompter& prompter, int error) {
  ReportError(prompter, kProcedure, error, ErrnoText(error));
  return JobOutcome::Failed;
}

JobOutcome Run(JobContext& ctx) {
  // Copies: a yield inside the engine may let the window choose other files.
  const std::string input = ctx.state.sInputFile;
  const std::string output = ctx.state.sOutputFile;
  Prompter& prompter = ctx.prompter;

  if (input.empty()) {
    prompter.say(kNoInputMessage);
    return JobOutcome::Stopped;
  }
  if (output.empty()) {
    prompter.say(kNoOutputMessage);
    return JobOutcome::Stopped;
  }
  if (!NormalFileExists(ctx.files, input)) {
    prompter.say(kInputMissingMessage);
    return JobOutcome::Stopped;
  }
  // Replacing the page by its own text would lose it: the same file under
  // any name (a link, a hard link, /dev/stdout redirected to it) is refused.
  FileIdentity read, written;
  if (ctx.files.identify(input, false, read) && read.regular &&
      ctx.files.identify(output, true, written) && read == written) {
    prompter.say(kSameFileMessage);
    return JobOutcome::Stopped;
  }
  // Any existing file, hidden ones included, is only replaced when confirmed.
  if (ctx.files.kind(output) == FileKind::Regular && !prompter.confirm(kOverwriteQuestion)) {
    return JobOutcome::Stopped;
  }

  assert(ctx.state.oRemover != nullptr);
  cSievetext& engine = *ctx.state.oRemover;
  CopyOptions(ctx.boxes, engine);

  std::uint64_t length = 0;
  if (const int error = ctx.files.size(input, length)) return FileError(prompter, error);
  if (length == 0) {
    prompter.say(kInputEmptyMessage);
    return JobOutcome::Stopped;
  }

  ConvertResult result;
  {
    PromptingReporter reporter(prompter);
    EngineHooks hooks(engine, {}, &reporter);
    result = ctx.state.layout ? ConvertFileLaidOut(engine, ctx.files, input, length, output)
                              : ConvertFile(engine, ctx.files, input, length, output);
  }
  switch (result.status) {
    case ConvertStatus::Written:
      break;
    case ConvertStatus::EngineFailed:
      return JobOutcome::Failed;
    case ConvertStatus::ReadFailed:
    case ConvertStatus::WriteFailed:
      return FileError(prompter, result.error);
  }
  prompter.say(kDoneMessage);
  return JobOutcome::Written;
}

}  // namespace

int ExitStatus(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Written:
      return 0;
    case JobOutcome::Stopped:
      return 1;
    case JobOutcome::Failed:
      break;
  }
  return 2;
}

bool NormalFileExists(FileSystem& files, const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart >= path.size() || path[nameStart] == '.') return false;
  return files.kind(path) == FileKind::Regular;
}

JobOutcome RemoveHTML(JobContext& ctx) {
  try {
    return Run(ctx);
  } catch (const std::bad_alloc&) {
    ReportError(ctx.prompter, kProcedure, kErrorOutOfMemory, kErrorOutOfMemoryText);
  } catch (const std::length_error&) {
    // A text too long for the library to hold: memory by another name.
    ReportError(ctx.prompter, kProcedure, kErrorOutOfMemory, kErrorOutOfMemoryText);
  }
  return JobOutcome::Failed;
}

}  // namespace sievetext
