#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include "platform/os.h"
#include "platform/plan_file.h"

namespace planner {

namespace {

std::string reason() { return std::strerror(errno); }

// Holds off every signal for a few calls that must not be parted: giving the
// new file a name and arming its removal, renaming it and disarming.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before_);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
  ~SignalsHeld() {
    const int error = errno;  // of the calls held together
    sigprocmask(SIG_SETMASK, &before_, nullptr);
    errno = error;
  }

 private:
  sigset_t before_{};
};

// The name under which /proc shows an open descriptor; a file without a name
// of its own is linked into the directory through it.
std::string descriptor_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// In a sticky directory (such as /tmp) only root and the owners of the file
// or of the directory may replace a file.
bool sticky_keeps(const struct stat& old) {
  struct stat dir {};
  const uid_t me = geteuid();
  return stat(".", &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && me != 0 && old.st_uid != me &&
         dir.st_uid != me;
}

}  // namespace

struct PlanFile::Native {
  const char* path = nullptr;  // the plan's name; nullptr until create
  std::string new_name;        // the new file's name while it has one; empty before an
                               // unnamed file is linked, after the rename, and in place
  int fd = -1;                 // the file being written; -1 when closed
  int dir = -1;                // the current directory, locked; -1 when it cannot be opened
  bool in_place = false;       // `fd` is the plan itself, written as before
  bool old_known = false;      // old_id tells the file `path` named at the start
  os::FileId old_id;

  bool open_unnamed();
  bool open_named();
  bool open_in_place(std::string* err);
  bool link_unnamed(std::string* err);
  template <class Make>
  bool name_new_file(Make make);
  void discard();
};

// The new file's name holds a '~', which no name in a makefile can hold, so
// the walk never asks for it. `make` creates the name, failing with EEXIST
// when it is taken; its removal is armed before any signal can see it.
template <class Make>
bool PlanFile::Native::name_new_file(Make make) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(path) + '~' + std::to_string(getpid());
    if (attempt > 0) name += '-' + std::to_string(attempt);
    const SignalsHeld held;
    if (make(name.c_str())) {
      new_name = std::move(name);
      os::remove_on_interrupt(new_name.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

PlanFile::PlanFile() : native_(std::make_unique<Native>()) {}

PlanFile::~PlanFile() {
  native_->discard();
  if (native_->dir >= 0) close(native_->dir);  // releases the lock, last of all
}

bool PlanFile::create(const char* path, std::string* err) {
  Native& n = *native_;
  n.path = path;
  // The directory is locked, not the plan, which gets replaced. A file system
  // without locks (ENOLCK, EINVAL, ENOSYS) is written unlocked.
  n.dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (n.dir >= 0 && flock(n.dir, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    *err = "another planner run is writing it";
    return false;
  }
  struct stat old {};
  const bool exists = lstat(path, &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    *err = std::strerror(EISDIR);
    return false;
  }
  // A FIFO would block the run until a reader came; a device or a socket
  // holds no plan.
  if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) {
    *err = "it is not a regular file";
    return false;
  }
  // A plan the user may not write stays refused, as when it was written in
  // place.
  if (exists && S_ISREG(old.st_mode) && access(path, W_OK) != 0) {
    *err = reason();
    return false;
  }
  struct stat named {};
  n.old_known = stat(path, &named) == 0;
  n.old_id = {static_cast<std::uint64_t>(named.st_dev), static_cast<std::uint64_t>(named.st_ino)};
  if (exists && sticky_keeps(old)) return n.open_in_place(err);
  // An existing plan gets an unnamed file, which leaves the directory's time
  // alone until it is linked after the walk; a missing one a named file,
  // created when the plan itself used to be, so that the walk sees the
  // directory's time change as it did.
  if ((exists && n.open_unnamed()) || n.open_named()) return true;
  // Only a directory the user may not write is written in place; any other
  // failure (no space, no inode) leaves the old plan alone.
  if (errno == EACCES || errno == EPERM) return n.open_in_place(err);
  *err = reason();
  return false;
}

bool PlanFile::write(std::string_view bytes, std::string* err) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(native_->fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = n < 0 ? reason() : "write error";
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::int64_t PlanFile::modification_time(const char* name) const {
  const Native& n = *native_;
  if (std::strcmp(name, n.path) != 0) {
    // One query tells the time and whether the name leads to the old plan.
    os::FileId id;
    const std::int64_t time = os::modification_time(name, n.old_known ? &id : nullptr);
    if (!n.old_known || id != n.old_id) return time;
  }
  struct stat st {};
  return fstat(n.fd, &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) : 0;
}

bool PlanFile::commit(std::string* err) {
  Native& n = *native_;
  const auto fail = [&n, err] {
    *err = reason();
    n.discard();
    return false;
  };
  if (n.in_place) {
    if (close(std::exchange(n.fd, -1)) != 0) return fail();
    os::remove_on_interrupt(nullptr);
    n.in_place = false;
    return true;
  }
  // On disk before it takes the name, so that a power cut cannot leave an
  // empty or partial plan under it; a file system that cannot sync is left to
  // itself.
  if (fsync(n.fd) != 0 && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return fail();
  if (n.new_name.empty() && !n.link_unnamed(err)) return false;
  if (close(std::exchange(n.fd, -1)) != 0) return fail();
  {
    const SignalsHeld held;
    if (rename(n.new_name.c_str(), n.path) != 0) return fail();
    os::remove_on_interrupt(nullptr);
  }
  n.new_name.clear();
  // The rename on disk too, as far as the system allows; too late to fail.
  if (n.dir >= 0) fsync(n.dir);
  return true;
}

bool PlanFile::Native::open_unnamed() {
#ifdef O_TMPFILE
  const int tmp = open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (tmp < 0) return false;
  // Only a regular file without a name will do, and one that /proc can give
  // a name after the walk.
  struct stat st {};
  if (fstat(tmp, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0 &&
      access(descriptor_path(tmp).c_str(), F_OK) == 0) {
    fd = tmp;
    return true;
  }
  close(tmp);
#endif
  return false;
}

bool PlanFile::Native::open_named() {
  return name_new_file([this](const char* name) {
    fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd >= 0;
  });
}

bool PlanFile::Native::open_in_place(std::string* err) {
  {
    const SignalsHeld held;
    // Never through a link: its target is not the plan's to write.
    fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      *err = errno == ELOOP ? "it is a symbolic link, and the directory cannot be written"
                            : reason();
      return false;
    }
    in_place = true;
    os::remove_on_interrupt(path);
  }
  if (ftruncate(fd, 0) == 0) return true;
  *err = reason();
  os::remove_on_interrupt(nullptr);  // the old plan is still whole
  in_place = false;
  close(std::exchange(fd, -1));
  return false;
}

bool PlanFile::Native::link_unnamed(std::string* err) {
  const std::string from = descriptor_path(fd);
  if (name_new_file([&from](const char* name) {
        return linkat(AT_FDCWD, from.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
      })) {
    return true;
  }
  *err = reason();
  discard();
  return false;
}

// Removes the new file, or the plan written in place, and closes it.
void PlanFile::Native::discard() {
  if (!new_name.empty()) unlink(new_name.c_str());
  if (in_place) unlink(path);
  os::remove_on_interrupt(nullptr);
  new_name.clear();
  in_place = false;
  if (fd >= 0) close(std::exchange(fd, -1));
}

}  // namespace planner
