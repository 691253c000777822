// The file edit on Windows. The file is opened once with share mode 0, for
// reading and writing: the open fails while any other process has the file
// open, and every other open fails until ours is closed. The times are read,
// the edit is made and all three times (creation included) are put back
// through that one handle.
//
// Paths arrive as UTF-8 (console_win32.cpp reads the command line as UTF-16
// and converts it) and go to the wide-character API, so any name opens, and
// never a look-alike that an ANSI conversion would make of it. They are made
// absolute and, when long, given the \\?\ prefix, which lifts the 260-character
// limit without any registry setting.
#include <windows.h>

#include <cstring>

#include "file_edit.hpp"

namespace {

constexpr DWORD LONGEST_PATH = 32768;

// The path as the wide API wants it, or false if it is no valid UTF-8 or too long.
bool toWidePath(const char* path, wchar_t* wide) {
    wchar_t given[LONGEST_PATH];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, given, LONGEST_PATH) == 0) {
        return false;
    }
    const DWORD length = GetFullPathNameW(given, LONGEST_PATH - 8, wide + 8, nullptr);
    if (length == 0 || length >= LONGEST_PATH - 8) {
        return false;
    }
    wchar_t* full = wide + 8;
    if (length < MAX_PATH) {  // short enough for every API as it is
        std::memmove(wide, full, (length + 1) * sizeof(wchar_t));
        return true;
    }
    if (full[0] == L'\\' && full[1] == L'\\') {
        if (full[2] == L'?' || full[2] == L'.') {  // already a device or \\?\ path
            std::memmove(wide, full, (length + 1) * sizeof(wchar_t));
            return true;
        }
        // \\server\share\... becomes \\?\UNC\server\share\...
        std::memcpy(wide, L"\\\\?\\UNC", 7 * sizeof(wchar_t));
        std::memmove(wide + 7, full + 1, length * sizeof(wchar_t));
        return true;
    }
    std::memcpy(wide + 4, L"\\\\?\\", 4 * sizeof(wchar_t));
    std::memmove(wide, wide + 4, (length + 5) * sizeof(wchar_t));
    return true;
}

FileTime fromFileTime(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME toFileTime(FileTime value) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

}  // namespace

bool captureTimes(const char* path, EditFile& file, FileTimes& times) {
    wchar_t wide[LONGEST_PATH];
    if (!toWidePath(path, wide)) {
        return false;
    }
    const HANDLE handle = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    FILETIME creation = {};
    FILETIME lastAccess = {};
    FILETIME lastWrite = {};
    // The times first: Wine may read the file to answer other questions. A
    // file whose times cannot be read cannot have them put back.
    if (GetFileTime(handle, &creation, &lastAccess, &lastWrite) == 0 ||
        GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return false;
    }
    file.handle = handle;
    times.creation = fromFileTime(creation);
    times.lastAccess = fromFileTime(lastAccess);
    times.lastWrite = fromFileTime(lastWrite);
    return true;
}

// Windows refuses to open a read-only file for writing, but Wine run by root
// does not; so the attribute is checked here, and the file is refused alike.
bool openForEdit(EditFile file, EditStream& stream) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileInformationByHandle(file.handle, &information) == 0 ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
            0) {
        CloseHandle(file.handle);
        return false;
    }
    // Reading through this handle must not move the access time, so that a
    // file read but not edited keeps all three times.
    const FILETIME keep = {0xFFFFFFFFu, 0xFFFFFFFFu};
    SetFileTime(file.handle, nullptr, &keep, nullptr);
    attachEditStream(stream, file);
    return true;
}

bool closeEditStream(EditStream& stream) {
    bool written = flushEditStream(stream);
    if (CloseHandle(stream.file.handle) == 0) {
        written = false;
    }
    stream.file.handle = INVALID_HANDLE_VALUE;
    return written;
}

std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        DWORD got = 0;
        if (ReadFile(file.handle, bytes + done, static_cast<DWORD>(count - done), &got, &at) == 0 ||
            got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

bool writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                 std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        DWORD put = 0;
        if (WriteFile(file.handle, bytes + done, static_cast<DWORD>(count - done), &put, &at) ==
                0 ||
            put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

FinishStatus finishEdit(EditStream& stream, const FileTimes& times) {
    const FILETIME creation = toFileTime(times.creation);
    const FILETIME lastAccess = toFileTime(times.lastAccess);
    const FILETIME lastWrite = toFileTime(times.lastWrite);
    if (!flushEditStream(stream)) {
        // The edit was undone; the times go back as well, as far as we can.
        SetFileTime(stream.file.handle, &creation, &lastAccess, &lastWrite);
        closeEditStream(stream);
        return FinishStatus::CannotWrite;
    }
    const bool kept = SetFileTime(stream.file.handle, &creation, &lastAccess, &lastWrite) != 0;
    if (!closeEditStream(stream)) {
        return FinishStatus::CannotWrite;
    }
    return kept ? FinishStatus::Done : FinishStatus::TimesNotKept;
}

bool isRegularFile(const char* path) {
    wchar_t wide[LONGEST_PATH];
    if (!toWidePath(path, wide)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}
