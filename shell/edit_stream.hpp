// The edit stream: the one way the engines reach the font file.
//
// Engines address the file only by absolute offsets. Behind that, the stream
// keeps one window of the file in memory: reads are served from it, and writes
// land in it and reach the file when the stream is flushed. A run of either
// engine touches one small region of the file, so a whole run costs one read
// and at most one write instead of a seek and a read per probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The file under the stream, open for reading and writing on an existing file
// ("rb+"): a descriptor on POSIX, the C runtime's stream on Windows. Each
// platform's file_edit_*.cpp fills in its own and does the I/O below.
struct EditFile {
    int descriptor;
    std::FILE* stream;
};

// Platform I/O at absolute offsets: reads up to count bytes (returns how many
// the file holds there); writes all count bytes (false if it could not).
std::size_t readFileAt(EditFile& file, std::uint32_t offset, std::uint8_t* bytes,
                       std::size_t count);
bool writeFileAt(EditFile& file, std::uint32_t offset, const std::uint8_t* bytes,
                 std::size_t count);
// Pushes what the platform still buffers to the file; false if it could not.
bool flushFile(EditFile& file);

// Large enough for the whole region either engine touches (Velnari: the first
// 4,143 bytes; VelnariL: 0x04D817 to 0x050B88), so one fill serves a run.
inline constexpr std::size_t EDIT_CACHE_SIZE = 16384;

struct EditStream {
    EditFile file;
    std::uint32_t cacheStart;  // file offset of cache[0]
    std::size_t cacheLength;   // file bytes held in cache; less than the size only at end of file
    bool filled;               // cache holds what the file had at cacheStart
    std::size_t dirtyBegin;    // cache positions whose bytes the file does not have yet
    std::size_t dirtyEnd;      // (dirtyBegin == dirtyEnd: none)
    bool failed;               // a write to the file, or its flush, failed
    std::uint8_t cache[EDIT_CACHE_SIZE];
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

// Sends every pending write to the file. Returns false if this or any
// earlier write failed.
bool flushEditStream(EditStream& stream);
