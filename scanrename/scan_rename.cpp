#include "scan_rename.hpp"

#include <cstring>

#include "rename_table.hpp"

// One fill of the stream's window serves every window of the scan, so that
// the stream can undo the whole edit.
static_assert(SCAN_RANGE - 1 + SCAN_WINDOW_SIZE <= EDIT_CACHE_SIZE,
              "the scanned windows must fit the edit stream's window");

namespace {

std::size_t fieldLength(const std::uint8_t* field) {
    std::size_t length = 0;
    while (field[length] != FIELD_END) {
        ++length;
    }
    return length;
}

}  // namespace

int lookupRow(const std::uint8_t* table, const std::uint8_t* window, std::size_t windowLength) {
    for (int row = 0; table[row * RENAME_ROW_SIZE] != FIELD_END; ++row) {
        const std::uint8_t* oldName = table + row * RENAME_ROW_SIZE;
        const std::size_t length = fieldLength(oldName);
        if (length <= windowLength && std::memcmp(oldName, window, length) == 0) {
            return row;
        }
    }
    return NO_ROW;
}

EngineResult scanAndRename(EditStream& stream) {
    std::uint32_t occurrences = 0;
    bool lastFound = true;  // no occurrence at all counts as found

    for (std::uint32_t offset = 0; offset < SCAN_RANGE; ++offset) {
        std::uint8_t window[SCAN_WINDOW_SIZE];
        const std::size_t length = readAt(stream, offset, window, SCAN_WINDOW_SIZE);
        if (length < sizeof FAMILY_PATTERN ||
            std::memcmp(window, FAMILY_PATTERN, sizeof FAMILY_PATTERN) != 0) {
            continue;
        }
        const int row = lookupRow(RENAME_TABLE.data(), window, length);
        ++occurrences;
        lastFound = row != NO_ROW;
        if (lastFound && occurrences >= FIRST_REWRITTEN && occurrences <= LAST_REWRITTEN) {
            const std::uint8_t* newName =
                RENAME_TABLE.data() + row * RENAME_ROW_SIZE + NAME_FIELD_SIZE;
            std::memcpy(window, newName, fieldLength(newName));
            // Only the bytes that were read go back: a short window near the
            // end of the file must not lengthen it.
            writeAt(stream, offset, window, length);
        }
    }
    if (occurrences == 0) {
        return EngineResult{Verdict::NoNamesFound, true};
    }
    return EngineResult{lastFound ? Verdict::Finished : Verdict::NotRecognised, true};
}
