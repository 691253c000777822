#include "edit_stream.hpp"

#include <cstring>

namespace {

bool holdsRange(const EditStream& stream, std::uint32_t offset, std::size_t count) {
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

void writeThrough(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
                  std::size_t count) {
    if (!writeFileAt(stream.file, offset, bytes, count)) {
        stream.failed = true;
    }
}

void writeBackDirty(EditStream& stream) {
    if (stream.dirtyBegin == stream.dirtyEnd) {
        return;
    }
    writeThrough(stream, static_cast<std::uint32_t>(stream.cacheStart + stream.dirtyBegin),
                 stream.cache + stream.dirtyBegin, stream.dirtyEnd - stream.dirtyBegin);
    stream.dirtyBegin = stream.dirtyEnd = 0;
}

void fillCache(EditStream& stream, std::uint32_t offset) {
    writeBackDirty(stream);
    stream.cacheStart = offset;
    stream.cacheLength = 0;
    stream.filled = true;
    stream.cacheLength = readFileAt(stream.file, offset, stream.cache, EDIT_CACHE_SIZE);
}

}  // namespace

void attachEditStream(EditStream& stream, EditFile file) {
    stream.file = file;
    stream.cacheStart = 0;
    stream.cacheLength = 0;
    stream.filled = false;
    stream.dirtyBegin = stream.dirtyEnd = 0;
    stream.failed = false;
}

std::size_t readAt(EditStream& stream, std::uint32_t offset, std::uint8_t* bytes,
                   std::size_t count) {
    if (count > EDIT_CACHE_SIZE) {
        return 0;
    }
    if (!holdsRange(stream, offset, count)) {
        fillCache(stream, offset);
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

void writeAt(EditStream& stream, std::uint32_t offset, const std::uint8_t* bytes,
             std::size_t count) {
    if (offset >= stream.cacheStart && offset - stream.cacheStart + count <= stream.cacheLength) {
        const std::size_t from = offset - stream.cacheStart;
        std::memcpy(stream.cache + from, bytes, count);
        if (stream.dirtyBegin == stream.dirtyEnd) {
            stream.dirtyBegin = from;
            stream.dirtyEnd = from + count;
        } else {
            stream.dirtyBegin = from < stream.dirtyBegin ? from : stream.dirtyBegin;
            stream.dirtyEnd = from + count > stream.dirtyEnd ? from + count : stream.dirtyEnd;
        }
        return;
    }
    // Bytes the cache does not hold (the engines only overwrite what they
    // read, so this is not their path): keep the order of writes, then drop
    // the cache so that no stale copy is served.
    writeBackDirty(stream);
    writeThrough(stream, offset, bytes, count);
    stream.filled = false;
    stream.cacheLength = 0;
}

bool flushEditStream(EditStream& stream) {
    writeBackDirty(stream);
    if (!flushFile(stream.file)) {
        stream.failed = true;
    }
    return !stream.failed;
}
