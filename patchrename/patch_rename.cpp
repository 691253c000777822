#include "patch_rename.hpp"

#include "patch_catalogue.hpp"

// One fill of the stream's window serves every probe and write of a run, so
// that the stream can undo the whole edit.
static_assert(PATCH_REGION_LAST - PATCH_REGION_FIRST + 1 <= EDIT_CACHE_SIZE,
              "the records must fit the edit stream's window");

namespace {

// What the file holds at a set's records.
enum class SetState {
    Original,  // every expected byte (so a set without records too)
    Renamed,   // every replacement byte
    Partly,    // each record one or the other, some of each
    Other,     // a record holds neither, or lies past the end of the file
};

SetState setState(EditStream& stream, const std::uint8_t* set) {
    bool original = true;
    bool renamed = true;
    for (const std::uint8_t* record = set; !endsPatchSet(record); record += PATCH_RECORD_SIZE) {
        const PatchRecord fields = readPatchRecord(record);
        std::uint8_t probe = 0;
        if (readAt(stream, fields.offset, &probe, 1) != 1) {
            return SetState::Other;
        }
        if (probe != fields.expected && probe != fields.replacement) {
            return SetState::Other;
        }
        original = original && probe == fields.expected;
        renamed = renamed && probe == fields.replacement;
    }
    if (original) {
        return SetState::Original;
    }
    return renamed ? SetState::Renamed : SetState::Partly;
}

// The one set that the file holds partly renamed, or NO_SET: also when some
// set is wholly renamed (the file is done) or several sets fit (which was
// meant cannot be told).
int findInterruptedSet(EditStream& stream) {
    int found = NO_SET;
    for (std::size_t set = 0; set < PATCH_SET_COUNT; ++set) {
        const SetState state = setState(stream, PATCH_SET_STARTS[set]);
        if (state == SetState::Renamed || (state == SetState::Partly && found != NO_SET)) {
            return NO_SET;
        }
        found = state == SetState::Partly ? static_cast<int>(set) : found;
    }
    return found;
}

// Writes the replacement bytes of the records from record on that belong to
// its write, in one writeAt of the span from the first to the last of them;
// the bytes in between go back as they were read. Returns the next write's
// first record (or the set's end).
const std::uint8_t* applyOneWrite(EditStream& stream, const std::uint8_t* record) {
    const std::uint32_t from = readPatchRecord(record).offset;
    const std::size_t write = patchWriteOf(from);
    const std::uint8_t* end = record;
    std::size_t length = 0;
    for (; !endsPatchSet(end) && patchWriteOf(readPatchRecord(end).offset) == write;
         end += PATCH_RECORD_SIZE) {
        length = readPatchRecord(end).offset - from + 1;
    }
    std::uint8_t span[PATCH_WRITE_MAX];
    if (readAt(stream, from, span, length) != length) {
        return end;  // the file ends inside the span: no write may lengthen it
    }
    for (; record != end; record += PATCH_RECORD_SIZE) {
        const PatchRecord fields = readPatchRecord(record);
        span[fields.offset - from] = fields.replacement;
    }
    writeAt(stream, from, span, length);
    return end;
}

// Writes the replacement byte of every record of the set in PATCH_WRITE_COUNT
// writes, one for each entry of PATCH_WRITE_STARTS. Only the engine calls it,
// with PATCH_SET_STARTS[i]: a header overload taking a pointer would let a
// literal 0 pass for set 0.
void applyPatchSet(EditStream& stream, const std::uint8_t* set) {
    for (const std::uint8_t* record = set; !endsPatchSet(record);) {
        record = applyOneWrite(stream, record);
    }
}

}  // namespace

int findPatchSet(EditStream& stream, const std::uint8_t* const* setStarts, std::size_t setCount) {
    for (std::size_t set = 0; set < setCount; ++set) {
        if (setState(stream, setStarts[set]) == SetState::Original) {
            return static_cast<int>(set);
        }
    }
    return NO_SET;
}

int findPatchSet(EditStream& stream) {
    return findPatchSet(stream, PATCH_SET_STARTS, PATCH_SET_COUNT);
}

EngineResult patchAndRename(EditStream& stream) {
    const int set = findPatchSet(stream);
    if (set != NO_SET) {
        applyPatchSet(stream, PATCH_SET_STARTS[set]);
        return EngineResult{Verdict::Finished, true};
    }
    // Replacing only the bytes that still hold the expected one is the same
    // as writing the whole set: a written byte that is already there changes
    // nothing, and the stream never writes it.
    const int interrupted = findInterruptedSet(stream);
    if (interrupted == NO_SET) {
        return EngineResult{Verdict::NotRecognised, false};
    }
    applyPatchSet(stream, PATCH_SET_STARTS[interrupted]);
    return EngineResult{Verdict::Completed, true};
}
