#include "run_log.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "standard_error.h"

namespace {

/// How long a launch waits for another one to finish writing the log, for a process holding a
/// lease on it to let go, and for a FIFO log's reader to read: far longer than any launch or reader
/// needs, and short enough that a stuck or stopped process cannot hold up the simulation. Measured
/// on the clock: on a loaded machine each pause between two tries for the lock may take far longer
/// than asked. The monotonic clock's time is 64 bits wide in the i386 launcher too: a launch
/// stopped for a few seconds must not wrap it.
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds longestWait{1};
constexpr timespec lockRetryPause{.tv_sec = 0, .tv_nsec = 1'000'000};

/// Calls `attempt` until it returns true, a millisecond between tries, for about a second by the
/// clock; false when that second runs out first. The clock is read only after a first try fails:
/// a launch that meets no other never reads it.
template <typename Attempt>
bool forAboutASecond(Attempt attempt) {
  Clock::time_point start;
  for (bool waiting = false;; waiting = true) {
    if (attempt()) {
      return true;
    }
    if (!waiting) {
      start = Clock::now();
    } else if (Clock::now() - start >= longestWait) {
      return false;
    }
    nanosleep(&lockRetryPause, nullptr);
  }
}

/// Waits until a FIFO log's reader makes room, for what is left of the reader's second since
/// `start`. False once that has run out with no room made.
bool waitForReader(int descriptor, Clock::time_point start) {
  pollfd writable{.fd = descriptor, .events = POLLOUT, .revents = 0};
  return retried([&] {
           const auto left =
               std::chrono::ceil<std::chrono::milliseconds>(longestWait - (Clock::now() - start));
           return left.count() > 0 ? poll(&writable, 1, static_cast<int>(left.count())) : 0;
         }) > 0;
}

/// What became of the log's bytes.
struct LogWrite {
  std::size_t written = 0;
  int error = 0;               // why the write stopped short
  bool readerStalled = false;  // a FIFO's reader left the rest unread
};

/// Writes all of `content`, ignoring errors: the log only records the run, and a full disk or a
/// file-size limit must not keep the simulation from starting.
LogWrite writeIgnoringErrors(HeldWriteSignals& held, int descriptor, std::string_view content) {
  LogWrite result;
  std::optional<Clock::time_point> waitStart;
  while (result.written < content.size()) {
    const ssize_t got = held.write(descriptor, content.substr(result.written));
    if (got < 0 && errno == EAGAIN) {
      // A FIFO whose reader is slow: it was opened without waiting for a reader, and now that there
      // is one, the rest may wait for it, but only so long.
      if (!waitStart) {
        waitStart = Clock::now();
      }
      if (!waitForReader(descriptor, *waitStart)) {
        result.readerStalled = true;
        break;
      }
      continue;
    }
    if (got <= 0) {
      result.error = got < 0 ? errno : EIO;
      break;
    }
    result.written += static_cast<std::size_t>(got);
  }
  return result;
}

}  // namespace

void scanLogOptions(LaunchSettings& settings) {
  const std::vector<std::string>& arguments = settings.argvF;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "-nolog") {
      settings.nolog = true;
    } else if (argument == "-log" && i + 1 < arguments.size()) {
      settings.logFileName = arguments[++i];
    }
  }
}

std::string formatRunLog(int argc, const char* const* argv) {
  std::string content = "Orsa log file\nRunning: ";
  for (int i = 0; i < argc; ++i) {
    content.append(argv[i]).push_back(' ');
  }
  content.push_back('\n');
  return content;
}

namespace {

/// The run log's message for a file that cannot be opened for writing, with the system's reason.
bool failToOpen(const LaunchSettings& settings, int reason, LaunchError* error) {
  *error = {"ERROR: " + settings.logFileName + " file open failed.",
            visibly("cannot write run log ", settings.logFileName, ": ", strerrordesc_np(reason))};
  return false;
}

/// Says on standard error, after the trace so far, that the log could not be emptied and what it
/// holds now: the launch goes on, since the log only records the run.
void reportFailedCut(LaunchSettings& settings, int reason, std::string_view holding) {
  flushTrace(settings);
  writeErrorLine(settings, visibly("cannot empty run log ", settings.logFileName, ": ",
                                   strerrordesc_np(reason), "; it holds ", holding));
}

/// Whether `descriptor` is open on a regular file; keeps errno as it was.
bool isRegularFile(int descriptor) {
  const int reason = errno;
  struct stat status;
  const bool regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
  errno = reason;
  return regular;
}

/// Whether the log holds this run's whole log after `written`: all of it written, and, without a
/// lock to keep other launches out, no other launch's bytes beside it.
bool holdsWholeLog(int descriptor, const LogWrite& written, std::size_t size, bool locked) {
  struct stat status;
  return written.written == size &&
         (locked || (fstat(descriptor, &status) == 0 && std::size_t(status.st_size) == size));
}

/// The least page the kernel copies a file's bytes in: a write of at most this many bytes at the
/// start of a file is copied whole or not at all, even when the launch is killed meanwhile.
constexpr std::size_t smallestPage = 4096;

/// Whether writing `content` under the lock overwrites every byte of the older log, so that it
/// needs no cut: a regular file no longer than `content`, which one uninterruptible write replaces.
/// Emptying such a file first would make its file system free its blocks and allocate them again
/// on every launch, a hundred microseconds and more on a journalling one.
bool overwritesWhole(int descriptor, std::string_view content, bool locked) {
  struct stat status;
  return locked && content.size() <= smallestPage &&
         retried([&] { return fstat(descriptor, &status); }) == 0 && S_ISREG(status.st_mode) &&
         std::size_t(status.st_size) <= content.size();
}

/// Finds the log's options; true, and traced, when "-nolog" leaves the launch without a log.
bool withoutLog(LaunchSettings& settings) {
  scanLogOptions(settings);
  if (settings.nolog) {
    settings.trace("run log: none (-nolog)");
  }
  return settings.nolog;
}

}  // namespace

bool writeRunLog(LaunchSettings& settings, int argc, const char* const* argv, LaunchError* error) {
  if (withoutLog(settings)) {
    return true;
  }
  const std::string& name = settings.logFileName;
  // O_NONBLOCK: a FIFO without a reader fails at once instead of stalling the launch, and a file
  // another process holds a read lease on fails with EWOULDBLOCK while the holder is asked to let
  // go, which gets the same wait as the lock. No O_TRUNC: the log is emptied under its lock only.
  int descriptor = -1;
  if (!forAboutASecond([&] {
        descriptor = retried(
            [&] { return open(name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666); });
        return descriptor >= 0 || errno != EWOULDBLOCK;
      })) {
    settings.trace("run log: ", name,
                   " is leased by a process that did not let go within a "
                   "second; it stays as it was");
    return true;
  }
  if (descriptor < 0) {
    return failToOpen(settings, errno, error);
  }
  // Under the file's lock, which another launch holds while it writes: written then, this log
  // could be cut or mixed with that one's. A holder that does not let go within about a second
  // keeps the log to itself. A file system without locks (ENOLCK) is written without one.
  bool locked = false;
  if (!forAboutASecond([&] {
        locked = retried([&] { return flock(descriptor, LOCK_EX | LOCK_NB); }) == 0;
        return locked || errno != EWOULDBLOCK;
      })) {
    close(descriptor);
    settings.trace("run log: ", name,
                   " is held by another launch for over a second; its log stays");
    return true;
  }
  // Emptied first, then written, unless one write replaces every byte: killed or failing at any
  // moment, the log is the older one whole, an empty file, or this run's whole. A FIFO or a device
  // has no length to cut (EINVAL); a file system that says EINVAL of a file keeps the older log as
  // any failed cut does.
  const std::string content = formatRunLog(argc, argv);
  const bool isFile = overwritesWhole(descriptor, content, locked) ||
                      retried([&] { return ftruncate(descriptor, 0); }) == 0;
  if (!isFile && (errno != EINVAL || isRegularFile(descriptor))) {
    reportFailedCut(settings, errno, "the older log");
    close(descriptor);
    return true;
  }
  LogWrite written;
  {
    HeldWriteSignals held;
    written = writeIgnoringErrors(held, descriptor, content);
  }
  if (isFile && !holdsWholeLog(descriptor, written, content.size(), locked)) {
    if (retried([&] { return ftruncate(descriptor, 0); }) != 0) {
      reportFailedCut(settings, errno, "part of this run's log");
    } else if (written.written == content.size()) {
      settings.trace("run log: ", name,
                     ": another launch wrote it at once, without a lock; it is "
                     "left empty");
    } else {
      settings.trace("run log: ", name, ": the write failed (", strerrordesc_np(written.error),
                     "); it is left empty");
    }
  } else if (written.readerStalled) {
    settings.trace("run log: ", name,
                   ": its reader stopped reading for over a second; the rest is left unwritten");
  } else {
    settings.trace("run log: ", name);
  }
  close(descriptor);  // and with it the lock
  return true;
}

namespace {

/// The folder a name is looked up in, held open as a path only (O_PATH): the working directory at
/// first, then the folder of each symbolic link followed.
class Folder {
 public:
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() { moveTo(AT_FDCWD); }
  int descriptor() const { return descriptor_; }
  void moveTo(int descriptor) {
    if (descriptor_ != AT_FDCWD) {
      close(descriptor_);
    }
    descriptor_ = descriptor;
  }

 private:
  int descriptor_ = AT_FDCWD;
};

/// What opening the log for writing would meet, found without opening it so.
struct LogPrediction {
  int error = 0;         // the reason open would give; 0 when it would open
  bool created = false;  // it is absent, and would be made
  std::string unknown;   // what decides it but cannot be known without opening it
};

/// The kernel's setting /proc/sys/fs/`name` (protected_regular and the like); -1 when unreadable.
int kernelProtection(const char* name) {
  const std::string path = std::string("/proc/sys/fs/") + name;
  const int descriptor = retried([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  std::string value(1, '\0');
  const ssize_t got =
      descriptor < 0 ? -1 : retried([&] { return read(descriptor, value.data(), value.size()); });
  if (descriptor >= 0) {
    close(descriptor);
  }
  return got == 1 ? value[0] - '0' : -1;
}

/// Whether the kernel refuses what stands in a sticky folder to a caller who owns neither it nor
/// the folder: a link to follow (protected_symlinks), or a file to open with O_CREAT (any kind in a
/// folder all may write; files and FIFOs, by protected_regular and protected_fifos, in one its
/// group may write at level 2). Unknown where the setting that decides cannot be read.
bool refusedInStickyFolder(int folder, const struct statx& entry, LogPrediction& prediction) {
  struct stat parent;
  if (fstat(folder, &parent) != 0 || (parent.st_mode & S_ISVTX) == 0 ||
      entry.stx_uid == parent.st_uid || entry.stx_uid == geteuid()) {
    return false;
  }
  const mode_t type = entry.stx_mode & S_IFMT;
  const char* setting = type == S_IFLNK   ? "protected_symlinks"
                        : type == S_IFREG ? "protected_regular"
                        : type == S_IFIFO ? "protected_fifos"
                                          : nullptr;
  const int level = setting != nullptr ? kernelProtection(setting) : 1;
  if (level < 0) {
    prediction.unknown = std::string("/proc/sys/fs/") + setting + " cannot be read";
  }
  return level > 0 && ((parent.st_mode & S_IWOTH) != 0 ||
                       (level >= 2 && type != S_IFLNK && (parent.st_mode & S_IWGRP) != 0));
}

/// Whether the device `name` in `folder` lies on a mount that allows no devices.
bool onMountWithoutDevices(int folder, const std::string& name) {
  struct statvfs mount;
  const int device = openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  const bool without = fstatvfs(device, &mount) == 0 && (mount.f_flag & ST_NODEV) != 0;
  close(device);
  return without;
}

/// Whether `folder` lies on a file system of the kernel's own, whose files decide for themselves
/// whether they open, whatever their modes say.
bool onKernelsOwnFileSystem(int folder) {
  struct statfs system;
  constexpr long kernelsOwn[] = {PROC_SUPER_MAGIC,    SYSFS_MAGIC,   CGROUP_SUPER_MAGIC,
                                 CGROUP2_SUPER_MAGIC, DEBUGFS_MAGIC, TRACEFS_MAGIC,
                                 SECURITYFS_MAGIC};
  return fstatfs(folder, &system) == 0 && std::find(std::begin(kernelsOwn), std::end(kernelsOwn),
                                                    long(system.f_type)) != std::end(kernelsOwn);
}

/// What an existing log (not a link) would meet, in the kernel's order: a directory; a file
/// another user owns in a sticky folder; a device on a mount without devices; a file the caller may
/// not write (permissions, ACLs, a read-only mount, the immutable attribute); one that may only be
/// appended to; a socket, which does not open.
LogPrediction predictExistingLog(int folder, const std::string& name, const struct statx& entry) {
  LogPrediction prediction;
  const mode_t type = entry.stx_mode & S_IFMT;
  const bool device = type == S_IFCHR || type == S_IFBLK;
  if (type == S_IFDIR) {
    prediction.error = EISDIR;
  } else if (refusedInStickyFolder(folder, entry, prediction) ||
             (device && onMountWithoutDevices(folder, name))) {
    prediction.error = EACCES;
  } else if (faccessat(folder, name.c_str(), W_OK, AT_EACCESS) != 0) {
    prediction.error = errno;
  } else if ((entry.stx_attributes & STATX_ATTR_APPEND) != 0) {
    prediction.error = EPERM;  // opened without O_APPEND
  } else if (type == S_IFSOCK) {
    prediction.error = ENXIO;
  } else if (type == S_IFIFO) {
    prediction.unknown = "a FIFO opens for writing only while a reader has it open";
  } else if (device) {
    prediction.unknown = "a device decides for itself whether it opens";
  } else if (onKernelsOwnFileSystem(folder)) {
    prediction.unknown = "the kernel's own files decide for themselves whether they open";
  }
  return prediction;
}

/// What creating the log in `folder` would meet: leave to write there, a mount that is not
/// read-only, and a free inode. Whether a full file system has room for one more name in the
/// folder cannot be known.
LogPrediction predictNewLog(int folder) {
  LogPrediction prediction;
  prediction.created = true;
  struct statvfs room;
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    prediction.error = errno;
  } else if (fstatvfs(folder, &room) != 0) {
    prediction.unknown = "its file system's room cannot be read";
  } else if (room.f_files != 0 && room.f_favail == 0) {
    prediction.error = ENOSPC;
  } else if (room.f_bavail == 0) {
    prediction.unknown = "its file system is full, and a new name may not fit in its folder";
  }
  return prediction;
}

/// What a link of the kernel's own (/proc/self/fd/1, /dev/stdout) would meet: it names a file that
/// a process holds open, not a path, and opening it opens that file whatever the path says.
LogPrediction predictOpenFile(int folder, const std::string& name) {
  LogPrediction prediction;
  struct stat status;
  const int file = retried([&] { return openat(folder, name.c_str(), O_PATH | O_CLOEXEC); });
  if (file < 0) {
    prediction.error = errno;
    return prediction;
  }
  if (fstat(file, &status) == 0 && S_ISDIR(status.st_mode)) {
    prediction.error = EISDIR;
  } else {
    prediction.unknown = "it names a file that a process holds open";
  }
  close(file);
  return prediction;
}

/// Whether open(2) would follow more links than the kernel allows on the way to `name`: it counts
/// those of every folder on the way and of the name itself together, as a walk folder by folder
/// cannot.
bool followsTooManyLinks(const std::string& name) {
  const int descriptor = retried([&] { return open(name.c_str(), O_PATH | O_CLOEXEC); });
  const bool tooMany = descriptor < 0 && errno == ELOOP;
  if (descriptor >= 0) {
    close(descriptor);
  }
  return tooMany;
}

/// The target of the symbolic link `name` in `folder`, as long as it is.
std::string linkTarget(int folder, const std::string& name, std::size_t size) {
  std::string target(size + 1, '\0');
  const ssize_t got = readlinkat(folder, name.c_str(), target.data(), target.size());
  if (got < 0 || std::size_t(got) >= target.size()) {
    return got < 0 ? std::string() : linkTarget(folder, name, 2 * target.size());
  }
  target.resize(std::size_t(got));
  return target;
}

/// What open(2) of the log, for writing, created if absent, would say, found without opening it
/// for writing: its name taken as open takes it (empty, too long, ending in "/", ".", ".."),
/// symbolic links followed to their final target, and the folder judged where that is absent.
LogPrediction predictLogOpen(std::string name) {
  LogPrediction prediction;
  if (name.empty() || name.size() >= PATH_MAX || followsTooManyLinks(name)) {
    prediction.error = name.empty() ? ENOENT : name.size() >= PATH_MAX ? ENAMETOOLONG : ELOOP;
    return prediction;
  }
  Folder folder;
  // What the links on the way leave unknown stays unknown at the end.
  const auto ending = [&prediction](LogPrediction found) {
    found.unknown = found.unknown.empty() ? prediction.unknown : found.unknown;
    return found;
  };
  for (int links = 0;; ++links) {
    // The last component, and the folder before it, which must be there and searchable. The folder
    // is opened through its "." so that a link naming it is followed as on the way to a file, not
    // judged as a link at the end of a path.
    std::string_view path = name;
    const bool namesFolder = path.ends_with('/');
    while (path.size() > 1 && path.ends_with('/')) {
      path.remove_suffix(1);
    }
    const std::size_t slash = path.rfind('/');
    const std::string last(slash == std::string_view::npos ? path : path.substr(slash + 1));
    const std::string before =
        std::string(slash == std::string_view::npos ? "" : path.substr(0, slash + 1)) + ".";
    const int next = retried([&] {
      return openat(folder.descriptor(), before.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    });
    struct statx entry;
    if (next < 0) {
      prediction.error = errno;
    } else if (folder.moveTo(next), faccessat(next, ".", X_OK, AT_EACCESS) != 0) {
      prediction.error = errno;
    } else if (namesFolder || last.empty() || last == "." || last == "..") {
      prediction.error = EISDIR;  // nothing by such a name can be created
    } else if (retried([&] {
                 return statx(next, last.c_str(), AT_SYMLINK_NOFOLLOW,
                              STATX_TYPE | STATX_MODE | STATX_UID, &entry);
               }) != 0) {
      return errno == ENOENT ? ending(predictNewLog(next)) : LogPrediction{errno, false, ""};
    } else if ((entry.stx_mode & S_IFMT) != S_IFLNK) {
      return ending(predictExistingLog(next, last, entry));
    } else if (onKernelsOwnFileSystem(next)) {
      return ending(predictOpenFile(next, last));
    } else if (links == 40 || refusedInStickyFolder(next, entry, prediction)) {
      prediction.error = links == 40 ? ELOOP : EACCES;  // the kernel follows 40 links at most
    } else {
      name = linkTarget(next, last, entry.stx_size);  // from the link's folder, if relative
      if (!name.empty()) {
        continue;
      }
      prediction.error = ENOENT;  // the link went while it was read
    }
    return prediction;
  }
}

}  // namespace

bool checkRunLog(LaunchSettings& settings, LaunchError* error) {
  if (withoutLog(settings)) {
    return true;
  }
  const LogPrediction prediction = predictLogOpen(settings.logFileName);
  if (prediction.error != 0) {
    return failToOpen(settings, prediction.error, error);
  }
  settings.trace("run log: ", settings.logFileName,
                 prediction.created ? " would be created" : " would be written");
  if (!prediction.unknown.empty()) {
    settings.trace("cannot know whether run log ", settings.logFileName,
                   " opens: ", prediction.unknown);
  }
  return true;
}
