#include "edit_stream.hpp"

#include <cstring>

namespace {

bool windowHolds(const EditStream& stream, std::uint32_t offset, std::size_t count) {
    if (!stream.filled || offset < stream.cacheStart) {
        return false;
    }
    const std::size_t from = offset - stream.cacheStart;
    if (from + count <= stream.cacheLength) {
        return true;
    }
    // A cache filled short of its size ends where the file ends, so it also
    // answers reads that run past the end of the file.
    return stream.cacheLength < EDIT_CACHE_SIZE && from + count <= EDIT_CACHE_SIZE;
}

void fillWindow(EditStream& stream, std::uint32_t offset) {
    stream.cacheStart = offset;
    stream.filled = true;
    stream.cacheLength = readFileAt(stream.file, offset, stream.cache, EDIT_CACHE_SIZE);
    std::memcpy(stream.original, stream.cache, stream.cacheLength);
}

// Sends the first count bytes of a change from bytes (the cache or the
// original copy); returns how many reached the file.
std::size_t writeChange(EditStream& stream, const std::uint8_t* bytes, EditChange change,
                        std::size_t count) {
    return writeFileAt(stream.file, stream.cacheStart + change.begin, bytes + change.begin, count);
}

std::size_t lengthOf(EditChange change) {
    return change.end - change.begin;
}

// How far sending the changes of one kind (ahead or not) got: the change
// that failed, or changeCount if none did, and how many of its bytes reached
// the file.
struct Progress {
    std::size_t failed;
    std::size_t reached;
};

// Sends the pending changes of one kind, in the order of the calls, each in
// one write, and stops at the first that does not reach the file whole.
Progress sendChanges(EditStream& stream, bool ahead) {
    for (std::size_t i = 0; i < stream.changeCount; ++i) {
        const EditChange change = stream.changes[i];
        const std::size_t length = lengthOf(change);
        const std::size_t reached =
            change.ahead == ahead ? writeChange(stream, stream.cache, change, length) : length;
        if (reached < length) {
            return Progress{i, reached};
        }
    }
    return Progress{stream.changeCount, 0};
}

// Puts the read bytes back over the changes of one kind sent before the one
// that failed, and over the bytes of that one that reached the file. True if
// every put-back was written.
bool undoChanges(EditStream& stream, bool ahead, Progress progress) {
    bool undone = true;
    for (std::size_t i = 0; i <= progress.failed && i < stream.changeCount; ++i) {
        const EditChange change = stream.changes[i];
        const std::size_t count = i < progress.failed ? lengthOf(change) : progress.reached;
        if (change.ahead == ahead) {
            undone = writeChange(stream, stream.original, change, count) == count && undone;
        }
    }
    return undone;
}

bool hasAheadChanges(const EditStream& stream) {
    for (std::size_t i = 0; i < stream.changeCount; ++i) {
        if (stream.changes[i].ahead) {
            return true;
        }
    }
    return false;
}

// Whether the file still reaches as far as the window read: another process
// may have cut it short meanwhile, and a write would then lengthen it.
bool stillHoldsWindow(EditStream& stream) {
    return fileSize(stream.file) >= std::uint64_t{stream.cacheStart} + stream.cacheLength;
}

void dropChanges(EditStream& stream) {
    for (std::size_t i = 0; i < stream.changeCount; ++i) {
        const EditChange change = stream.changes[i];
        std::memcpy(stream.cache + change.begin, stream.original + change.begin, lengthOf(change));
    }
    stream.changeCount = 0;
    stream.refused = false;
}

// Takes a write into the window as one pending change, ahead or not.
bool takeWrite(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
               std::size_t count, bool ahead) {
    if (!stream.filled) {
        fillWindow(stream, offset);
    }
    const bool fits =
        offset >= stream.cacheStart && offset - stream.cacheStart + count <= stream.cacheLength;
    if (!fits) {
        stream.refused = true;
        return false;
    }
    const std::size_t from = offset - stream.cacheStart;
    std::size_t first = 0;
    while (first < count && bytes[first] == stream.cache[from + first]) {
        ++first;
    }
    if (first == count) {
        return false;  // changes nothing
    }
    std::size_t last = count;
    while (bytes[last - 1] == stream.cache[from + last - 1]) {
        --last;
    }
    if (stream.changeCount == EDIT_MAX_CHANGES) {
        stream.refused = true;
        return false;
    }
    std::memcpy(stream.cache + from + first, bytes + first, last - first);
    stream.changes[stream.changeCount++] = {static_cast<std::uint16_t>(from + first),
                                            static_cast<std::uint16_t>(from + last), ahead};
    return true;
}

// Drops the pending changes after a failed flush, whose put-back wrote every
// byte it had to (undone) or not.
FlushResult endFailedFlush(EditStream& stream, bool undone) {
    dropChanges(stream);
    return undone ? FlushResult::Undone : FlushResult::PartlyWritten;
}

}  // namespace

void attachEditStream(EditStream& stream, EditFile file) {
    stream.file = file;
    stream.cacheStart = 0;
    stream.cacheLength = 0;
    stream.filled = false;
    stream.refused = false;
    stream.changeCount = 0;
}

std::size_t readAt(EditStream& stream, std::uint32_t offset, std::uint8_t* bytes,
                   std::size_t count) {
    if (count > EDIT_CACHE_SIZE) {
        return 0;
    }
    if (!windowHolds(stream, offset, count)) {
        if (hasPendingChanges(stream)) {
            return 0;
        }
        fillWindow(stream, offset);
    }
    const std::size_t from = offset - stream.cacheStart;
    if (from >= stream.cacheLength) {
        return 0;
    }
    const std::size_t available = stream.cacheLength - from;
    const std::size_t served = count < available ? count : available;
    std::memcpy(bytes, stream.cache + from, served);
    return served;
}

bool writeAt(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
             std::size_t count) {
    return takeWrite(stream, offset, bytes, count, false);
}

bool writeAheadAt(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
                  std::size_t count) {
    return takeWrite(stream, offset, bytes, count, true);
}

bool hasPendingChanges(const EditStream& stream) {
    return stream.changeCount > 0 || stream.refused;
}

FlushResult flushEditStream(EditStream& stream, const FileTimes& times) {
    if (!hasPendingChanges(stream)) {
        return FlushResult::Written;
    }
    if (stream.refused || !stillHoldsWindow(stream)) {
        dropChanges(stream);
        return FlushResult::NotWritten;
    }
    const Progress ahead = sendChanges(stream, true);
    if (ahead.failed < stream.changeCount) {
        return endFailedFlush(stream, undoChanges(stream, true, ahead));
    }
    // The ahead changes are on the device, with the times as they were,
    // before any other change is sent. The times are set again after the
    // rest, where a failure is told; a failed sync is not done, and stops
    // the edit here.
    const bool barrier = hasAheadChanges(stream);
    if (barrier) {
        setFileTimes(stream.file, times);
        if (!syncFile(stream.file)) {
            undoChanges(stream, true, ahead);
            return endFailedFlush(stream, false);
        }
    }
    const Progress rest = sendChanges(stream, false);
    if (rest.failed < stream.changeCount) {
        // The later changes go back first, and are on the device before the
        // ahead ones go back: a power cut that kept the undo of an ahead
        // change but lost that of a later one would leave the other side of
        // a name changed alone, which the engine's order never leaves.
        const bool undone =
            undoChanges(stream, false, rest) &&
            (!barrier || (syncFile(stream.file) && undoChanges(stream, true, ahead)));
        return endFailedFlush(stream, undone);
    }
    for (std::size_t i = 0; i < stream.changeCount; ++i) {
        const EditChange change = stream.changes[i];
        std::memcpy(stream.original + change.begin, stream.cache + change.begin, lengthOf(change));
    }
    stream.changeCount = 0;
    return FlushResult::Written;
}
