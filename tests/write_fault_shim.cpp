// LD_PRELOAD shim for the end-to-end tests: makes the edit of the font fail,
// or be disturbed, the way a pulled USB stick, a lost network share or a busy
// system does, so that the real programs can be seen to cope. The font is the
// one file the programs open for reading and writing. WRITE_FAULT is one of:
//   write    every pwrite to it fails
//   second   its second pwrite fails (the first has reached the file)
//   short    its second pwrite writes half its bytes, the third fails
//   undo     its second pwrite fails, and so does every later one (the undo)
//   kill     the process is killed right after its KILL_AFTER-th pwrite, as
//            a closed console window or a crash would end it
//   sync     flushing it to its device (fsync) reports an I/O error
//   close    closing it reports an I/O error (it is still closed)
//   times    setting its times fails, as for a user who does not own it
//   intrude  before its first pwrite, another writer's byte 0xA5 lands at
//            offset INTRUDE_AT, which the program has read as something else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

bool faultIs(const char* mode) {
    const char* fault = std::getenv("WRITE_FAULT");
    return fault != nullptr && std::strcmp(fault, mode) == 0;
}

bool isTheFont(int fd) {
    return fd > 2 && (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int writes = 0;  // pwrite calls to the font so far

}  // namespace

extern "C" ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
    const auto realPwrite = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    if (!isTheFont(fd)) {
        return realPwrite(fd, data, count, offset);
    }
    ++writes;
    if (faultIs("intrude") && writes == 1) {
        const unsigned char theirs = 0xA5;
        realPwrite(fd, &theirs, 1, std::strtol(std::getenv("INTRUDE_AT"), nullptr, 0));
    }
    if (faultIs("write") || (faultIs("second") && writes == 2) ||
        (faultIs("short") && writes == 3) || (faultIs("undo") && writes >= 2)) {
        errno = EIO;
        return -1;
    }
    if (faultIs("short") && writes == 2 && count > 1) {
        count /= 2;
    }
    const ssize_t put = realPwrite(fd, data, count, offset);
    if (faultIs("kill") && writes == std::atoi(std::getenv("KILL_AFTER"))) {
        raise(SIGKILL);
    }
    return put;
}

extern "C" int fsync(int fd) {
    if (faultIs("sync") && isTheFont(fd)) {
        errno = EIO;
        return -1;
    }
    return real<int (*)(int)>("fsync")(fd);
}

extern "C" int close(int fd) {
    const bool fail = faultIs("close") && isTheFont(fd);
    const int result = real<int (*)(int)>("close")(fd);
    if (fail) {
        errno = EIO;
        return -1;
    }
    return result;
}

extern "C" int futimens(int fd, const struct timespec times[2]) {
    if (faultIs("times") && isTheFont(fd)) {
        errno = EPERM;
        return -1;
    }
    return real<int (*)(int, const struct timespec*)>("futimens")(fd, times);
}
