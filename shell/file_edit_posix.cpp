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
//
// The edit stream's file is a plain descriptor opened read/write on the
// existing file, as "rb+" would, read and written with pread and pwrite: the
// edit stream does the buffering, and a runtime FILE would only add a copy and
// an allocation to every run.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "file_edit.hpp"

namespace {

constexpr std::int64_t NANOSECONDS = 1000000000;

// Non-blocking, so that a FIFO or a device cannot stall the run.
int openRegularFile(const char* path, int access, struct stat& info) {
    const int fd = open(path, access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool nobodyElseHasItOpen(int fd) {
    // Another process opening the file while we hold the lease makes the
    // kernel send us SIGIO, whose default action would end the run. Nothing
    // in these programs uses SIGIO, so it stays ignored from the first lease on.
    static bool ignoringLeaseBreaks = false;
    if (!ignoringLeaseBreaks) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGIO, &ignore, nullptr);
        ignoringLeaseBreaks = true;
    }
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return true;
    }
    if (errno == EAGAIN || errno == EBUSY) {
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    flock(fd, LOCK_UN);
    return true;
}

int openExclusive(const char* path, int access, struct stat& info) {
    const int fd = openRegularFile(path, access, info);
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
    struct stat info = {};
    const int fd = openExclusive(path, O_RDONLY, info);
    if (fd < 0) {
        return false;
    }
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
    // A file nobody may write is read-only, as Windows' read-only attribute
    // is, also for root, whom the permission bits do not stop.
    struct stat info = {};
    if (fstat(fd, &info) != 0 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        close(fd);
        return false;
    }
    attachEditStream(stream, EditFile{fd, nullptr});
    return true;
}

bool closeEditStream(EditStream& stream) {
    bool written = flushEditStream(stream);
    if (close(stream.file.descriptor) != 0) {
        written = false;
    }
    stream.file.descriptor = -1;
    return written;
}

std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            pread(file.descriptor, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                 std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put =
            pwrite(file.descriptor, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// pwrite leaves nothing buffered in the process.
bool flushFile(EditFile&) {
    return true;
}

FinishStatus finishEdit(EditStream& stream, const char* path, const FileTimes& times) {
    // The edit stream is the only file this program keeps open.
    if (!closeEditStream(stream)) {
        return FinishStatus::CannotWrite;
    }

    struct stat info = {};
    const int fd = openExclusive(path, O_WRONLY, info);
    if (fd < 0) {
        return FinishStatus::CannotReopen;
    }
    const struct timespec restored[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
    futimens(fd, restored);
    close(fd);
    return FinishStatus::Done;
}
