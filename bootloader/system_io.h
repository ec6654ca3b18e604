// The system calls the launcher makes the way it makes them: tried again when interrupted, and
// writes that raise no signal. This header includes nothing of the launcher's own: every other part
// may use it.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <string_view>

/// `call()`, a system call that returns a negative value on failure, called again for as long as
/// it fails with EINTR. The launcher installs no signal handler, yet FUSE and network file systems
/// mounted with "intr" return EINTR from opens, reads, writes and stats: that is no reason to stop.
template <typename Call>
auto retried(Call call) {
  for (;;) {
    const auto result = call();
    if (!(result < 0 && errno == EINTR)) {
      return result;
    }
  }
}

/// While one lives, a write to a pipe nobody reads, or past the file-size limit, fails with an
/// error instead of ending the launcher, and leaves no signal behind for the simulator: SIGPIPE and
/// SIGXFSZ are blocked, and the copy that one of its own writes raised is taken back before the
/// caller's mask returns. Dispositions are not touched, and every other pending copy stays: one the
/// caller left pending, for the process or for its thread, and one another process sends meanwhile.
/// The simulator inherits exactly the signal state the launcher was given.
class HeldWriteSignals {
 public:
  HeldWriteSignals();
  ~HeldWriteSignals();
  HeldWriteSignals(const HeldWriteSignals&) = delete;
  HeldWriteSignals& operator=(const HeldWriteSignals&) = delete;

  /// write(2), tried again when interrupted, remembering which held signal a failure raised (EPIPE
  /// raises SIGPIPE, EFBIG may raise SIGXFSZ), so that only such a copy is taken back.
  ssize_t write(int descriptor, std::string_view text);

 private:
  // Zero-filled, an empty set, as sigemptyset() leaves it on Linux.
  sigset_t callersMask_{};
  sigset_t threadPendingBefore_{};  // the held signals pending for the launcher's own thread
  sigset_t mayHaveRaised_{};
};

/// Writes all of `text` to `descriptor` (a message, the trace). Whoever reads it may have gone: the
/// launcher still ends with its own status, and the simulator gets no signal this write raised.
void writeDiagnostic(int descriptor, std::string_view text);
