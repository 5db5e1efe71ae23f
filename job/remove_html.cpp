#include "job/remove_html.h"

#include <cerrno>
#include <new>
#include <stdexcept>
#include <utility>

#include "engine/conversion_reporter.h"
#include "job/convert.h"
#include "job/engine_hooks.h"
#include "job/layout_convert.h"
#include "platform/diagnostics.h"
#include "settings/option_transfer.h"

namespace sievetext {
namespace {

constexpr const char* kProcedure = "RemoveHTML";

// Keeps the engine's first failure.
class FailureRecorder final : public ConversionReporter {
 public:
  void report(std::string_view procedure, long number, std::string_view description) override {
    if (failed) return;
    failed = true;
    this->procedure = procedure;
    this->number = number;
    this->description = description;
  }
  bool failed = false;
  std::string procedure;
  long number = 0;
  std::string description;
};

// The host's files, noting when the job has got as far as writing (so that
// a failure can be put down to the right file) and the first operation that
// failed.
class TrackedFiles final : public FileSystem {
 public:
  explicit TrackedFiles(FileSystem& files) : files_(files) {}

  FileKind kind(const std::string& path) override { return files_.kind(path); }
  int size(const std::string& path, std::uint64_t& bytes) override {
    return note(files_.size(path, bytes), path);
  }
  int read(const std::string& path, const ByteSink& use) override {
    return note(files_.read(path, use), path);
  }
  int replace(const std::string& path, const ByteSource& next) override {
    writing = true;
    return note(files_.replace(path, next), path);
  }
  bool identify(const std::string& path, bool asOutput, FileIdentity& id) override {
    return files_.identify(path, asOutput, id);
  }

  bool writing = false;
  int error = 0;
  std::string errorPath;

 private:
  int note(int result, const std::string& path) {
    if (result != 0 && error == 0) {
      error = result;
      errorPath = path;
    }
    return result;
  }
  FileSystem& files_;
};

JobResult Stop(JobCheck check, JobFile file, const std::string& path) {
  JobResult result;
  result.outcome = JobOutcome::Stopped;
  result.check = check;
  result.file = file;
  result.path = path;
  if (check == JobCheck::InputMissing) result.systemError = ENOENT;
  return result;
}

// A failure, put down to the output once writing has begun.
JobResult Fail(JobFailure failure, const JobRequest& request, const TrackedFiles& files) {
  JobResult result;
  result.outcome = JobOutcome::Failed;
  result.failure = failure;
  result.file = files.writing ? JobFile::Output : JobFile::Input;
  result.path = files.writing ? request.output : request.input;
  result.procedure = kProcedure;
  return result;
}

JobResult FileFailure(int error, const JobRequest& request, const TrackedFiles& files) {
  JobResult result = Fail(JobFailure::File, request, files);
  result.systemError = error;
  if (files.error != 0) result.path = files.errorPath;
  result.errorNumber = error;
  result.description = ErrnoText(error);
  return result;
}

JobResult MemoryFailure(const JobRequest& request, const TrackedFiles& files) {
  JobResult result = Fail(JobFailure::OutOfMemory, request, files);
  result.errorNumber = kErrorOutOfMemory;
  result.description = kErrorOutOfMemoryText;
  return result;
}

JobResult Run(const JobRequest& request, JobContext& ctx, TrackedFiles& files) {
  const std::string& input = request.input;
  const std::string& output = request.output;

  if (input.empty()) return Stop(JobCheck::NoInput, JobFile::None, {});
  if (output.empty()) return Stop(JobCheck::NoOutput, JobFile::None, {});
  if (!NormalFileExists(files, input)) return Stop(JobCheck::InputMissing, JobFile::Input, input);
  // Replacing the page by its own text would lose it: the same file under
  // any name (a link, a hard link, /dev/stdout redirected to it) is refused.
  FileIdentity read, written;
  if (files.identify(input, false, read) && read.regular && files.identify(output, true, written) &&
      read == written) {
    return Stop(JobCheck::SameFile, JobFile::Output, output);
  }
  // Any existing file, hidden ones included, is only replaced when confirmed.
  if (files.kind(output) == FileKind::Regular && !ctx.prompter.confirm(kOverwriteQuestion)) {
    return Stop(JobCheck::OverwriteDeclined, JobFile::Output, output);
  }

  cSievetext& engine = ctx.engine;
  CopyOptions(ctx.options, engine);

  std::uint64_t length = 0;
  if (const int error = files.size(input, length)) return FileFailure(error, request, files);
  if (length == 0) return Stop(JobCheck::InputEmpty, JobFile::Input, input);

  ConvertResult converted;
  FailureRecorder failure;
  {
    EngineHooks hooks(engine, {}, &failure);
    converted = request.layout ? ConvertFileLaidOut(engine, files, input, length, output)
                               : ConvertFile(engine, files, input, length, output);
  }
  switch (converted.status) {
    case ConvertStatus::Written:
      return {};
    case ConvertStatus::EngineFailed: {
      JobResult result =
          Fail(failure.number == kErrorOutOfMemory ? JobFailure::OutOfMemory : JobFailure::Engine,
               request, files);
      result.procedure = std::move(failure.procedure);
      result.errorNumber = failure.number;
      result.description = std::move(failure.description);
      return result;
    }
    case ConvertStatus::ReadFailed:
    case ConvertStatus::WriteFailed:
      break;
  }
  return FileFailure(converted.error, request, files);
}

}  // namespace

bool NormalFileExists(FileSystem& files, const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart >= path.size() || path[nameStart] == '.') return false;
  return files.kind(path) == FileKind::Regular;
}

JobResult RunJob(const JobRequest& request, JobContext& ctx) {
  TrackedFiles files(ctx.files);
  try {
    return Run(request, ctx, files);
  } catch (const std::bad_alloc&) {
    return MemoryFailure(request, files);
  } catch (const std::length_error&) {
    // A text too long for the library to hold: memory by another name.
    return MemoryFailure(request, files);
  }
}

JobResult RemoveHTML(const JobRequest& request, JobContext& ctx) {
  JobResult result = RunJob(request, ctx);
  const std::string message = JobMessage(result);
  if (!message.empty()) ctx.prompter.say(message);
  return result;
}

}  // namespace sievetext
