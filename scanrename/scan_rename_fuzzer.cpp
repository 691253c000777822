// Fuzz target of Velnari's engine: any file, as an in-memory font.
// Checks the engine against a plain model of the scan written from the name
// pairs (not from the table's bytes): the file keeps its length, and it ends
// byte for byte as the model says, so only the names of occurrences 4 to 7
// change, and only into the table's new names.
#include <algorithm>
#include <cstring>

#include "../tests/fuzz/memory_file.hpp"
#include "rename_table.hpp"
#include "scan_rename.hpp"

namespace {

Bytes utf16be(std::u16string_view text) {
    Bytes out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    }
    return out;
}

struct Model {
    Bytes bytes;
    bool lastFound = true;
};

Model modelScan(const std::uint8_t* data, std::size_t size) {
    static const Bytes family = utf16be(u"Kanovel");
    Model model{Bytes(data, data + size)};
    int occurrences = 0;
    for (std::size_t p = 0; p < 4096 && p + family.size() <= size; ++p) {
        if (!std::equal(family.begin(), family.end(), model.bytes.data() + p)) {
            continue;
        }
        const std::size_t available = std::min<std::size_t>(48, size - p);
        int row = -1;
        for (std::size_t i = 0; i < std::size(RENAME_PAIRS) && row < 0; ++i) {
            const Bytes old = utf16be(RENAME_PAIRS[i].oldName);
            if (old.size() <= available &&
                std::equal(old.begin(), old.end(), model.bytes.data() + p)) {
                row = static_cast<int>(i);
            }
        }
        ++occurrences;
        model.lastFound = row >= 0;
        if (row >= 0 && occurrences >= 4 && occurrences <= 7) {
            Bytes renamed = utf16be(RENAME_PAIRS[row].newName);
            renamed.resize(2 * RENAME_PAIRS[row].oldName.size(), 0x00);
            std::copy(renamed.begin(), renamed.end(), model.bytes.data() + p);
        }
    }
    return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4400) {
        return 0;  // nothing past the first 4,143 bytes is ever read
    }
    EditStream stream;
    openMemoryFile(stream, data, size);
    const EngineResult result = scanAndRename(stream);
    const Bytes after = closeMemoryFile(stream, size);

    const Model model = modelScan(data, size);
    FUZZ_CHECK(result.finish);
    FUZZ_CHECK(after == model.bytes);
    FUZZ_CHECK((result.verdict == Verdict::Finished) == model.lastFound);
    return 0;
}
