// The edit stream: the one way the engines reach the font file.
//
// Engines address the file only by absolute offsets. Behind that, the stream
// keeps one window of the file in memory, with a copy of the bytes as they
// were read: reads are served from the window and writes land in it. Each
// write call becomes one pending change, the bytes from the first to the last
// byte that the call changes; a flush sends each change to the file in one
// write, in the order of the calls. A process killed between two writes thus
// leaves each engine write (a name, a side of a name, a copy of a name, a
// byte) wholly old or wholly new, and a byte no call changed is never
// written, so another writer's bytes in between survive.
//
// A power cut may keep any of the disk's sectors written since the last sync
// and lose the others. So the changes of writeAheadAt go first, and reach
// the device (with the file's times put back) before any other change is
// sent: an engine that writes one side of a name ahead knows that a power
// cut leaves that name whole or with only that side changed.
//
// The edit is all or nothing where the file lets it be: if a write fails, the
// changes already written are put back as they were read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.hpp"

// Large enough for the whole region either engine touches (Velnari: the first
// 4,143 bytes; VelnariL: 0x04D817 to 0x050B88), so one fill serves a run. The
// engines state this in static_asserts: a write outside the window fails.
inline constexpr std::size_t EDIT_CACHE_SIZE = 16384;

static_assert(EDIT_CACHE_SIZE <= 0xFFFF, "cache positions are kept in 16 bits");

// More changing write calls than either engine makes in one run (Velnari 8:
// 4 names, each in two writes where it crosses a sector boundary; VelnariL 15).
inline constexpr std::size_t EDIT_MAX_CHANGES = 32;

// Cache positions [begin, end) of one write call's changed bytes.
struct EditChange {
    std::uint16_t begin;
    std::uint16_t end;
    bool ahead;  // from writeAheadAt: on the device before any other change is sent
};

struct EditStream {
    EditFile file;
    std::uint32_t cacheStart;  // file offset of cache[0]
    std::size_t cacheLength;   // file bytes held in cache; less than the size only at end of file
    bool filled;               // cache holds what the file had at cacheStart
    bool refused;              // a write could not be taken: the flush writes nothing
    std::size_t changeCount;   // pending changes, in the order of the calls
    EditChange changes[EDIT_MAX_CHANGES];
    std::uint8_t cache[EDIT_CACHE_SIZE];
    std::uint8_t original[EDIT_CACHE_SIZE];  // the same bytes as read from the file
};

// What a flush did to the file.
enum class FlushResult {
    Written,        // every pending change is in the file (or there was none)
    NotWritten,     // nothing was sent: the file is as it was, times included
    Undone,         // a write failed and what reached the file was put back as it was read
    PartlyWritten,  // some changes may be in the file or not on its device: a write failed and
                    // so did the put-back, or the device did not confirm the changes sent ahead
};

// Starts an edit stream on a file just opened for editing.
void attachEditStream(EditStream& stream, EditFile file);

// Reads up to count bytes at offset; returns how many the file holds there.
// The window is filled at the first read or write and moves only while no
// change is pending; a read elsewhere while one is pending returns 0.
std::size_t readAt(EditStream& stream, std::uint32_t offset, std::uint8_t* bytes,
                   std::size_t count);

// Writes count bytes at offset into the window. Returns whether they change
// a byte there, which makes one pending change. A write that does not fit the
// window (or one change too many) refuses the whole edit: it returns false,
// and the next flush writes nothing and says NotWritten.
bool writeAt(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
             std::size_t count);

// Writes count bytes at offset into the window, as writeAt does, as a change
// that the flush sends, and gets onto the file's device, before any change of
// writeAt. Returns whether they change a byte there.
bool writeAheadAt(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
                  std::size_t count);

// Whether a flush would write anything.
bool hasPendingChanges(const EditStream& stream);

// Sends every pending change to the file: first the changes of writeAheadAt,
// then, if there were any, puts times back and syncs the file to its device,
// then the other changes. Writes nothing, and says NotWritten, when the file
// is now shorter than what was read, since a write would lengthen it with
// bytes nobody wrote. If a write fails, the changes sent go back, the later
// ones first and on the device before the ahead ones: Undone, or
// PartlyWritten if a put-back fails. If the device does not confirm the ahead
// changes, no other change is sent, and they go back: PartlyWritten.
FlushResult flushEditStream(EditStream& stream, const FileTimes& times);
