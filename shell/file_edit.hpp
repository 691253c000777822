// The time-keeping file edit: capture the file's times, open it for editing,
// and after the edit close what we opened and put the times back.
// One implementation per platform: file_edit_posix.cpp, file_edit_win32.cpp.
#pragma once

#include <cstdint>

#include "edit_stream.hpp"

// The three times, as the platform gives them; never interpreted.
// Windows: FILETIME values (100 ns since 1601). POSIX: nanoseconds since 1970;
// no creation time can be set there, so it is not kept.
struct FileTimes {
    std::int64_t creation;
    std::int64_t lastAccess;
    std::int64_t lastWrite;
};

enum class FinishStatus {
    Done,
    CannotReopen,  // the edit is on disk; the times are those the edit gave it
    CannotWrite,   // a write or the flush failed; the times were left alone
};

// Reads the times through an exclusive open: fails when the path is not a
// regular file that can be opened, or when another process has it open.
bool captureTimes(const char* path, FileTimes& times);

// Opens the existing file for reading and writing ("rb+") as the edit stream.
bool openForEdit(const char* path, EditStream& stream);

// Sends the pending writes and closes the edit stream's file; false if a
// write, the flush or the close failed.
bool closeEditStream(EditStream& stream);

// Closes the streams the program opened (the edit stream among them), then
// reopens the file exclusively and restores the captured times.
FinishStatus finishEdit(EditStream& stream, const char* path, const FileTimes& times);
