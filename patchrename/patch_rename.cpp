#include "patch_rename.hpp"

#include "patch_catalogue.hpp"

namespace {

std::uint32_t recordOffset(const std::uint8_t* record) {
    return (std::uint32_t{record[1]} << 16) | (std::uint32_t{record[2]} << 8) | record[3];
}

bool setMatches(EditStream& stream, const std::uint8_t* set) {
    for (const std::uint8_t* record = set; record[0] != FIELD_END; record += PATCH_RECORD_SIZE) {
        std::uint8_t probe = 0;
        if (readAt(stream, recordOffset(record), &probe, 1) != 1 || probe != record[4]) {
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
    for (const std::uint8_t* record = set; record[0] != FIELD_END; record += PATCH_RECORD_SIZE) {
        writeAt(stream, recordOffset(record), &record[5], 1);
    }
}

void applyPatchSet(EditStream& stream, int setIndex) {
    applyPatchSet(stream, PATCH_SET_STARTS[setIndex]);
}

EngineResult patchAndRename(EditStream& stream) {
    const int set = findPatchSet(stream);
    if (set == NO_SET) {
        return EngineResult{Verdict::NotRecognised, false};
    }
    applyPatchSet(stream, set);
    return EngineResult{Verdict::Finished, true};
}
