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
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

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

PathKind pathKind(const char* path) {
    struct stat info = {};
    if (stat(path, &info) != 0) {
        return PathKind::Missing;
    }
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

namespace {

// The folder walk. Name order needs every name of a folder at once, so each
// folder's names are read whole into a static arena, sorted, then visited, a
// subfolder's before the next name. A folder's names stay in the arena below
// its subfolders' while these are walked: a walk holds only the names of the
// folders on its current path, without the heap.
// Room for some 100,000 names in the folders of one path: more would make a
// larger program image, which every run pays for, walk or not. A folder that
// does not fit is one that cannot be listed.
constexpr std::size_t WALK_NAMES_SIZE = std::size_t{2} << 20;
constexpr std::size_t WALK_ORDER_SIZE = std::size_t{1} << 18;
char walkNames[WALK_NAMES_SIZE];           // for each entry a mark, then its name and a NUL
std::uint32_t walkOrder[WALK_ORDER_SIZE];  // offsets in walkNames, sorted by name
char walkPath[PATH_MAX];                   // the path being visited

constexpr char MARK_FILE = 'f';
constexpr char MARK_FOLDER = 'd';
constexpr char NO_MARK = '\0';  // an entry passed over

// How the entry of the open folder dir is walked: MARK_FOLDER to go into,
// MARK_FILE to visit, or NO_MARK to pass over (a link to a folder, an entry gone
// meanwhile). A dangling link is a file, which its open will say is missing.
char markOf(int dir, const struct dirent* entry) {
    unsigned char type = entry->d_type;
    struct stat info = {};
    if (type == DT_UNKNOWN) {  // a file system that does not say
        if (fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return NO_MARK;
        }
        type = S_ISDIR(info.st_mode) ? DT_DIR : (S_ISLNK(info.st_mode) ? DT_LNK : DT_REG);
    }
    if (type == DT_DIR) {
        return MARK_FOLDER;
    }
    const bool toFolder =
        type == DT_LNK && fstatat(dir, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
    return toFolder ? NO_MARK : MARK_FILE;
}

bool isDotOrDotDot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// One folder's entries: their offsets at walkOrder[first, first + count),
// sorted by name; names and offsets after them are free.
struct Listing {
    std::size_t first;
    std::size_t count;
    std::size_t namesEnd;
};

// Lists the folder at walkPath into the arenas from namesTop and orderTop.
OpenResult listFolder(std::size_t namesTop, std::size_t orderTop, Listing& listing) {
    DIR* folder = opendir(walkPath);
    if (folder == nullptr) {
        return causeOf(errno, walkPath, false);
    }
    listing = {orderTop, 0, namesTop};
    for (const struct dirent* entry = readdir(folder); entry != nullptr; entry = readdir(folder)) {
        const char mark = isDotOrDotDot(entry->d_name) ? NO_MARK : markOf(dirfd(folder), entry);
        const std::size_t size = std::strlen(entry->d_name) + 2;
        if (mark == NO_MARK) {
            continue;
        }
        if (listing.namesEnd + size > WALK_NAMES_SIZE ||
            orderTop + listing.count == WALK_ORDER_SIZE) {
            closedir(folder);
            return failed(OpenError::Other, ENOMEM);
        }
        walkNames[listing.namesEnd] = mark;
        std::memcpy(walkNames + listing.namesEnd + 1, entry->d_name, size - 1);
        walkOrder[orderTop + listing.count++] = static_cast<std::uint32_t>(listing.namesEnd);
        listing.namesEnd += size;
    }
    closedir(folder);
    std::sort(walkOrder + orderTop, walkOrder + orderTop + listing.count,
              [](std::uint32_t a, std::uint32_t b) {
                  return std::strcmp(walkNames + a + 1, walkNames + b + 1) < 0;
              });
    return failed(OpenError::None);
}

// Walks the folder at walkPath, whose path is pathLength bytes long.
void walkLevel(std::size_t pathLength, std::size_t namesTop, std::size_t orderTop,
               EntryVisitor visit, void* context) {
    Listing listing{};
    const OpenResult listed = listFolder(namesTop, orderTop, listing);
    if (listed.error != OpenError::None) {
        visit(context, walkPath, FoundEntry::Unreadable, listed);
        return;
    }
    const std::size_t folderLength =
        pathLength + (pathLength > 0 && walkPath[pathLength - 1] != '/' ? 1 : 0);
    for (std::size_t i = 0; i < listing.count; ++i) {
        const char* entry = walkNames + walkOrder[listing.first + i];
        const std::size_t nameLength = std::strlen(entry + 1);
        if (folderLength + nameLength >= sizeof walkPath) {
            visit(context, walkPath, FoundEntry::Unreadable,
                  failed(OpenError::Other, ENAMETOOLONG));
            continue;
        }
        walkPath[pathLength] = '/';
        std::memcpy(walkPath + folderLength, entry + 1, nameLength + 1);
        if (entry[0] == MARK_FOLDER) {
            walkLevel(folderLength + nameLength, listing.namesEnd, listing.first + listing.count,
                      visit, context);
        } else {
            visit(context, walkPath, FoundEntry::File, failed(OpenError::None));
        }
        walkPath[pathLength] = '\0';
    }
}

}  // namespace

void walkFolder(const char* folder, EntryVisitor visit, void* context) {
    const std::size_t length = std::strlen(folder);
    if (length >= sizeof walkPath) {
        visit(context, folder, FoundEntry::Unreadable, failed(OpenError::Other, ENAMETOOLONG));
        return;
    }
    std::memcpy(walkPath, folder, length + 1);
    walkLevel(length, 0, 0, visit, context);
}

bool isWildcard(const char*) {
    return false;
}

std::size_t matchWildcard(const char*, EntryVisitor, void*) {
    return 0;
}
