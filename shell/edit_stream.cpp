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

// Puts the read bytes back over the changes before failed, and over the
// reached bytes of the change that failed. True if every put-back was written.
bool undoChanges(EditStream& stream, std::size_t failed, std::size_t reached) {
    bool undone = true;
    for (std::size_t i = 0; i <= failed; ++i) {
        const std::size_t count = i < failed ? lengthOf(stream.changes[i]) : reached;
        undone = writeChange(stream, stream.original, stream.changes[i], count) == count && undone;
    }
    return undone;
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
                                            static_cast<std::uint16_t>(from + last)};
    return true;
}

bool hasPendingChanges(const EditStream& stream) {
    return stream.changeCount > 0 || stream.refused;
}

FlushResult flushEditStream(EditStream& stream) {
    if (!hasPendingChanges(stream)) {
        return FlushResult::Written;
    }
    if (stream.refused || !stillHoldsWindow(stream)) {
        dropChanges(stream);
        return FlushResult::NotWritten;
    }
    for (std::size_t i = 0; i < stream.changeCount; ++i) {
        const std::size_t length = lengthOf(stream.changes[i]);
        const std::size_t reached = writeChange(stream, stream.cache, stream.changes[i], length);
        if (reached < length) {
            const bool undone = undoChanges(stream, i, reached);
            dropChanges(stream);
            return undone ? FlushResult::Undone : FlushResult::PartlyWritten;
        }
    }
    for (std::size_t i = 0; i < stream.changeCount; ++i) {
        const EditChange change = stream.changes[i];
        std::memcpy(stream.original + change.begin, stream.cache + change.begin, lengthOf(change));
    }
    stream.changeCount = 0;
    return FlushResult::Written;
}
