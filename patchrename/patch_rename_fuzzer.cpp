// Fuzz target of VelnariL's engine. The input is laid into an in-memory font
// at FUZZ_BASE, just below the region the catalogue knows, with zeros before
// it, so that the fuzzer spends its time where the probes are. Checks: the
// file keeps its length; a file that matches no set is not written at all;
// otherwise exactly the first set whose every expected byte the file holds is
// applied, and nothing else changes.
#include "../tests/fuzz/memory_file.hpp"
#include "patch_catalogue.hpp"
#include "patch_rename.hpp"

namespace {

constexpr std::size_t FUZZ_BASE = 0x04D800;

// Whether the file (base zeros, then data) holds every expected byte of the set.
bool holdsSet(const Bytes& data, const std::uint8_t* set) {
    for (const std::uint8_t* r = set; !endsPatchSet(r); r += PATCH_RECORD_SIZE) {
        const std::uint32_t at = readPatchRecord(r).offset;
        if (at >= FUZZ_BASE + data.size()) {
            return false;
        }
        const std::uint8_t held = at < FUZZ_BASE ? 0x00 : data[at - FUZZ_BASE];
        if (held != readPatchRecord(r).expected) {
            return false;
        }
    }
    return true;
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
    int chosen = NO_SET;
    for (std::size_t set = 0; set < PATCH_SET_COUNT && chosen == NO_SET; ++set) {
        if (holdsSet(expected, PATCH_SET_STARTS[set])) {
            chosen = static_cast<int>(set);
        }
    }
    FUZZ_CHECK(result.finish == (chosen != NO_SET));
    FUZZ_CHECK((result.verdict == Verdict::Finished) == (chosen != NO_SET));
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
