#include "patch_rename.hpp"

#include <cstring>

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

// The first set, in probe order, that the file holds in state, or NO_SET.
int findSetIn(EditStream& stream, SetState state,
              const std::uint8_t* const* setStarts = PATCH_SET_STARTS,
              std::size_t setCount = PATCH_SET_COUNT) {
    for (std::size_t set = 0; set < setCount; ++set) {
        if (setState(stream, setStarts[set]) == state) {
            return static_cast<int>(set);
        }
    }
    return NO_SET;
}

// The one set that the file holds partly renamed (or partly reverted), or
// NO_SET: also when several sets fit, since which was meant cannot be told.
int findInterruptedSet(EditStream& stream) {
    int found = NO_SET;
    for (std::size_t set = 0; set < PATCH_SET_COUNT; ++set) {
        if (setState(stream, PATCH_SET_STARTS[set]) == SetState::Partly) {
            if (found != NO_SET) {
                return NO_SET;
            }
            found = static_cast<int>(set);
        }
    }
    return found;
}

// Whether a Kanovel name in UTF-16BE begins at one of the offsets Velnari
// scans: a font for Velnari, not for us.
bool holdsVelnarisNames(EditStream& stream) {
    constexpr std::size_t SCANNED = 4096 + sizeof FAMILY_PATTERN - 1;
    std::uint8_t head[SCANNED];
    const std::size_t length = readAt(stream, 0, head, SCANNED);
    for (std::size_t at = 0; at + sizeof FAMILY_PATTERN <= length; ++at) {
        if (std::memcmp(head + at, FAMILY_PATTERN, sizeof FAMILY_PATTERN) == 0) {
            return true;
        }
    }
    return false;
}

// Writes the bytes the direction gives (replacement or expected) of the
// records from record on that belong to its write, in one writeAt of the span
// from the first to the last of them; the bytes in between go back as they
// were read. Moves record to the next write's first record (or the set's
// end); returns whether the write changed a byte.
bool applyOneWrite(EditStream& stream, const std::uint8_t*& record, Direction direction) {
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
        record = end;
        return false;  // the file ends inside the span: no write may lengthen it
    }
    for (; record != end; record += PATCH_RECORD_SIZE) {
        const PatchRecord fields = readPatchRecord(record);
        span[fields.offset - from] =
            direction == Direction::Rename ? fields.replacement : fields.expected;
    }
    return writeAt(stream, from, span, length);
}

// Writes every record of the set the way the direction goes, in
// PATCH_WRITE_COUNT writes, one for each entry of PATCH_WRITE_STARTS, and
// notes the name in the result with the stored copies that changed. Only
// the engine calls it, with a set index: a header overload taking a pointer
// would let a literal 0 pass for set 0.
void applyPatchSet(EditStream& stream, int set, Direction direction, EngineResult& result) {
    int copies = 0;
    std::size_t write = 0;
    for (const std::uint8_t* record = PATCH_SET_STARTS[set]; !endsPatchSet(record); ++write) {
        const bool changed = applyOneWrite(stream, record, direction);
        const bool isCopy =
            write >= PATCH_FIRST_COPY_WRITE && write < PATCH_FIRST_COPY_WRITE + PATCH_COPY_WRITES;
        copies += changed && isCopy ? 1 : 0;
    }
    // A run that finishes another's changes only a length or the last byte:
    // it changed no copy of the name, and says so by listing none.
    if (copies > 0) {
        noteNameChange(result, nameChangeOf(PATCH_SET_SHOWN[static_cast<std::size_t>(set)],
                                            direction, copies));
    }
}

}  // namespace

int findPatchSet(EditStream& stream, const std::uint8_t* const* setStarts, std::size_t setCount) {
    return findSetIn(stream, SetState::Original, setStarts, setCount);
}

int findPatchSet(EditStream& stream) {
    return findSetIn(stream, SetState::Original);
}

EngineResult patchAndRename(EditStream& stream, Direction direction) {
    const bool renaming = direction == Direction::Rename;
    EngineResult result{Verdict::Finished, true, 0, {}};
    const int set = findSetIn(stream, renaming ? SetState::Original : SetState::Renamed);
    if (set != NO_SET) {
        applyPatchSet(stream, set, direction, result);
        return result;
    }
    // Done already: a rename says so as "not recognised, or renamed
    // already"; a revert of a font never renamed has simply nothing to do.
    if (findSetIn(stream, renaming ? SetState::Renamed : SetState::Original) != NO_SET) {
        return renaming ? EngineResult{Verdict::NotRecognised, false, 0, {}} : result;
    }
    // Writing only the bytes that do not yet hold what the direction gives is
    // the same as writing the whole set: a byte that is already there
    // changes nothing, and the stream never writes it.
    const int interrupted = findInterruptedSet(stream);
    if (interrupted != NO_SET) {
        applyPatchSet(stream, interrupted, direction, result);
        result.verdict = Verdict::Completed;
        return result;
    }
    // Kanovel names where Velnari looks are a font for Velnari only in a font
    // file: a memo or an archive that holds them is no font at all.
    if (holdsVelnarisNames(stream)) {
        result.verdict = beginsAsAFont(stream) ? Verdict::ForTheOtherOne : Verdict::NotAFont;
    } else {
        result.verdict = Verdict::NotRecognised;
    }
    result.finish = false;
    return result;
}
