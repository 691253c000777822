// Fuzz target of VelnariL's engine, renaming and, from the same bytes,
// reverting. The input is laid into an in-memory font at FUZZ_BASE, just
// below the region the catalogue knows, with zeros before it, so that the
// fuzzer spends its time where the probes are. Checks: the file keeps its
// length; a file it does not change is not written at all; otherwise exactly
// the chosen set's bytes for the direction (replacement bytes for a rename,
// expected bytes for a revert) are written, and nothing else changes. The
// chosen set: the first whose every record holds the byte the direction
// starts from (Finished); failing that, if no set holds every byte the
// direction ends with, the only set whose every record holds one or the
// other (Completed).
#include "../tests/fuzz/memory_file.hpp"
#include "patch_catalogue.hpp"
#include "patch_rename.hpp"

namespace {

constexpr std::size_t FUZZ_BASE = 0x04D800;

// Whether the file (base zeros, then data) holds at every record of the set
// the expected byte, or the replacement, or either.
struct Holds {
    bool expected;
    bool replacement;
    bool either;
};

Holds holdsSet(const Bytes& data, const std::uint8_t* set) {
    Holds holds{true, true, true};
    for (const std::uint8_t* r = set; !endsPatchSet(r); r += PATCH_RECORD_SIZE) {
        const PatchRecord record = readPatchRecord(r);
        if (record.offset >= FUZZ_BASE + data.size()) {
            return Holds{false, false, false};
        }
        const std::uint8_t held =
            record.offset < FUZZ_BASE ? 0x00 : data[record.offset - FUZZ_BASE];
        holds.expected = holds.expected && held == record.expected;
        holds.replacement = holds.replacement && held == record.replacement;
        holds.either = holds.either && (held == record.expected || held == record.replacement);
    }
    return holds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0x4000) {
        return 0;  // the catalogue ends 0x3389 bytes past FUZZ_BASE
    }
    for (const Direction direction : {Direction::Rename, Direction::Revert}) {
        const bool renaming = direction == Direction::Rename;
        EditStream stream;
        openMemoryFile(stream, data, size, FUZZ_BASE);
        const EngineResult result = patchAndRename(stream, direction);
        const Bytes after = closeMemoryFile(stream, size, FUZZ_BASE);

        Bytes expected(data, data + size);
        int start = NO_SET;
        bool done = false;
        int fitting = 0;
        int lastFitting = NO_SET;
        for (std::size_t set = 0; set < PATCH_SET_COUNT; ++set) {
            const Holds holds = holdsSet(expected, PATCH_SET_STARTS[set]);
            const bool startHeld = renaming ? holds.expected : holds.replacement;
            start = start == NO_SET && startHeld ? static_cast<int>(set) : start;
            done = done || (renaming ? holds.replacement : holds.expected);
            fitting += holds.either ? 1 : 0;
            lastFitting = holds.either ? static_cast<int>(set) : lastFitting;
        }
        const bool completed = start == NO_SET && !done && fitting == 1;
        const int chosen = start != NO_SET ? start : completed ? lastFitting : NO_SET;
        FUZZ_CHECK(result.finish == (chosen != NO_SET || (done && !renaming)));
        FUZZ_CHECK((result.verdict == Verdict::Finished) ==
                   (start != NO_SET || (done && !renaming)));
        FUZZ_CHECK((result.verdict == Verdict::Completed) == completed);
        FUZZ_CHECK(result.changeCount == (chosen != NO_SET ? 1u : 0u));
        if (chosen != NO_SET) {
            for (const std::uint8_t* r = PATCH_SET_STARTS[chosen]; !endsPatchSet(r);
                 r += PATCH_RECORD_SIZE) {
                const PatchRecord record = readPatchRecord(r);
                FUZZ_CHECK(record.offset >= FUZZ_BASE);  // the zeros before are never written
                expected[record.offset - FUZZ_BASE] =
                    renaming ? record.replacement : record.expected;
            }
        }
        FUZZ_CHECK(after == expected);
    }
    return 0;
}
