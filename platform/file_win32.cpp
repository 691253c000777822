// The file primitives on Windows. The file is opened once with share mode 0, for
// reading and writing: the open fails while any other process has the file
// open, and every other open fails until ours is closed. The times are read,
// the edit is made and all three times (creation included) are put back
// through that one handle.
//
// Paths arrive as UTF-8 (console_win32.cpp reads the command line as UTF-16
// and converts it) and go to the wide-character API, so any name opens, and
// never a look-alike that an ANSI conversion would make of it. They are made
// absolute and, when long, given the \\?\ prefix, which lifts the 260-character
// limit without any registry setting. A name whose last component ends in a
// dot or a space keeps it: the full-path conversion would trim it and open
// another file ("twin.ttf." would become "twin.ttf"), so only the folder is
// converted and the name is appended as given, behind \\?\ (Wine trims even
// \\?\ paths in that conversion).
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "file.hpp"

namespace {

constexpr DWORD LONGEST_PATH = 32768;
constexpr DWORD PREFIX = 8;  // room for \\?\UNC before the converted path

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The last component of given: where it starts, and whether it ends in a dot
// or a space that the conversion would trim ("." and ".." are meant as folders).
bool keepsTrailingDotOrSpace(const wchar_t* given, std::size_t& nameStart) {
    std::size_t length = 0;
    nameStart = 0;
    for (; given[length] != L'\0'; ++length) {
        if (isSeparator(given[length]) || (length == 1 && given[1] == L':')) {
            nameStart = length + 1;
        }
    }
    const wchar_t* name = given + nameStart;
    const std::size_t nameLength = length - nameStart;
    if (nameLength == 0 || (name[nameLength - 1] != L'.' && name[nameLength - 1] != L' ')) {
        return false;
    }
    return std::wcscmp(name, L".") != 0 && std::wcscmp(name, L"..") != 0;
}

// Converts given to a full path at full; its length, or 0 on failure. A name
// with a trailing dot or space gets its folder converted and itself appended.
DWORD fullPath(const wchar_t* given, wchar_t* full, bool& needsPrefix) {
    std::size_t nameStart = 0;
    needsPrefix = keepsTrailingDotOrSpace(given, nameStart);
    if (!needsPrefix) {
        return GetFullPathNameW(given, LONGEST_PATH - PREFIX, full, nullptr);
    }
    wchar_t folder[LONGEST_PATH];
    std::wmemcpy(folder, given, nameStart);
    folder[nameStart] = L'\0';
    if (nameStart == 0 || (nameStart == 2 && given[1] == L':')) {
        std::wcscpy(folder + nameStart, L".\\");  // the current folder (of that drive)
    }
    DWORD length = GetFullPathNameW(folder, LONGEST_PATH - PREFIX, full, nullptr);
    const std::size_t nameLength = std::wcslen(given + nameStart);
    if (length == 0 || length + nameLength + 2 >= LONGEST_PATH - PREFIX) {
        return 0;
    }
    if (!isSeparator(full[length - 1])) {
        full[length++] = L'\\';
    }
    std::wmemcpy(full + length, given + nameStart, nameLength + 1);
    return length + static_cast<DWORD>(nameLength);
}

// The path as the wide API wants it, or false if it is no valid UTF-8 or too long.
bool toWidePath(const char* path, wchar_t* wide) {
    wchar_t given[LONGEST_PATH];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, given, LONGEST_PATH) == 0) {
        return false;
    }
    bool needsPrefix = false;
    wchar_t* full = wide + PREFIX;
    const DWORD length = fullPath(given, full, needsPrefix);
    if (length == 0 || length >= LONGEST_PATH - PREFIX) {
        return false;
    }
    const bool devicePath =
        full[0] == L'\\' && full[1] == L'\\' && (full[2] == L'?' || full[2] == L'.');
    if ((length < MAX_PATH && !needsPrefix) || devicePath) {  // usable as it is
        std::memmove(wide, full, (length + 1) * sizeof(wchar_t));
        return true;
    }
    if (full[0] == L'\\' && full[1] == L'\\') {
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

OpenResult failed(OpenError error, DWORD code = 0) {
    return OpenResult{error, code};
}

// Whether the volume that holds wide is read-only (a CD, a write-protected
// card or stick mounted so). Asked through a handle that may only query, so
// that a volume mounted in a folder answers for itself. (Wine reports no
// Unix file system as read-only.)
bool onReadOnlyVolume(const wchar_t* wide) {
    const HANDLE handle =
        CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD flags = 0;
    const bool known = GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags,
                                                     nullptr, 0) != 0;
    CloseHandle(handle);
    return known && (flags & FILE_READ_ONLY_VOLUME) != 0;
}

// Names the cause of a failed CreateFileW from its error, looking at the
// file's attributes and its volume where the error alone cannot tell: a
// folder, a read-only file and a read-only volume are all "access denied".
OpenResult causeOf(DWORD error, const wchar_t* wide) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE:
            return failed(OpenError::NotFound);
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return failed(OpenError::InUse);
        case ERROR_WRITE_PROTECT:
            return failed(OpenError::ReadOnlyDrive);
        case ERROR_ACCESS_DENIED: {
            const DWORD attributes = GetFileAttributesW(wide);
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return failed(OpenError::NotRegularFile);
            }
            if (onReadOnlyVolume(wide)) {
                return failed(OpenError::ReadOnlyDrive);
            }
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
                return failed(OpenError::ReadOnly);
            }
            return failed(OpenError::AccessDenied);
        }
        default:
            return failed(OpenError::Other, error);
    }
}

// Why an open handle may not be read (or, editing, edited), or None. Windows
// refuses to open a read-only file for writing, but Wine run by root does
// not; so the attribute is checked here, and the file is refused alike.
OpenError refusalOf(HANDLE handle, bool editing) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(handle, &information) == 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return OpenError::NotRegularFile;
    }
    if (editing && (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return OpenError::ReadOnly;
    }
    return OpenError::None;
}

// Keeps handle as file, with its times, if refusalOf finds nothing; closes it otherwise.
OpenResult adopt(HANDLE handle, bool editing, EditFile& file, FileTimes& times) {
    FILETIME creation = {};
    FILETIME lastAccess = {};
    FILETIME lastWrite = {};
    // The times first: Wine may read the file to answer other questions. A
    // file whose times cannot be read cannot have them put back.
    if (GetFileTime(handle, &creation, &lastAccess, &lastWrite) == 0) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return failed(OpenError::Other, error);
    }
    const OpenError refusal = refusalOf(handle, editing);
    if (refusal != OpenError::None) {
        CloseHandle(handle);
        return failed(refusal);
    }
    // Reading through this handle must not move the access time, so that a
    // file read but not edited keeps all three times. A handle opened without
    // FILE_WRITE_ATTRIBUTES cannot ask, and the request fails.
    const FILETIME keep = {0xFFFFFFFFu, 0xFFFFFFFFu};
    SetFileTime(handle, nullptr, &keep, nullptr);
    file.handle = handle;
    times.creation = fromFileTime(creation);
    times.lastAccess = fromFileTime(lastAccess);
    times.lastWrite = fromFileTime(lastWrite);
    return failed(OpenError::None);
}

}  // namespace

OpenResult openExclusive(const char* path, EditFile& file, FileTimes& times) {
    wchar_t wide[LONGEST_PATH];
    if (!toWidePath(path, wide)) {
        return failed(OpenError::NotFound);
    }
    const HANDLE handle = CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return causeOf(GetLastError(), wide);
    }
    return adopt(handle, true, file, times);
}

OpenResult openForReading(const char* path, EditFile& file, FileTimes& times) {
    wchar_t wide[LONGEST_PATH];
    if (!toWidePath(path, wide)) {
        return failed(OpenError::NotFound);
    }
    // Other readers may share the file, writers may not: nobody's write can
    // then fall between our read and our putting the times back.
    // FILE_WRITE_ATTRIBUTES lets the access time be kept; a read-only volume
    // refuses it, and the file is then read without.
    HANDLE handle = CreateFileW(wide, GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE &&
        (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_WRITE_PROTECT)) {
        handle = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return causeOf(GetLastError(), wide);
    }
    return adopt(handle, false, file, times);
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

std::size_t writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                        std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        DWORD put = 0;
        if (WriteFile(file.handle, bytes + done, static_cast<DWORD>(count - done), &put, &at) ==
                0 ||
            put == 0) {
            break;
        }
        done += put;
    }
    return done;
}

std::uint64_t fileSize(EditFile& file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file.handle, &size) != 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool setFileTimes(EditFile& file, const FileTimes& times) {
    const FILETIME creation = toFileTime(times.creation);
    const FILETIME lastAccess = toFileTime(times.lastAccess);
    const FILETIME lastWrite = toFileTime(times.lastWrite);
    return SetFileTime(file.handle, &creation, &lastAccess, &lastWrite) != 0;
}

bool syncFile(EditFile& file) {
    return FlushFileBuffers(file.handle) != 0;
}

bool closeFile(EditFile& file) {
    const bool closed = CloseHandle(file.handle) != 0;
    file.handle = INVALID_HANDLE_VALUE;
    return closed;
}

bool pathExists(const char* path) {
    wchar_t wide[LONGEST_PATH];
    return toWidePath(path, wide) && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}
