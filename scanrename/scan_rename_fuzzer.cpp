// Fuzz target of Velnari's engine: any file, as an in-memory font, renamed
// and, from the same bytes, reverted. Checks the engine against a plain model
// of the scan written from the name pairs (not from the table's bytes) and
// the torn form the table chose for each row and split: the file keeps its
// length, and it ends byte for byte as the model says, so only occurrences 4
// to 7 change (a rename's Latin and torn names into the table's new names, a
// revert's renamed and torn names back into the old ones), and each name
// written is noted; a file that does not begin as a font is never written.
#include <algorithm>
#include <cstring>
#include <vector>

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
    bool isFont = false;
    std::size_t written = 0;
    bool foundDone = false;  // a name of 4 to 7 torn, or already as the run wants it
};

// The old and new names of the pairs in UTF-16BE, the new ones filled up with
// U+0000 to their old name's length.
struct EncodedPair {
    Bytes oldName;
    Bytes newName;
};

const std::vector<EncodedPair>& encodedPairs() {
    static const std::vector<EncodedPair> pairs = [] {
        std::vector<EncodedPair> out;
        for (const NamePair& pair : RENAME_PAIRS) {
            EncodedPair encoded{utf16be(pair.oldName), utf16be(pair.newName)};
            encoded.newName.resize(encoded.oldName.size(), 0x00);
            out.push_back(encoded);
        }
        return out;
    }();
    return pairs;
}

bool begins(const std::uint8_t* at, std::size_t available, const Bytes& name) {
    return name.size() <= available && std::equal(name.begin(), name.end(), at);
}

// The pair whose torn form at split (its first split bytes from one name, as
// TORN_NEW_START says, the rest from the other) begins the bytes at at.
const EncodedPair* tornPair(const std::uint8_t* at, std::size_t available, std::size_t split) {
    for (std::size_t row = 0; row < encodedPairs().size(); ++row) {
        const EncodedPair& pair = encodedPairs()[row];
        if (split >= pair.oldName.size()) {
            continue;
        }
        const bool newStart = (TORN_NEW_START[row] >> split & 1) != 0;
        Bytes form = newStart ? pair.oldName : pair.newName;
        const Bytes& start = newStart ? pair.newName : pair.oldName;
        std::copy_n(start.begin(), split, form.begin());
        if (begins(at, available, form)) {
            return &pair;
        }
    }
    return nullptr;
}

Model modelScan(const std::uint8_t* data, std::size_t size, bool reverting) {
    static const Bytes family = utf16be(u"Kanovel");
    static const Bytes renamedFamily = utf16be(u"Ｋ．ａｎｏｖｅｌ");
    static const Bytes signatures[] = {
        {0, 1, 0, 0}, {'O', 'T', 'T', 'O'}, {'t', 'r', 'u', 'e'}, {'t', 't', 'c', 'f'}};
    Model model{Bytes(data, data + size)};
    for (const Bytes& signature : signatures) {
        model.isFont = model.isFont || begins(data, size, signature);
    }
    int occurrences = 0;
    for (std::size_t p = 0; p < 4096 && p < size && model.isFont; ++p) {
        std::uint8_t* at = model.bytes.data() + p;
        const std::size_t available = std::min<std::size_t>(48, size - p);
        const EncodedPair* torn = tornPair(at, available, 512 - p % 512);
        const bool latin = begins(at, available, family);
        if (torn == nullptr && !latin && !begins(at, available, renamedFamily)) {
            continue;
        }
        const EncodedPair* row = torn;
        for (const EncodedPair& pair : encodedPairs()) {
            if (row == nullptr && begins(at, available, latin ? pair.oldName : pair.newName)) {
                row = &pair;
            }
        }
        ++occurrences;
        model.lastFound = row != nullptr;
        if (row == nullptr || occurrences < 4 || occurrences > 7) {
            continue;
        }
        // A torn name is completed either way, and tells of a run cut short.
        model.foundDone = model.foundDone || torn != nullptr;
        if (torn == nullptr && latin == reverting) {
            model.foundDone = true;
            continue;
        }
        const Bytes& name = reverting ? row->oldName : row->newName;
        std::copy(name.begin(), name.end(), at);
        ++model.written;
    }
    return model;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4400) {
        return 0;  // nothing past the first 4,143 bytes is ever read
    }
    // The input as it is, and as a TrueType font: most inputs begin otherwise,
    // and would test no more than the signature.
    const Bytes given(data, data + size);
    Bytes font = given;
    std::copy_n(FONT_SIGNATURES[0], std::min<std::size_t>(4, size), font.begin());
    const Bytes* const inputs[] = {&given, &font};
    for (const Bytes* input : inputs) {
        for (const Direction direction : {Direction::Rename, Direction::Revert}) {
            EditStream stream;
            openMemoryFile(stream, input->data(), size);
            const EngineResult result = scanAndRename(stream, direction);
            const Bytes after = closeMemoryFile(stream, size);

            const Model model = modelScan(input->data(), size, direction == Direction::Revert);
            FUZZ_CHECK(result.finish);
            FUZZ_CHECK(after == model.bytes);
            FUZZ_CHECK(result.changeCount == model.written);
            FUZZ_CHECK((result.verdict == Verdict::NotAFont) == !model.isFont);
            // Names written and others found done: a run cut short, completed.
            const bool completed = model.written > 0 && model.foundDone;
            FUZZ_CHECK((result.verdict == Verdict::Completed) == (model.isFont && completed));
            // A revert never calls a font not recognised: names it does not know it leaves.
            FUZZ_CHECK(!model.isFont || completed ||
                       (result.verdict != Verdict::NotRecognised) ==
                           (model.lastFound || direction == Direction::Revert));
        }
    }
    return 0;
}
