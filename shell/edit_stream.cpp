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

// The next run of cache positions in [from, end) whose bytes differ from what
// was read; begin == end when there is none.
struct Run {
    std::size_t begin;
    std::size_t end;
};

Run nextChangedRun(const EditStream& stream, std::size_t from, std::size_t end) {
    while (from < end && stream.cache[from] == stream.original[from]) {
        ++from;
    }
    std::size_t to = from;
    while (to < end && stream.cache[to] != stream.original[to]) {
        ++to;
    }
    return Run{from, to};
}

bool writeCacheBytes(EditStream& stream, const std::uint8_t* bytes, Run run) {
    return writeFileAt(stream.file, static_cast<std::uint32_t>(stream.cacheStart + run.begin),
                       bytes + run.begin, run.end - run.begin);
}

// Puts the read bytes back over every changed run before `upTo`, the end of
// the run whose write failed (it may have reached the file in part). A failed
// put-back leaves nothing better to try.
void undoChangedRuns(EditStream& stream, std::size_t upTo) {
    for (Run run = nextChangedRun(stream, stream.dirtyBegin, upTo); run.begin < run.end;
         run = nextChangedRun(stream, run.end, upTo)) {
        writeCacheBytes(stream, stream.original, run);
    }
}

// Writes the changed runs in file order. On a failure the runs already
// written are undone and the cache drops the changes, so that it keeps
// telling the truth about the file.
void writeBackDirty(EditStream& stream) {
    const std::size_t begin = stream.dirtyBegin;
    const std::size_t end = stream.dirtyEnd;
    if (begin == end) {
        return;
    }
    bool changed = false;
    for (Run run = nextChangedRun(stream, begin, end); run.begin < run.end;
         run = nextChangedRun(stream, run.end, end)) {
        if (!writeCacheBytes(stream, stream.cache, run)) {
            undoChangedRuns(stream, run.end);
            std::memcpy(stream.cache + begin, stream.original + begin, end - begin);
            stream.failed = true;
            stream.dirtyBegin = stream.dirtyEnd = 0;
            return;
        }
        changed = true;
    }
    std::memcpy(stream.original + begin, stream.cache + begin, end - begin);
    stream.written = stream.written || changed;
    stream.dirtyBegin = stream.dirtyEnd = 0;
}

void fillCache(EditStream& stream, std::uint32_t offset) {
    writeBackDirty(stream);
    stream.cacheStart = offset;
    stream.filled = true;
    stream.cacheLength = readFileAt(stream.file, offset, stream.cache, EDIT_CACHE_SIZE);
    std::memcpy(stream.original, stream.cache, stream.cacheLength);
}

}  // namespace

void attachEditStream(EditStream& stream, EditFile file) {
    stream.file = file;
    stream.cacheStart = 0;
    stream.cacheLength = 0;
    stream.filled = false;
    stream.dirtyBegin = stream.dirtyEnd = 0;
    stream.failed = false;
    stream.written = false;
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
    const auto inCache = [&] {
        return stream.filled && offset >= stream.cacheStart &&
               offset - stream.cacheStart + count <= stream.cacheLength;
    };
    if (!inCache() && count <= EDIT_CACHE_SIZE) {
        fillCache(stream, offset);
    }
    if (inCache()) {
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
    // Bytes past the end of the file (the engines never write there: they
    // only overwrite what they read): keep the order of writes, write them as
    // they are, then drop the cache so that no stale copy is served.
    writeBackDirty(stream);
    if (!writeFileAt(stream.file, offset, bytes, count)) {
        stream.failed = true;
    } else {
        stream.written = true;
    }
    stream.filled = false;
    stream.cacheLength = 0;
}

bool flushEditStream(EditStream& stream) {
    writeBackDirty(stream);
    return !stream.failed;
}
