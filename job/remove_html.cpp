#include "remove_html.h"

#include <cassert>
#include <new>
#include <utility>

#include "error_reporter.h"
#include "option_transfer.h"
#include "text_codec.h"

namespace sievetext {
namespace {

constexpr const char* kProcedure = "RemoveHTML";

// Passes the engine's failures on to the user and remembers that one
// happened; restores the engine's previous reporter when done.
class EngineReporter final : public ConversionReporter {
 public:
  EngineReporter(cSievetext& engine, Prompter& prompter)
      : engine_(engine), prompter_(prompter), previous_(engine.reporter) {
    engine_.reporter = this;
  }
  ~EngineReporter() override { engine_.reporter = previous_; }

  void report(std::string_view procedure, long number, std::string_view description) override {
    failed_ = true;
    ReportError(prompter_, procedure, number, description);
  }
  bool failed() const { return failed_; }

 private:
  cSievetext& engine_;
  Prompter& prompter_;
  ConversionReporter* previous_;
  bool failed_ = false;
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

  // Decoded piece by piece as it is read: the file's bytes are never held
  // whole next to its text.
  TextDecoder decoder(length);
  const int readError = ctx.files.read(input, [&decoder](std::string_view piece, bool last) {
    return decoder.feed(piece, last);
  });
  if (readError) return FileError(prompter, readError);
  std::u16string text = decoder.take();

  std::u16string converted;
  {
    EngineReporter reporter(engine, prompter);
    converted = engine.ExtractText(text);
    if (reporter.failed()) return JobOutcome::Failed;
  }
  std::u16string().swap(text);  // the engine's cut copy is no longer needed

  // A long text is written with yields in between, so that the window stays
  // responsive and can be closed; the old output stays until the last piece.
  TextEncoder encoder(converted);
  std::uint64_t sinceYield = 0;
  const auto source = [&encoder, &engine, &sinceYield] {
    const std::string_view piece = encoder.next();
    if (sinceYield + piece.size() > kYieldEveryBytes) {
      if (engine.yield) engine.yield();
      sinceYield = 0;
    }
    sinceYield += piece.size();
    return piece;
  };
  if (const int error = ctx.files.replace(output, source)) {
    return FileError(prompter, error);
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
    ReportError(ctx.prompter, kProcedure, kOutOfMemory, kOutOfMemoryText);
  } catch (const std::length_error&) {
    // A text too long for the library to hold: memory by another name.
    ReportError(ctx.prompter, kProcedure, kOutOfMemory, kOutOfMemoryText);
  }
  return JobOutcome::Failed;
}

}  // namespace sievetext
