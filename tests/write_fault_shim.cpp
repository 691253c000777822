// LD_PRELOAD shim for the end-to-end tests: makes writes to the font file fail
// the way a pulled USB stick or a lost network share does, so that the real
// programs can be seen to report it. WRITE_FAULT=write fails every fwrite to a
// stream other than the standard ones; WRITE_FAULT=close makes their fflush
// and fclose report failure (fclose still closes the stream).
#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool faultIs(const char* mode) {
    const char* fault = std::getenv("WRITE_FAULT");
    return fault != nullptr && std::strcmp(fault, mode) == 0;
}

bool isStandard(FILE* stream) {
    return stream == stdin || stream == stdout || stream == stderr;
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    if (!isStandard(stream) && faultIs("write")) {
        errno = EIO;
        return 0;
    }
    return real<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite")(data, size, count,
                                                                          stream);
}

extern "C" int fflush(FILE* stream) {
    const int result = real<int (*)(FILE*)>("fflush")(stream);
    if (stream != nullptr && !isStandard(stream) && faultIs("close")) {
        errno = EIO;
        return EOF;
    }
    return result;
}

extern "C" int fclose(FILE* stream) {
    const bool fail = !isStandard(stream) && faultIs("close");
    const int result = real<int (*)(FILE*)>("fclose")(stream);
    if (fail) {
        errno = EIO;
        return EOF;
    }
    return result;
}
