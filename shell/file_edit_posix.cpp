// The file edit on Linux and other POSIX systems.
//
// Windows opens the file with share mode 0, which fails while any other
// process has it open. POSIX has no such open; Linux grants a write lease only
// when no other descriptor is open on the file, so taking one and releasing it
// at once asks the same question. Where no lease can be had (not the file's
// owner, a file system without leases) an exclusive flock is the next best.
//
// A creation time cannot be set here; access and write times are restored to
// the nanosecond.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "file_edit.hpp"

namespace {

constexpr std::int64_t NANOSECONDS = 1000000000;

// Non-blocking, so that a FIFO or a device cannot stall the run.
int openRegularFile(const char* path, int access) {
    const int fd = open(path, access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool nobodyElseHasItOpen(int fd) {
    // Another process opening the file while we hold the lease makes the
    // kernel send us SIGIO, whose default action would end the run.
    struct sigaction ignore = {};
    struct sigaction previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGIO, &ignore, &previous);

    bool alone;
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        alone = true;
    } else if (errno == EAGAIN || errno == EBUSY) {
        alone = false;
    } else {
        alone = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (alone) {
            flock(fd, LOCK_UN);
        }
    }
    sigaction(SIGIO, &previous, nullptr);
    return alone;
}

int openExclusive(const char* path, int access) {
    const int fd = openRegularFile(path, access);
    if (fd >= 0 && !nobodyElseHasItOpen(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

std::int64_t toNanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * NANOSECONDS + time.tv_nsec;
}

struct timespec toTimespec(std::int64_t nanoseconds) {
    struct timespec time = {};
    time.tv_sec = static_cast<time_t>(nanoseconds / NANOSECONDS);
    time.tv_nsec = static_cast<long>(nanoseconds % NANOSECONDS);
    if (time.tv_nsec < 0) {  // times before 1970
        time.tv_sec -= 1;
        time.tv_nsec += NANOSECONDS;
    }
    return time;
}

}  // namespace

bool captureTimes(const char* path, FileTimes& times) {
    const int fd = openExclusive(path, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    struct stat info = {};
    fstat(fd, &info);
    times.creation = 0;
    times.lastAccess = toNanoseconds(info.st_atim);
    times.lastWrite = toNanoseconds(info.st_mtim);
    close(fd);
    return true;
}

bool openForEdit(const char* path, EditStream& stream) {
    // O_NOATIME: reading the file must not move its access time either, so
    // that a file VelnariL does not recognise (whose times are not restored)
    // keeps them too. Only the file's owner may ask for it.
    int fd = open(path, O_RDWR | O_NOATIME | O_CLOEXEC);
    if (fd < 0 && errno == EPERM) {
        fd = open(path, O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) {
        return false;
    }
    std::FILE* file = fdopen(fd, "rb+");
    if (file == nullptr) {
        close(fd);
        return false;
    }
    attachEditStream(stream, file);
    return true;
}

FinishStatus finishEdit(EditStream& stream, const char* path, const FileTimes& times) {
    // The edit stream is the only stream this program opens.
    bool written = flushEditStream(stream);
    if (std::fclose(stream.file) != 0) {
        written = false;
    }
    stream.file = nullptr;
    if (!written) {
        return FinishStatus::CannotWrite;
    }

    const int fd = openExclusive(path, O_WRONLY);
    if (fd < 0) {
        return FinishStatus::CannotReopen;
    }
    const struct timespec restored[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
    futimens(fd, restored);
    close(fd);
    return FinishStatus::Done;
}
