// The file primitives on Linux and other POSIX systems.
//
// Windows opens the file with share mode 0, which fails while any other
// process has it open and keeps everyone else out until it is closed. POSIX
// has no such open. Linux grants a write lease only when no other descriptor
// is open on the file, and while we hold it another process's open waits
// until we close (or until the lease-break time, far longer than a run). So
// the file is opened once, non-blocking (a file under someone else's lease
// is refused at once rather than waited for), and the lease is held until the
// close. Where no lease can be had (a file system without leases) an
// exclusive flock, also held until the close, is the next best.
//
// A creation time cannot be set here; access and write times are restored to
// the nanosecond, as seconds and nanoseconds, so any date the file system
// holds comes back as it was.
//
// The edit goes through the same descriptor with pread and pwrite: the edit
// stream does the buffering, and a runtime FILE would only add a copy and an
// allocation to every run.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "file.hpp"

namespace {

// Signals that would end the run in the middle of an edit, where a failed
// call is what we want instead: SIGIO, sent when another process opens the
// file under our lease (its open just waits for our close), and SIGXFSZ, sent
// for a write beyond the file-size limit (the write then fails with EFBIG and
// the edit is undone).
void ignoreSignalsThatStopAnEdit() {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGIO, &ignore, nullptr);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

// Keeps every other process away from the file until fd is closed; false,
// with errno set, when another process has it open or locked.
bool holdExclusively(int fd) {
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        return true;
    }
    if (errno == EAGAIN || errno == EBUSY) {  // someone else has it open
        return false;
    }
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

bool hasNoWriteBit(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

OpenResult failed(OpenError error, int code = 0) {
    return OpenResult{error, static_cast<unsigned long>(code)};
}

bool onReadOnlyFileSystem(const char* path) {
    struct statvfs volume = {};
    return statvfs(path, &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
}

// Names the cause of a failed open from its errno, looking at the path where
// the errno alone cannot tell. An open for reading only is never refused for
// want of write permission.
OpenResult causeOf(int error, const char* path, bool writing) {
    struct stat info = {};
    const bool known = stat(path, &info) == 0;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return failed(OpenError::NotFound);
        case EISDIR:
        case ENXIO:
        case ENODEV:
            return failed(OpenError::NotRegularFile);
        case EROFS:
            return failed(OpenError::ReadOnlyDrive);
        case EAGAIN:  // under another process's lease
        case ETXTBSY:
            return failed(OpenError::InUse);
        case EACCES:
            if (writing && onReadOnlyFileSystem(path)) {
                return failed(OpenError::ReadOnlyDrive);
            }
            return failed(writing && known && hasNoWriteBit(info.st_mode)
                              ? OpenError::ReadOnly
                              : OpenError::AccessDenied);
        case EPERM:  // O_NOATIME is refused to anyone but the owner
            return failed(writing && known && info.st_uid != geteuid() ? OpenError::TimesNotOurs
                                                                       : OpenError::AccessDenied);
        default:
            return failed(OpenError::Other, error);
    }
}

// Keeps fd as file, with its times, if it is a regular file (and, for an
// edit, one that may be written, held exclusively); closes it otherwise.
OpenResult adopt(int fd, bool editing, EditFile& file, FileTimes& times) {
    struct stat info = {};
    OpenResult result = failed(OpenError::None);
    // A regular file only. One that nobody may write is read-only, as
    // Windows' read-only attribute is, also for root, whom the permission
    // bits do not stop.
    if (fstat(fd, &info) != 0) {
        result = failed(OpenError::Other, errno);
    } else if (!S_ISREG(info.st_mode)) {
        result = failed(OpenError::NotRegularFile);
    } else if (editing && hasNoWriteBit(info.st_mode)) {
        result = failed(OpenError::ReadOnly);
    } else if (editing && !holdExclusively(fd)) {
        result = failed(OpenError::InUse);
    }
    if (result.error != OpenError::None) {
        close(fd);
        return result;
    }
    file.descriptor = fd;
    times.creation = {};
    times.lastAccess = info.st_atim;
    times.lastWrite = info.st_mtim;
    return result;
}

// O_NONBLOCK: a FIFO, a device or a file under another lease cannot stall the run.
constexpr int OPEN_FLAGS = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

OpenResult openExclusive(const char* path, EditFile& file, FileTimes& times) {
    static bool signalsIgnored = false;
    if (!signalsIgnored) {
        ignoreSignalsThatStopAnEdit();
        signalsIgnored = true;
    }
    // O_NOATIME keeps reading from moving the access time, so a file that is
    // read but not edited keeps its times too. The kernel allows it exactly
    // to those who may also set the file's times (its owner, or a process
    // with CAP_FOWNER): anyone else gets EPERM, and is refused here, before
    // any edit, rather than left with an edited file whose times are lost.
    const int fd = open(path, O_RDWR | O_NOATIME | OPEN_FLAGS);
    if (fd < 0) {
        return causeOf(errno, path, true);
    }
    return adopt(fd, true, file, times);
}

OpenResult openForReading(const char* path, EditFile& file, FileTimes& times) {
    int fd = open(path, O_RDONLY | O_NOATIME | OPEN_FLAGS);
    if (fd < 0 && errno == EPERM) {  // not the owner: readable still, if not without a trace
        fd = open(path, O_RDONLY | OPEN_FLAGS);
    }
    if (fd < 0) {
        return causeOf(errno, path, false);
    }
    return adopt(fd, false, file, times);
}

std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count) {
    // A regular file reads short only at its end: one call is enough.
    ssize_t got = 0;
    do {
        got = pread(file.descriptor, bytes, count, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? 0 : static_cast<std::size_t>(got);
}

std::size_t writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                        std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put =
            pwrite(file.descriptor, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (put <= 0) {
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    return done;
}

std::uint64_t fileSize(EditFile& file) {
    struct stat info = {};
    return fstat(file.descriptor, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

bool setFileTimes(EditFile& file, const FileTimes& times) {
    const struct timespec restored[2] = {times.lastAccess, times.lastWrite};
    return futimens(file.descriptor, restored) == 0;
}

bool syncFile(EditFile& file) {
    return fsync(file.descriptor) == 0;
}

bool closeFile(EditFile& file) {
    const bool closed = close(file.descriptor) == 0;
    file.descriptor = -1;
    return closed;
}

bool pathExists(const char* path) {
    struct stat info = {};
    return lstat(path, &info) == 0;
}
