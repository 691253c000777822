// The file edit on Windows: exclusive opens (share mode 0) around the edit,
// so that it fails rather than waits while any other process has the file
// open, and all three times (creation included) put back as they were.
#include <windows.h>

#include <cstdio>

#include "file_edit.hpp"

namespace {

HANDLE openExclusive(const char* path, DWORD access) {
    return CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::int64_t fromFileTime(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

FILETIME toFileTime(std::int64_t value) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
    return time;
}

}  // namespace

bool captureTimes(const char* path, FileTimes& times) {
    const HANDLE handle = openExclusive(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME creation = {};
    FILETIME lastAccess = {};
    FILETIME lastWrite = {};
    GetFileTime(handle, &creation, &lastAccess, &lastWrite);
    CloseHandle(handle);
    times.creation = fromFileTime(creation);
    times.lastAccess = fromFileTime(lastAccess);
    times.lastWrite = fromFileTime(lastWrite);
    return true;
}

bool openForEdit(const char* path, EditStream& stream) {
    std::FILE* file = std::fopen(path, "rb+");
    if (file == nullptr) {
        return false;
    }
    // The edit stream is the buffer; a second one in the runtime would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    attachEditStream(stream, EditFile{-1, file});
    return true;
}

bool closeEditStream(EditStream& stream) {
    bool written = flushEditStream(stream);
    if (std::fclose(stream.file.stream) != 0) {
        written = false;
    }
    stream.file.stream = nullptr;
    return written;
}

// Seeking before every read and write is also what makes switching between
// reading and writing valid on one runtime stream.
std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count) {
    if (std::fseek(file.stream, static_cast<long>(offset), SEEK_SET) != 0) {
        return 0;
    }
    return std::fread(bytes, 1, count, file.stream);
}

bool writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                 std::size_t count) {
    return std::fseek(file.stream, static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fwrite(bytes, 1, count, file.stream) == count;
}

bool flushFile(EditFile& file) {
    return std::fflush(file.stream) == 0;
}

FinishStatus finishEdit(EditStream& stream, const char* path, const FileTimes& times) {
    // Flush first: _fcloseall reports only that some close failed, and the
    // edit stream's own pending writes are what matter.
    bool written = flushEditStream(stream);
    if (_fcloseall() == EOF) {
        written = false;
    }
    stream.file.stream = nullptr;
    if (!written) {
        return FinishStatus::CannotWrite;
    }

    const HANDLE handle = openExclusive(path, GENERIC_WRITE);
    if (handle == INVALID_HANDLE_VALUE) {
        return FinishStatus::CannotReopen;
    }
    const FILETIME creation = toFileTime(times.creation);
    const FILETIME lastAccess = toFileTime(times.lastAccess);
    const FILETIME lastWrite = toFileTime(times.lastWrite);
    SetFileTime(handle, &creation, &lastAccess, &lastWrite);
    CloseHandle(handle);
    return FinishStatus::Done;
}
