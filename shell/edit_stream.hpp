// The edit stream: the one way the engines reach the font file.
//
// Engines address the file only by absolute offsets. Behind that, the stream
// keeps one window of the file in memory, with a copy of the bytes as they
// were read: reads are served from the window, writes land in it, and a flush
// writes to the file only the runs of bytes that now differ from what was
// read. An unchanged byte is never written, so another writer's bytes in
// between survive, and a run of either engine costs one read and a few writes.
//
// The edit is all or nothing: if a write fails, the bytes already written are
// put back as they were read, so the file never holds half the new names.
#pragma once

#include <cstddef>
#include <cstdint>

// The file under the stream, opened once for the whole run (file_edit_*.cpp):
// a descriptor on POSIX, a HANDLE on Windows.
struct EditFile {
#ifdef _WIN32
    void* handle;
#else
    int descriptor;
#endif
};

// Platform I/O at absolute offsets: reads up to count bytes (returns how many
// the file holds there); writes all count bytes (false if it could not).
std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count);
bool writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                 std::size_t count);

// Large enough for the whole region either engine touches (Velnari: the first
// 4,143 bytes; VelnariL: 0x04D817 to 0x050B88), so one fill serves a run.
inline constexpr std::size_t EDIT_CACHE_SIZE = 16384;

struct EditStream {
    EditFile file;
    std::uint32_t cacheStart;  // file offset of cache[0]
    std::size_t cacheLength;   // file bytes held in cache; less than the size only at end of file
    bool filled;               // cache holds what the file had at cacheStart
    std::size_t dirtyBegin;    // cache positions written since the last flush
    std::size_t dirtyEnd;      // (dirtyBegin == dirtyEnd: none)
    bool failed;               // a write to the file failed (and was undone)
    bool written;              // at least one byte of the file was changed
    std::uint8_t cache[EDIT_CACHE_SIZE];
    std::uint8_t original[EDIT_CACHE_SIZE];  // the same bytes as read from the file
};

// Starts an edit stream on a file just opened for editing.
void attachEditStream(EditStream& stream, EditFile file);

// Reads up to count bytes at offset; returns how many the file holds there.
std::size_t readAt(EditStream& stream, std::uint32_t offset, std::uint8_t* bytes,
                   std::size_t count);

// Writes count bytes at offset. Failures are remembered, not reported here:
// the run asks once, when the stream is flushed.
void writeAt(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
             std::size_t count);

// Sends every pending change to the file. Returns false if this or any
// earlier write failed; the file then holds none of the failed flush's changes.
bool flushEditStream(EditStream& stream);
