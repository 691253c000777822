// The time-keeping file edit. The file is opened once, exclusively, for
// reading and writing; its times are read, the edit is made, and the times
// are put back, all through that one handle, which is closed before the run
// says anything more. Nobody else can open the file in between, so no one's
// bytes are overwritten, and no second open can fail after the edit.
// One implementation per platform: file_edit_posix.cpp, file_edit_win32.cpp.
#pragma once

#include <cstdint>
#include <ctime>

#include "edit_stream.hpp"

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

enum class FinishStatus {
    Done,
    CannotWrite,   // a write failed: the edit was undone and the times put back, as far as could be
    TimesNotKept,  // the edit is in the file, but its times could not be put back
};

// Opens the file for the whole run (exclusively, for reading and writing)
// and reads its times through it. Fails when the path is not a regular file
// that can be opened so, or when another process has it open.
bool captureTimes(const char* path, EditFile& file, FileTimes& times);

// Starts the edit stream on the file captureTimes opened, if the file may be
// edited with its times kept: not read-only, and its times ours to set.
// Otherwise closes the file and fails.
bool openForEdit(EditFile file, EditStream& stream);

// Sends the pending writes and closes the file without touching its times;
// false if a write or the close failed.
bool closeEditStream(EditStream& stream);

// Sends the pending writes, puts the captured times back and closes the file.
FinishStatus finishEdit(EditStream& stream, const FileTimes& times);

// Whether path names an existing regular file (not a directory or device).
bool isRegularFile(const char* path);
