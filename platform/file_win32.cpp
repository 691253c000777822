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
// After windows.h, which they need.
#include <shlobj.h>

#include <algorithm>
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

// Whether folder (length characters, without a final backslash) is the one
// that known names, trailing backslash or not, whatever the case.
bool isSameFolder(const wchar_t* folder, std::size_t length, const wchar_t* known) {
    std::size_t knownLength = std::wcslen(known);
    knownLength -= knownLength > 0 && known[knownLength - 1] == L'\\' ? 1 : 0;
    return CompareStringOrdinal(folder, static_cast<int>(length), known,
                                static_cast<int>(knownLength), TRUE) == CSTR_EQUAL;
}

// Whether the file at wide (a full path) lies in Windows' Fonts folder or in
// the user's (%LOCALAPPDATA%\Microsoft\Windows\Fonts): where the fonts Windows
// has installed are, and held open by Windows itself, not by a program that
// the user could close.
bool inFontsFolder(const wchar_t* wide) {
    const wchar_t* path = std::wcsncmp(wide, L"\\\\?\\", 4) == 0 ? wide + 4 : wide;
    const wchar_t* name = std::wcsrchr(path, L'\\');
    if (name == nullptr) {
        return false;
    }
    const std::size_t length = static_cast<std::size_t>(name - path);
    wchar_t known[MAX_PATH + 32];
    if (SHGetFolderPathW(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, known) == S_OK &&
        isSameFolder(path, length, known)) {
        return true;
    }
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, known) !=
        S_OK) {
        return false;
    }
    std::wcscat(known, L"\\Microsoft\\Windows\\Fonts");  // at most MAX_PATH before it
    return isSameFolder(path, length, known);
}

// Names the cause of a failed CreateFileW from its error, looking at the
// file's attributes and its volume where the error alone cannot tell: a
// folder, a read-only file and a read-only volume are all "access denied".
// A font that Windows has installed is held by Windows: open in one of its
// Fonts folders, or mapped into memory anywhere.
OpenResult causeOf(DWORD error, const wchar_t* wide) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE:
            return failed(OpenError::NotFound);
        case ERROR_SHARING_VIOLATION:
            return failed(inFontsFolder(wide) ? OpenError::Installed : OpenError::InUse);
        case ERROR_USER_MAPPED_FILE:
            return failed(OpenError::Installed);
        case ERROR_LOCK_VIOLATION:
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
        // Wine reads the file to answer, and moves its access time: a file
        // refused is left as it was found.
        SetFileTime(handle, &creation, &lastAccess, &lastWrite);
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

PathKind pathKind(const char* path) {
    wchar_t wide[LONGEST_PATH];
    const DWORD attributes =
        toWidePath(path, wide) ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::Missing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::Other;
}

namespace {

// Folder listings, for the walk and for wildcards. Name order needs every
// name of a folder at once, so a folder's names are read whole into a static
// arena (UTF-16, as Windows compares them), sorted, then visited, a
// subfolder's before the next name. A folder's names stay below its
// subfolders' while these are walked, without the heap. A wildcard's matches
// have an arena of their own, since a matched folder is walked while the
// other matches wait.
struct Arena {
    // Room for some 50,000 names: more would make a larger program image,
    // which every run pays for. A folder that does not fit cannot be listed.
    static constexpr std::size_t NAMES = std::size_t{1} << 20;
    static constexpr std::size_t ORDER = std::size_t{1} << 18;
    wchar_t names[NAMES];        // for each entry a mark, then its name and a NUL
    std::uint32_t order[ORDER];  // offsets in names, sorted by name
};
Arena walkArena;
Arena matchArena;
char walkPath[3 * LONGEST_PATH];  // the path being visited, UTF-8

constexpr wchar_t MARK_FILE = L'f';
constexpr wchar_t MARK_FOLDER = L'd';
constexpr wchar_t NO_MARK = L'\0';  // an entry passed over

// One folder's entries: their offsets at order[first, first + count), sorted
// by name; names and offsets after them are free.
struct Listing {
    std::size_t first;
    std::size_t count;
    std::size_t namesEnd;
};

// Why the entries of a folder could not be listed: as for a file, but a
// refusal is one of access alone, the folder being a folder.
OpenResult causeOfListing(DWORD error, const wchar_t* pattern) {
    return error == ERROR_ACCESS_DENIED ? failed(OpenError::AccessDenied) : causeOf(error, pattern);
}

bool isDotOrDotDot(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// How a found entry is listed: a walk goes into folders and passes over links
// to folders (junctions, any reparse point); a wildcard leaves out hidden and
// system entries, as dir does.
wchar_t markOf(const WIN32_FIND_DATAW& found, bool matching) {
    const DWORD attributes = found.dwFileAttributes;
    if (isDotOrDotDot(found.cFileName)) {
        return NO_MARK;
    }
    if (matching && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
        return NO_MARK;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return MARK_FILE;
    }
    return !matching && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? NO_MARK : MARK_FOLDER;
}

// Lists what pattern (a folder's path and "\*", or a wildcard) finds into
// arena from namesTop and orderTop, sorted by name. A pattern that finds
// nothing is an empty listing.
OpenResult listMatches(const wchar_t* pattern, bool matching, Arena& arena, std::size_t namesTop,
                       std::size_t orderTop, Listing& listing) {
    listing = {orderTop, 0, namesTop};
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || (matching && error == ERROR_INVALID_NAME)
                   ? failed(OpenError::None)
                   : causeOfListing(error, pattern);
    }
    do {
        const wchar_t mark = markOf(found, matching);
        const std::size_t size = std::wcslen(found.cFileName) + 2;
        if (mark == NO_MARK) {
            continue;
        }
        if (listing.namesEnd + size > Arena::NAMES || orderTop + listing.count == Arena::ORDER) {
            FindClose(search);
            return failed(OpenError::Other, ERROR_NOT_ENOUGH_MEMORY);
        }
        arena.names[listing.namesEnd] = mark;
        std::wmemcpy(arena.names + listing.namesEnd + 1, found.cFileName, size - 1);
        arena.order[orderTop + listing.count++] = static_cast<std::uint32_t>(listing.namesEnd);
        listing.namesEnd += size;
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
    const wchar_t* names = arena.names;
    std::sort(arena.order + orderTop, arena.order + orderTop + listing.count,
              [names](std::uint32_t a, std::uint32_t b) {
                  return CompareStringOrdinal(names + a + 1, -1, names + b + 1, -1, TRUE) ==
                         CSTR_LESS_THAN;
              });
    return failed(OpenError::None);
}

// Appends entry's name (after its mark) to the UTF-8 path of pathLength bytes
// at path, after a separator where one is needed; returns the new length, or
// 0 when it does not fit.
std::size_t appendName(char* path, std::size_t pathLength, const wchar_t* entry) {
    const char last = pathLength > 0 ? path[pathLength - 1] : '\\';
    const bool separated = last == '\\' || last == '/' || (pathLength == 2 && last == ':');
    const std::size_t at = pathLength + (separated ? 0 : 1);
    const int size = WideCharToMultiByte(CP_UTF8, 0, entry + 1, -1, path + at,
                                         static_cast<int>(3 * LONGEST_PATH - at), nullptr, nullptr);
    if (size == 0) {
        return 0;
    }
    path[pathLength] = separated ? path[pathLength] : '\\';
    return at + static_cast<std::size_t>(size) - 1;
}

void walkLevel(std::size_t pathLength, std::size_t namesTop, std::size_t orderTop,
               EntryVisitor visit, void* context) {
    static wchar_t pattern[LONGEST_PATH];
    Listing listing{};
    OpenResult listed = failed(OpenError::Other, ERROR_FILENAME_EXCED_RANGE);
    if (toWidePath(walkPath, pattern) && std::wcslen(pattern) + 2 < LONGEST_PATH) {
        std::wcscat(pattern, L"\\*");
        listed = listMatches(pattern, false, walkArena, namesTop, orderTop, listing);
    }
    if (listed.error != OpenError::None) {
        visit(context, walkPath, FoundEntry::Unreadable, listed);
        return;
    }
    for (std::size_t i = 0; i < listing.count; ++i) {
        const wchar_t* entry = walkArena.names + walkArena.order[listing.first + i];
        const std::size_t length = appendName(walkPath, pathLength, entry);
        if (length == 0) {
            visit(context, walkPath, FoundEntry::Unreadable,
                  failed(OpenError::Other, ERROR_FILENAME_EXCED_RANGE));
        } else if (entry[0] == MARK_FOLDER) {
            walkLevel(length, listing.namesEnd, listing.first + listing.count, visit, context);
        } else {
            visit(context, walkPath, FoundEntry::File, failed(OpenError::None));
        }
        walkPath[pathLength] = '\0';
    }
}

// Where the last component of a path starts: after its last separator, or
// after a drive's colon.
std::size_t nameStart(const char* path) {
    std::size_t start = 0;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[1] == ':')) {
            start = i + 1;
        }
    }
    return start;
}

}  // namespace

void walkFolder(const char* folder, EntryVisitor visit, void* context) {
    const std::size_t length = std::strlen(folder);
    if (length >= sizeof walkPath) {
        visit(context, folder, FoundEntry::Unreadable,
              failed(OpenError::Other, ERROR_FILENAME_EXCED_RANGE));
        return;
    }
    std::memcpy(walkPath, folder, length + 1);
    walkLevel(length, 0, 0, visit, context);
}

bool isWildcard(const char* word) {
    return std::strpbrk(word, "*?") != nullptr;
}

std::size_t matchWildcard(const char* pattern, EntryVisitor visit, void* context) {
    static wchar_t wide[LONGEST_PATH];
    static char path[3 * LONGEST_PATH];
    Listing listing{};
    if (!toWidePath(pattern, wide) ||
        listMatches(wide, true, matchArena, 0, 0, listing).error != OpenError::None) {
        return 0;
    }
    const std::size_t folderLength = nameStart(pattern);
    std::memcpy(path, pattern, folderLength);
    path[folderLength] = '\0';
    for (std::size_t i = 0; i < listing.count; ++i) {
        const wchar_t* entry = matchArena.names + matchArena.order[i];
        if (appendName(path, folderLength, entry) != 0) {
            visit(context, path, entry[0] == MARK_FOLDER ? FoundEntry::Folder : FoundEntry::File,
                  failed(OpenError::None));
        }
        path[folderLength] = '\0';
    }
    return listing.count;
}
