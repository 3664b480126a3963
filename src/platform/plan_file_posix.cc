#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/new_file_names.h"
#include "platform/os.h"
#include "platform/plan_file.h"

namespace planner {

namespace {

std::string reason() { return std::strerror(errno); }

constexpr char kBusy[] = "another planner run is writing it";

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

// Node has no file locks, and emscripten's flock pretends to take them.
#ifdef __EMSCRIPTEN__
constexpr bool kLocks = false;
#else
constexpr bool kLocks = true;
#endif

enum class Lock { kTaken, kBusy, kNone };

// Locks `fd` without waiting. kNone where no lock can be had: a file system
// without locks (ENOLCK, EINVAL, ENOSYS), or no descriptor (EBADF).
Lock lock(int fd) {
  if (!kLocks) return Lock::kNone;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return Lock::kTaken;
  return errno == EWOULDBLOCK ? Lock::kBusy : Lock::kNone;
}

bool same_identity(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens a regular file only to lock it: for reading where the user may, else
// for writing, which changes nothing either.
int open_to_lock(const char* path, int flags) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
  if (fd >= 0 || errno != EACCES) return fd;
  return open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC | flags);
}

// The name under which /proc shows an open descriptor; a file without a name
// of its own is linked into the directory through it.
std::string descriptor_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// In a sticky directory (such as /tmp) only root and the owners of the file
// or of the directory may replace a file.
bool sticky_keeps(const struct stat& old) {
  struct stat dir {};
  const unsigned me = os::effective_user();
  return stat(".", &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && me != 0 && old.st_uid != me &&
         dir.st_uid != me;
}

// What chattr and mounts forbid. Nothing in an append-only or immutable
// directory can be renamed or removed; an append-only or immutable file can
// be neither replaced nor emptied; a mount point cannot be renamed over.
struct Attributes {
  bool append = false;
  bool immutable = false;
  bool mount_point = false;
};

Attributes attributes(const char* path) {
  Attributes a;
#if defined(STATX_ATTR_APPEND) && !defined(__EMSCRIPTEN__)
  struct statx st {};
  if (statx(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &st) != 0) return a;
  const auto known = st.stx_attributes & st.stx_attributes_mask;
  a.append = (known & STATX_ATTR_APPEND) != 0;
  a.immutable = (known & STATX_ATTR_IMMUTABLE) != 0;
#ifdef STATX_ATTR_MOUNT_ROOT
  a.mount_point = (known & STATX_ATTR_MOUNT_ROOT) != 0;
#endif
#else
  (void)path;
#endif
  return a;
}

}  // namespace

struct PlanFile::Native {
  const char* path = nullptr;  // the plan's name; nullptr until create
  std::string new_name;        // the new file's name while it has one; empty before an
                               // unnamed file is linked, after the rename, and in place
  int fd = -1;                 // the file being written, locked; -1 when closed
  int dir = -1;                // the current directory; -1 when it cannot be opened
  bool dir_locked = false;     // `dir` is locked: no other run writes here
  int old_lock = -1;           // the plan found under `path`, locked; -1: none held
  bool in_place = false;       // `fd` is the plan itself, written as before
  bool old_known = false;      // old_id tells the file `path` named at the start
  os::FileId old_id;
  // Where a plan existed and the run changed the directory before the walk
  // (a named new file, a stray removed), the walk sees the directory's time
  // from before that: the old program changed nothing there.
  bool dir_frozen = false;
  std::int64_t dir_time = 0;
  os::FileId dir_id;

  bool lock_old();
  bool remove_strays();
  bool open_unnamed();
  bool open_named();
  bool open_in_place(bool exists, std::string* err);
  bool link_unnamed(std::string* err);
  template <class Make>
  bool name_new_file(Make make);
  std::string names_taken() const;
  void discard();
};

// The new file's name holds a '~', which no name in a makefile can hold, so
// the walk never asks for it. `make` creates the name, failing with EEXIST
// when it is taken; its removal is armed before any signal can see it.
template <class Make>
bool PlanFile::Native::name_new_file(Make make) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(path) + '~' + std::to_string(os::process_id());
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

std::string PlanFile::Native::names_taken() const {
  const std::string first = std::string(path) + '~' + std::to_string(os::process_id());
  return "every name from '" + first + "' to '" + first + "-99' is taken";
}

PlanFile::PlanFile() : native_(std::make_unique<Native>()) {}

PlanFile::~PlanFile() {
  native_->discard();
  if (native_->old_lock >= 0) close(native_->old_lock);
  if (native_->dir >= 0) close(native_->dir);  // releases the lock, last of all
}

bool PlanFile::create(const char* path, std::string* err) {
  Native& n = *native_;
  n.path = path;
  // The directory is locked, not the plan, which gets replaced.
  n.dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const Lock dir_lock = lock(n.dir);
  if (dir_lock == Lock::kBusy) {
    *err = kBusy;
    return false;
  }
  n.dir_locked = dir_lock == Lock::kTaken;
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
  const Attributes plan = exists ? attributes(path) : Attributes{};
  if (plan.append || plan.immutable) {
    *err = std::string("it is ") + (plan.append ? "append-only" : "immutable") +
           " (see lsattr): it can be neither replaced nor emptied";
    return false;
  }
  // A plan the user may not write stays refused, as when it was written in
  // place.
  if (exists && S_ISREG(old.st_mode) && access(path, W_OK) != 0) {
    *err = reason();
    return false;
  }
  if (!n.lock_old()) {
    *err = kBusy;
    return false;
  }
  struct stat named {};
  n.old_known = stat(path, &named) == 0;
  n.old_id = {static_cast<std::uint64_t>(named.st_dev), static_cast<std::uint64_t>(named.st_ino)};
  if (exists) n.dir_time = os::modification_time(".", &n.dir_id);  // before any change
  const bool removed = n.remove_strays();
  n.dir_frozen = exists && removed && n.dir_id != os::FileId{};
  // Where the new file could not take the plan's place, the plan is written
  // in place, as before, and nothing is left beside it.
  const Attributes here = attributes(".");
  if (here.immutable && !exists) {
    *err = "the directory is immutable (see lsattr): nothing can be created in it";
    return false;
  }
  if (here.append || here.immutable || (exists && (plan.mount_point || sticky_keeps(old)))) {
    return n.open_in_place(exists, err);
  }
  // A directory that cannot be opened cannot be locked, nor its strays
  // found: a missing plan is created at once, as the old program did, and
  // locked, so that the next run finds it held.
  if (!exists && n.dir < 0) return n.open_in_place(false, err);
  // An existing plan gets an unnamed file, which leaves the directory's time
  // alone until it is linked after the walk; a missing one a named file,
  // created when the plan itself used to be, so that the walk sees the
  // directory's time change as it did.
  if (exists && n.open_unnamed()) return true;
  if (n.open_named()) {
    n.dir_frozen = exists && n.dir_id != os::FileId{};
    return true;
  }
  // Only a directory the user may not write is written in place; any other
  // failure (no space, no inode) leaves the old plan alone.
  if (errno == EACCES || errno == EPERM) return n.open_in_place(exists, err);
  *err = errno == EEXIST ? n.names_taken() : reason();
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
    // One query tells the time and which file the name leads to.
    os::FileId id;
    const std::int64_t time = os::modification_time(name, &id);
    if (n.dir_frozen && id == n.dir_id) return n.dir_time;
    if (!n.old_known || id != n.old_id) return time;
  }
  struct stat st {};
  return fstat(n.fd, &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) : 0;
}

bool PlanFile::commit(std::string* err) {
  Native& n = *native_;
  const auto fail = [&n, err](std::string why) {
    *err = std::move(why);
    n.discard();
    return false;
  };
  if (n.in_place) {
    if (close(std::exchange(n.fd, -1)) != 0) return fail(reason());
    os::remove_on_interrupt(nullptr);
    n.in_place = false;
    return true;
  }
  // On disk before it takes the name, so that a power cut cannot leave an
  // empty or partial plan under it; a file system that cannot sync is left to
  // itself.
  if (fsync(n.fd) != 0 && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return fail(reason());
  }
  if (n.new_name.empty() && !n.link_unnamed(err)) return false;
  // A plan that appeared during the walk may be another run's, created in a
  // directory it could not lock.
  if (n.old_lock < 0 && !n.lock_old()) return fail(kBusy);
  if (close(std::exchange(n.fd, -1)) != 0) return fail(reason());
  {
    const SignalsHeld held;
    if (rename(n.new_name.c_str(), n.path) != 0) return fail(reason());
    os::remove_on_interrupt(nullptr);
  }
  n.new_name.clear();
  // The rename on disk too, as far as the system allows; too late to fail.
  if (n.dir >= 0) fsync(n.dir);
  return true;
}

// Locks the plan that `path` names, when it is a regular file. A run that
// cannot open the directory (one the user may enter but not read) has only
// this lock, so every run takes it; through a link only then, since in a
// locked directory a link is replaced, and its target is no run's. False
// when another run holds it.
bool PlanFile::Native::lock_old() {
  const auto look = [this](struct stat* st) { return dir_locked ? lstat(path, st) : stat(path, st); };
  for (int attempt = 0; kLocks && attempt < 10; ++attempt) {
    struct stat named {};
    if (look(&named) != 0 || !S_ISREG(named.st_mode)) return true;
    const int held = open_to_lock(path, dir_locked ? O_NOFOLLOW : 0);
    if (held < 0) return true;
    struct stat st {};
    const Lock taken = fstat(held, &st) == 0 ? lock(held) : Lock::kNone;
    // Held, unless another run's plan took the name before the lock.
    if (taken == Lock::kTaken && look(&named) == 0 && same_identity(st, named)) {
      old_lock = held;
      return true;
    }
    close(held);
    if (taken != Lock::kTaken) return taken == Lock::kNone;
  }
  return true;
}

// Removes the new files that kill -9, a crash or a power cut left in the
// directory, and tells whether there were any. Each run holds its own new
// file locked, so under the directory's lock those that can be locked are no
// live run's. Under Node, without locks, those whose process is gone.
bool PlanFile::Native::remove_strays() {
  if (kLocks ? !dir_locked : dir < 0) return false;
  DIR* const listing = opendir(".");
  if (listing == nullptr) return false;
  bool removed = false;
  while (const dirent* entry = readdir(listing)) {
    const char* name = entry->d_name;
    long id = 0;
    struct stat st {};
    if (!names_new_file(name, path, &id) || lstat(name, &st) != 0 || !S_ISREG(st.st_mode)) {
      continue;
    }
    if (!kLocks) {
      if (!os::process_may_run(id) && unlink(name) == 0) removed = true;
      continue;
    }
    const int held = open_to_lock(name, O_NOFOLLOW);
    if (held < 0) continue;
    struct stat locked {};
    if (fstat(held, &locked) == 0 && same_identity(st, locked) && lock(held) == Lock::kTaken &&
        lstat(name, &st) == 0 && same_identity(st, locked) && unlink(name) == 0) {
      removed = true;
    }
    close(held);
  }
  closedir(listing);
  return removed;
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
    lock(fd);  // new: no other process has it
    return true;
  }
  close(tmp);
#endif
  return false;
}

bool PlanFile::Native::open_named() {
  return name_new_file([this](const char* name) {
    fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    lock(fd);  // only a run holding the directory's lock removes strays
    return true;
  });
}

bool PlanFile::Native::open_in_place(bool exists, std::string* err) {
  {
    const SignalsHeld held;
    // Never through a link: its target is not the plan's to write. A missing
    // plan is created only while still missing: another run may have made
    // it meanwhile, and holds it.
    fd = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (exists ? 0 : O_EXCL), 0666);
    if (fd < 0) {
      *err = errno == ELOOP ? "it is a symbolic link, and the directory cannot be written"
                            : reason();
      return false;
    }
    if (old_lock < 0 && lock(fd) == Lock::kBusy) {
      *err = kBusy;
      close(std::exchange(fd, -1));
      return false;
    }
    in_place = true;
    os::remove_on_interrupt(path);
  }
  if (ftruncate(fd, 0) == 0) return true;
  *err = reason();
  in_place = !exists;  // a plan made here goes again; an old one is still whole
  discard();
  return false;
}

bool PlanFile::Native::link_unnamed(std::string* err) {
  const std::string from = descriptor_path(fd);
  if (name_new_file([&from](const char* name) {
        return linkat(AT_FDCWD, from.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
      })) {
    return true;
  }
  *err = errno == EEXIST ? names_taken() : reason();
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
