// Fuzz target of VelnariL's engine. The input is laid into an in-memory font
// at FUZZ_BASE, just below the region the catalogue knows, with zeros before
// it, so that the fuzzer spends its time where the probes are. Checks: the
// file keeps its length; a file it does not rename is not written at all;
// otherwise exactly the chosen set's replacement bytes are written, and
// nothing else changes. The chosen set: the first whose every expected byte
// the file holds (Finished); failing that, if no set has every replacement
// byte, the only set whose every record holds one or the other (Completed).
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
    EditStream stream;
    openMemoryFile(stream, data, size, FUZZ_BASE);
    const EngineResult result = patchAndRename(stream);
    const Bytes after = closeMemoryFile(stream, size, FUZZ_BASE);

    Bytes expected(data, data + size);
    int original = NO_SET;
    bool renamed = false;
    int fitting = 0;
    int lastFitting = NO_SET;
    for (std::size_t set = 0; set < PATCH_SET_COUNT; ++set) {
        const Holds holds = holdsSet(expected, PATCH_SET_STARTS[set]);
        original = original == NO_SET && holds.expected ? static_cast<int>(set) : original;
        renamed = renamed || holds.replacement;
        fitting += holds.either ? 1 : 0;
        lastFitting = holds.either ? static_cast<int>(set) : lastFitting;
    }
    const bool completed = original == NO_SET && !renamed && fitting == 1;
    const int chosen = original != NO_SET ? original : completed ? lastFitting : NO_SET;
    FUZZ_CHECK(result.finish == (chosen != NO_SET));
    FUZZ_CHECK((result.verdict == Verdict::Finished) == (original != NO_SET));
    FUZZ_CHECK((result.verdict == Verdict::Completed) == completed);
    FUZZ_CHECK(chosen != NO_SET || result.verdict == Verdict::NotRecognised);
    if (chosen != NO_SET) {
        for (const std::uint8_t* r = PATCH_SET_STARTS[chosen]; !endsPatchSet(r);
             r += PATCH_RECORD_SIZE) {
            const PatchRecord record = readPatchRecord(r);
            FUZZ_CHECK(record.offset >= FUZZ_BASE);  // the zeros before are never written
            expected[record.offset - FUZZ_BASE] = record.replacement;
        }
    }
    FUZZ_CHECK(after == expected);
    return 0;
}
