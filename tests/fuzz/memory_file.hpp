// The fuzz targets' file: an in-memory file (memfd) holding the input,
// opened as an edit stream like a real font, so that the engines run
// exactly as in the programs and any write past its end would show in its size.
#pragma once

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "edit_stream.hpp"
#include "file_edit.hpp"

using Bytes = std::vector<std::uint8_t>;

// Stops the run loudly: a broken promise of the engine.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// One memfd for the whole fuzzing process; each input is laid into it anew.
inline int memoryFile() {
    static const int fd = memfd_create("fuzz-font", 0);
    FUZZ_CHECK(fd >= 0);
    return fd;
}

// Lays data into the memory file at offset at (zeros before it) and opens it.
inline void openMemoryFile(EditStream& stream, const std::uint8_t* data, std::size_t size,
                           std::size_t at = 0) {
    const int fd = memoryFile();
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(ftruncate(fd, static_cast<off_t>(at + size)) == 0);
    FUZZ_CHECK(size == 0 ||
               pwrite(fd, data, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size));
    attachEditStream(stream, EditFile{dup(fd)});
}

// Flushes and closes the stream; returns the file's bytes from offset at on,
// after checking that the file kept its length and that nothing was written
// into the zeros before at (they are a hole in the memory file: any write
// there would have given it data).
inline Bytes closeMemoryFile(EditStream& stream, std::size_t size, std::size_t at = 0) {
    const int fd = memoryFile();
    struct stat info = {};
    FUZZ_CHECK(fstat(fd, &info) == 0);
    const FileTimes times{{}, info.st_atim, info.st_mtim};
    FUZZ_CHECK(flushEditStream(stream, times) == FlushResult::Written);
    FUZZ_CHECK(closeFile(stream.file));
    FUZZ_CHECK(fstat(fd, &info) == 0);
    FUZZ_CHECK(static_cast<std::size_t>(info.st_size) == at + size);
    if (at > 0 && size > 0) {
        const off_t firstData = lseek(fd, 0, SEEK_DATA);
        FUZZ_CHECK(firstData >= static_cast<off_t>(at & ~std::size_t{4095}));
    }
    Bytes bytes(size);
    FUZZ_CHECK(size == 0 ||
               pread(fd, bytes.data(), size, static_cast<off_t>(at)) == static_cast<ssize_t>(size));
    return bytes;
}
