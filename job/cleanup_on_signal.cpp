#include "job/cleanup_on_signal.h"

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
char g_paths[kSlots][PATH_MAX];

constexpr int kCleanupSignals[] = {SIGHUP, SIGINT,  SIGQUIT, SIGTERM,
                                   SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2};

sigset_t CleanupSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

extern "C" void OnTerminatingSignal(int signal) {
  const int savedErrno = errno;
  RemoveLiveTemporaries();
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

LiveTemporary::LiveTemporary(const std::string& path) noexcept {
  if (path.size() >= PATH_MAX) return;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_states[i].compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
      continue;
    }
    std::memcpy(g_paths[i], path.c_str(), path.size() + 1);
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
    ::unlink(g_paths[i]);
    g_states[i].store(kRemoved, std::memory_order_release);
  }
}

int LiveTemporaryCount() noexcept {
  int count = 0;
  for (const std::atomic<int>& state : g_states) count += state.load(std::memory_order_acquire) == kLive;
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

CleanupSignalsHeld::CleanupSignalsHeld() noexcept {
  const sigset_t set = CleanupSignalSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

CleanupSignalsHeld::~CleanupSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace sievetext
