// LD_PRELOAD shim for the end-to-end tests: makes writes to the font file fail
// the way a pulled USB stick or a lost network share does, so that the real
// programs can be seen to report it. The font is the one file the programs
// open for reading and writing. WRITE_FAULT=write fails every pwrite to it;
// WRITE_FAULT=close makes closing it report an I/O error (it is still closed).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>
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

}  // namespace

extern "C" ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
    if (faultIs("write") && isTheFont(fd)) {
        errno = EIO;
        return -1;
    }
    return real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, data, count, offset);
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
