#include "patch_rename.hpp"

#include "patch_catalogue.hpp"

// One fill of the stream's window serves every probe and write of a run, so
// that the stream can undo the whole edit.
static_assert(PATCH_REGION_LAST - PATCH_REGION_FIRST + 1 <= EDIT_CACHE_SIZE,
              "the records must fit the edit stream's window");

namespace {

bool setMatches(EditStream& stream, const std::uint8_t* set) {
    for (const std::uint8_t* record = set; !endsPatchSet(record); record += PATCH_RECORD_SIZE) {
        const PatchRecord fields = readPatchRecord(record);
        std::uint8_t probe = 0;
        if (readAt(stream, fields.offset, &probe, 1) != 1 || probe != fields.expected) {
            return false;
        }
    }
    return true;
}

}  // namespace

int findPatchSet(EditStream& stream, const std::uint8_t* const* setStarts, std::size_t setCount) {
    for (std::size_t set = 0; set < setCount; ++set) {
        if (setMatches(stream, setStarts[set])) {
            return static_cast<int>(set);
        }
    }
    return NO_SET;
}

int findPatchSet(EditStream& stream) {
    return findPatchSet(stream, PATCH_SET_STARTS, PATCH_SET_COUNT);
}

void applyPatchSet(EditStream& stream, const std::uint8_t* set) {
    for (const std::uint8_t* record = set; !endsPatchSet(record); record += PATCH_RECORD_SIZE) {
        const PatchRecord fields = readPatchRecord(record);
        writeAt(stream, fields.offset, &fields.replacement, 1);
    }
}

EngineResult patchAndRename(EditStream& stream) {
    const int set = findPatchSet(stream);
    if (set == NO_SET) {
        return EngineResult{Verdict::NotRecognised, false};
    }
    applyPatchSet(stream, PATCH_SET_STARTS[set]);
    return EngineResult{Verdict::Finished, true};
}
