#include "system_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <string>

namespace {

constexpr int heldSignals[] = {SIGPIPE, SIGXFSZ};

/// The held signals pending for the calling thread alone, as the kernel shows them (SigPnd); a
/// process-directed copy is shown apart (ShdPnd), and sigpending() tells only the union. False when
/// the kernel's view cannot be read.
bool readThreadPendingSignals(sigset_t* pending) {
  const int descriptor =
      retried([] { return open("/proc/thread-self/status", O_RDONLY | O_CLOEXEC); });
  if (descriptor < 0) {
    return false;
  }
  // A page holds it unless the thread is in a great many groups; then it grows.
  std::string status(4096, '\0');
  std::size_t size = 0;
  const auto readMore = [&] {
    return read(descriptor, status.data() + size, status.size() - size);
  };
  for (ssize_t got; (got = retried(readMore)) > 0;) {
    size += static_cast<std::size_t>(got);
    status.resize(2 * size);
  }
  status.resize(size);
  close(descriptor);
  constexpr std::string_view field = "\nSigPnd:\t";
  const std::size_t at = status.find(field);
  std::uint64_t bits = 0;
  if (at == std::string::npos ||
      std::from_chars(status.data() + at + field.size(), status.data() + status.size(), bits, 16)
              .ec != std::errc()) {
    return false;
  }
  sigemptyset(pending);
  for (const int signal : heldSignals) {
    if ((bits >> (signal - 1)) & 1) {
      sigaddset(pending, signal);
    }
  }
  return true;
}

}  // namespace

HeldWriteSignals::HeldWriteSignals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : heldSignals) {
    sigaddset(&held, signal);
  }
  sigprocmask(SIG_BLOCK, &held, &callersMask_);
  sigset_t pending{};
  sigpending(&pending);
  // Only when a signal is already pending is the kernel's view of which copy it is needed; where
  // that view cannot be read, a pending signal counts as the thread's, and none of it is taken
  // back.
  if (sigisemptyset(&pending) == 0 && !readThreadPendingSignals(&threadPendingBefore_)) {
    threadPendingBefore_ = pending;
  }
}

ssize_t HeldWriteSignals::write(int descriptor, std::string_view text) {
  const ssize_t written = retried([&] { return ::write(descriptor, text.data(), text.size()); });
  if (written < 0 && (errno == EPIPE || errno == EFBIG)) {
    sigaddset(&mayHaveRaised_, errno == EPIPE ? SIGPIPE : SIGXFSZ);
  }
  return written;
}

HeldWriteSignals::~HeldWriteSignals() {
  // A write raises its signal for the thread. If the thread had a copy already, the kernel merged
  // the two and there is nothing to take back. Otherwise the thread's copy is taken back, and
  // sigtimedwait takes the thread's copy before the process's, which stays.
  sigset_t pending;
  sigpending(&pending);
  sigset_t threadPendingNow = pending;
  bool threadViewRead = false;
  const timespec noWait{};
  for (const int signal : heldSignals) {
    if (sigismember(&mayHaveRaised_, signal) != 1 ||
        sigismember(&threadPendingBefore_, signal) == 1 || sigismember(&pending, signal) != 1) {
      continue;
    }
    if (!threadViewRead) {
      // Where the kernel's view cannot be read, the union stands in for it, as before.
      readThreadPendingSignals(&threadPendingNow);
      threadViewRead = true;
    }
    if (sigismember(&threadPendingNow, signal) == 1) {
      sigset_t raised{};
      sigaddset(&raised, signal);
      sigtimedwait(&raised, nullptr, &noWait);
    }
  }
  sigprocmask(SIG_SETMASK, &callersMask_, nullptr);
}

void writeDiagnostic(int descriptor, std::string_view text) {
  if (text.empty()) {  // an untraced failure flushes no trace, and needs no signal changes for it
    return;
  }
  HeldWriteSignals held;
  while (!text.empty()) {
    const ssize_t written = held.write(descriptor, text);
    if (written <= 0) {
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}
