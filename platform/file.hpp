// The platform's file primitives, one implementation per platform
// (file_posix.cpp, file_win32.cpp). The edit stream and the
// file edit are built on these alone, so the order of the edit (writes,
// times, sync, close) is written once, in file_edit.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// The file being edited, open for the whole edit: a descriptor on POSIX, a
// HANDLE on Windows.
struct EditFile {
#ifdef _WIN32
    void* handle;
#else
    int descriptor;
#endif
};

// One file time as the platform keeps it, never interpreted. Windows: a
// FILETIME (100 ns intervals since 1601). POSIX: seconds and nanoseconds
// since 1970, kept apart so that no date the file system can hold overflows.
#ifdef _WIN32
using FileTime = std::uint64_t;
#else
using FileTime = struct timespec;
#endif

// POSIX cannot set a creation time, so there it is not kept.
struct FileTimes {
    FileTime creation;
    FileTime lastAccess;
    FileTime lastWrite;
};

// Whether reading a file may move its access time even though we asked it
// not to: Wine does not honour SetFileTime's "keep" request, so there the
// captured times are put back on a file that was only read. POSIX reads with
// O_NOATIME, and setting the times again would only move the change time.
#ifdef _WIN32
inline constexpr bool READING_MAY_MOVE_ACCESS_TIME = true;
#else
inline constexpr bool READING_MAY_MOVE_ACCESS_TIME = false;
#endif

// Why a file could not be opened for the edit: one cause, one line to the user.
enum class OpenError : unsigned char {
    None,
    NotFound,        // no such file or folder on the path
    NotRegularFile,  // a folder, a device, a FIFO
    InUse,           // another program has it open, or holds a lease or lock on it
    ReadOnly,        // no write permission at all, or a read-only attribute
    ReadOnlyDrive,   // on a read-only file system or a write-protected medium
    TimesNotOurs,    // not its owner: its times could not be put back
    Installed,       // Windows: held by Windows itself, as an installed font is
    AccessDenied,    // any other refusal of permission
    Other,           // anything else; code holds the platform's error number
};

struct OpenResult {
    OpenError error;
    unsigned long code;  // errno or GetLastError(), for OpenError::Other
};

// Opens path for reading and writing, exclusively: while file is open no
// other process can open it, and the open fails (InUse) while another has it
// open. Reads the file's times into times. Fails, with nothing opened, unless
// path is a regular file that may be written and whose times we may set.
OpenResult openExclusive(const char* path, EditFile& file, FileTimes& times);

// Opens path for reading only, sharing it with other readers, and reads its
// times into times: for a look that writes nothing, so it works on read-only
// files and drives. Reading keeps the access time where the platform lets a
// reader ask so (O_NOATIME, for the file's owner). Fails, with nothing
// opened, unless path is a regular file.
OpenResult openForReading(const char* path, EditFile& file, FileTimes& times);

// Reads up to count bytes at offset; returns how many the file holds there
// (0 on an error).
std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count);

// Writes count bytes at offset, in one call where the platform allows.
// Returns how many reached the file: count on success, fewer on a failure.
std::size_t writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                        std::size_t count);

// The file's current size in bytes; 0 if it cannot be read.
std::uint64_t fileSize(EditFile& file);

// Sets the file's times to those captured (all three where the platform can);
// false if they could not be set.
bool setFileTimes(EditFile& file, const FileTimes& times);

// Sends the file's data and times to the device; false if the device did not
// confirm them.
bool syncFile(EditFile& file);

// Closes the file; false if the close reported an error (it is closed anyway).
bool closeFile(EditFile& file);

// Whether something (a file, a folder, a device, a link) exists at path.
bool pathExists(const char* path);

// What is at path, links followed: nothing, a folder, or anything else.
enum class PathKind { Missing, Folder, Other };
PathKind pathKind(const char* path);

// What a folder walk or a wildcard found at a path.
enum class FoundEntry {
    File,        // anything but a folder: a file, a link to one, a device
    Folder,      // a folder (a wildcard's match only: a walk goes into it)
    Unreadable,  // a folder whose entries could not be listed; cause says why
};

// Called once for each entry found, with its path as the run prints and opens it.
using EntryVisitor = void (*)(void* context, const char* path, FoundEntry entry, OpenResult cause);

// Visits every entry of folder and of its subfolders, depth first, in name
// order within each folder (byte order on POSIX, case-insensitive on
// Windows): File for each entry that is no folder, Unreadable (with its
// cause) for folder itself or a subfolder whose entries cannot be listed.
// Links to folders inside it (symbolic links, junctions, any reparse point)
// are passed over without a visit, so the walk always ends and stays inside
// folder. The paths are folder's, as given, with the names appended.
void walkFolder(const char* folder, EntryVisitor visit, void* context);

// Whether word is a wildcard that the program expands itself: on Windows, a
// word holding * or ?, since its shells pass them on as typed; never on
// POSIX, whose shells expand them before the program starts.
bool isWildcard(const char* word);

// Visits each entry that pattern matches (File or Folder), in name order, as
// cmd's dir matches: case-insensitively, among the entries of the folder the
// pattern names, hidden and system entries left out. Returns the number of
// matches; 0 when none, or when the folder cannot be read.
std::size_t matchWildcard(const char* pattern, EntryVisitor visit, void* context);
