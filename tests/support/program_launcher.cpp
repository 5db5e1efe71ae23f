#include "tests/support/program_launcher.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace sievetext::testing {

namespace {

// Appends what `fd` gives until its end, or until `limit` bytes when not 0;
// closes it.
void Drain(int fd, std::string& text, std::size_t limit) {
  char buffer[4096];
  ssize_t n;
  while ((limit == 0 || text.size() < limit) && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
}

// The test's environment with `changes` made, as "NAME=value" strings.
std::vector<std::string> EnvironmentFor(const Launch& launch) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool changed = false;
    for (const auto& change : launch.environment) changed = changed || change.first == name;
    if (!changed) entries.push_back(text);
  }
  for (const auto& [name, value] : launch.environment) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Pipes are closed on exec, so that a run started meanwhile holds no end of
// another run's pipe.
void OpenPipe(int ends[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
}

// In the child, between fork and exec: system calls only.
[[noreturn]] void Become(const Launch& launch, int in, int out, int err, char* const* argv,
                         char* const* envp) {
  for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);

  const auto redirect = [](int fd, const std::string& file, int flags, int target) {
    if (fd < 0) fd = ::open(file.c_str(), flags, 0644);
    if (fd < 0 || ::dup2(fd, target) < 0) ::_exit(122);
  };
  redirect(in, launch.inputFile, O_RDONLY, 0);
  redirect(out, launch.outputFile, O_WRONLY | O_CREAT | O_TRUNC, 1);
  redirect(err, launch.errorFile, O_WRONLY | O_CREAT | O_TRUNC, 2);

  if (!launch.workingFolder.empty() && ::chdir(launch.workingFolder.c_str()) != 0) ::_exit(120);
  const auto limit = [](int resource, rlim_t bytes) {
    rlimit value{};
    ::getrlimit(resource, &value);
    value.rlim_cur = bytes;
    ::setrlimit(resource, &value);
  };
  if (launch.fileSizeLimit != 0) limit(RLIMIT_FSIZE, launch.fileSizeLimit);
  if (launch.addressLimit != 0) limit(RLIMIT_AS, launch.addressLimit);
  if (launch.user && (::setgroups(0, nullptr) != 0 || ::setgid(launch.user->second) != 0 ||
                      ::setuid(launch.user->first) != 0)) {
    ::_exit(121);
  }
  ::execve(launch.program.c_str(), argv, envp);
  ::_exit(127);
}

}  // namespace

struct RunningProgram::State {
  pid_t pid = -1;
  std::chrono::steady_clock::time_point deadline;
  Outcome outcome;
  std::thread feeder, output, errors;
  bool finished = false;
};

RunningProgram::RunningProgram(const Launch& launch) : state_(std::make_unique<State>()) {
  // Everything the child needs is made before the fork.
  std::vector<std::string> arguments{launch.program};
  arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<std::string> environment = EnvironmentFor(launch);
  const std::vector<char*> argv = Pointers(arguments);
  const std::vector<char*> envp = Pointers(environment);

  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (launch.input) {
    // A program may stop reading early; its pipe then fails the write here
    // instead of ending the test.
    ::signal(SIGPIPE, SIG_IGN);
    OpenPipe(in);
  }
  if (launch.outputFile.empty()) OpenPipe(out);
  if (launch.errorFile.empty()) OpenPipe(err);

  state_->deadline = std::chrono::steady_clock::now() + launch.deadline;
  state_->pid = ::fork();
  if (state_->pid < 0) throw std::runtime_error("cannot start " + launch.program);
  if (state_->pid == 0) Become(launch, in[0], out[1], err[1], argv.data(), envp.data());

  for (const int end : {in[0], out[1], err[1]}) {
    if (end >= 0) ::close(end);
  }
  if (launch.input) {
    state_->feeder = std::thread([fd = in[1], bytes = *launch.input] {
      for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  Outcome& outcome = state_->outcome;
  if (out[0] >= 0) {
    state_->output = std::thread([fd = out[0], &outcome, limit = launch.closeOutputAfter] {
      Drain(fd, outcome.out, limit);
    });
  }
  if (err[0] >= 0) {
    state_->errors = std::thread([fd = err[0], &outcome] { Drain(fd, outcome.err, 0); });
  }
}

RunningProgram::RunningProgram(RunningProgram&&) noexcept = default;
RunningProgram& RunningProgram::operator=(RunningProgram&&) noexcept = default;

RunningProgram::~RunningProgram() {
  if (state_ && !state_->finished) finish();
}

pid_t RunningProgram::pid() const { return state_->pid; }

Outcome RunningProgram::finish() {
  State& state = *state_;
  state.finished = true;
  int wstatus = 0;
  rusage usage{};
  // Never hang the suite: a program that blocks (on a FIFO, say) is killed.
  pid_t ended;
  while ((ended = ::wait4(state.pid, &wstatus, WNOHANG, &usage)) == 0) {
    if (std::chrono::steady_clock::now() > state.deadline) {
      ::kill(state.pid, SIGKILL);
      ::wait4(state.pid, &wstatus, 0, &usage);
      ADD_FAILURE() << "the program did not finish";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (ended < 0) ADD_FAILURE() << "cannot wait for the program: " << std::strerror(errno);
  for (std::thread* thread : {&state.feeder, &state.output, &state.errors}) {
    if (thread->joinable()) thread->join();
  }
  Outcome& outcome = state.outcome;
  if (ended < 0) return std::move(outcome);
  outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  outcome.peakBytes = static_cast<std::size_t>(usage.ru_maxrss) * 1024;
  return std::move(outcome);
}

}  // namespace sievetext::testing
