#include "platform/cleanup_on_signal.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace sievetext {
namespace {

// A slot goes Free -> Filling -> Live, and back to Free when its writer is
// done with it. Removal takes a Live slot to Removing while it unlinks and to
// Removed after; the writer then frees it. Only the thread that won the
// Free -> Filling step writes the path, and only a Live slot's path is read.
enum SlotState : int { kFree, kFilling, kLive, kRemoving, kRemoved };

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

// As many as the most threads a batch may write with. The states are kept
// apart from the paths, so that looking through them touches one page, and
// the paths of slots never used are never touched at all.
constexpr int kSlots = 256;
std::atomic<int> g_states[kSlots];
int g_folders[kSlots];
char g_names[kSlots][NAME_MAX + 1];

// Threads between the start of creating a temporary and its registration,
// and whether the process is ending (no more temporaries then).
std::atomic<int> g_creating{0};
std::atomic<bool> g_ending{false};

constexpr int kCleanupSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,
                                   SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2};

sigset_t CleanupSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

extern "C" void OnTerminatingSignal(int signal) {
  const int savedErrno = errno;
  EndLiveTemporaries();
  // The default action ends the process once this handler returns and the
  // signal, pending meanwhile, is unblocked.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  ::raise(signal);
  errno = savedErrno;
}

}  // namespace

LiveTemporary::LiveTemporary(int folder, const std::string& name) noexcept {
  if (name.size() > NAME_MAX) return;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_states[i].compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
      continue;
    }
    g_folders[i] = folder;
    std::memcpy(g_names[i], name.c_str(), name.size() + 1);
    g_states[i].store(kLive, std::memory_order_release);
    slot_ = i;
    return;
  }
}

LiveTemporary::~LiveTemporary() {
  if (slot_ < 0) return;
  std::atomic<int>& state = g_states[slot_];
  int expected = kLive;
  if (state.compare_exchange_strong(expected, kFree, std::memory_order_acq_rel)) return;
  // Being removed by another thread's handler, which ends the process right
  // after; or removed already.
  while (state.load(std::memory_order_acquire) == kRemoving) {
  }
  state.store(kFree, std::memory_order_release);
}

void RemoveLiveTemporaries() noexcept {
  for (int i = 0; i < kSlots; ++i) {
    int expected = kLive;
    if (!g_states[i].compare_exchange_strong(expected, kRemoving, std::memory_order_acq_rel)) {
      continue;
    }
    ::unlinkat(g_folders[i], g_names[i], 0);
    g_states[i].store(kRemoved, std::memory_order_release);
  }
}

void EndLiveTemporaries() noexcept {
  g_ending.store(true, std::memory_order_seq_cst);
  // A thread creating a file has these signals blocked, so it is never the
  // one running this handler, and it gets to registering without waiting on
  // anything: this spin ends.
  while (g_creating.load(std::memory_order_seq_cst) > 0) {
  }
  RemoveLiveTemporaries();
}

TemporaryCreation::TemporaryCreation() noexcept {
  const sigset_t set = CleanupSignalSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
  g_creating.fetch_add(1, std::memory_order_seq_cst);
  allowed_ = !g_ending.load(std::memory_order_seq_cst);
}

TemporaryCreation::~TemporaryCreation() {
  g_creating.fetch_sub(1, std::memory_order_seq_cst);
  ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

int LiveTemporaryCount() noexcept {
  int count = 0;
  for (const std::atomic<int>& state : g_states)
    count += state.load(std::memory_order_acquire) == kLive;
  return count;
}

void InstallCleanupOnSignal() {
  struct sigaction action {};
  action.sa_handler = &OnTerminatingSignal;
  // One handler at a time: a second signal waits for the first to finish.
  action.sa_mask = CleanupSignalSet();
  for (const int signal : kCleanupSignals) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
}

}  // namespace sievetext
