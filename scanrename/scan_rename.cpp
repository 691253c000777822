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

bool windowBegins(const std::uint8_t* window, std::size_t windowLength, const std::uint8_t* pattern,
                  std::size_t patternSize) {
    return windowLength >= patternSize && std::memcmp(window, pattern, patternSize) == 0;
}

// The first row whose field at fieldOffset in the row (the old or the new
// name) lies wholly inside the window and begins it, or NO_ROW.
int lookupField(const std::uint8_t* table, std::size_t fieldOffset, const std::uint8_t* window,
                std::size_t windowLength) {
    for (int row = 0; table[row * RENAME_ROW_SIZE] != FIELD_END; ++row) {
        const std::uint8_t* field = table + row * RENAME_ROW_SIZE + fieldOffset;
        if (windowBegins(window, windowLength, field, fieldLength(field))) {
            return row;
        }
    }
    return NO_ROW;
}

}  // namespace

int lookupRow(const std::uint8_t* table, const std::uint8_t* window, std::size_t windowLength) {
    return lookupField(table, 0, window, windowLength);
}

EngineResult scanAndRename(EditStream& stream) {
    std::uint32_t occurrences = 0;
    bool lastFound = true;  // no occurrence at all counts as found

    for (std::uint32_t offset = 0; offset < SCAN_RANGE; ++offset) {
        std::uint8_t window[SCAN_WINDOW_SIZE];
        const std::size_t length = readAt(stream, offset, window, SCAN_WINDOW_SIZE);
        if (windowBegins(window, length, RENAMED_PATTERN, sizeof RENAMED_PATTERN)) {
            ++occurrences;
            lastFound = lookupField(RENAME_TABLE.data(), NAME_FIELD_SIZE, window, length) != NO_ROW;
            continue;
        }
        if (!windowBegins(window, length, FAMILY_PATTERN, sizeof FAMILY_PATTERN)) {
            continue;
        }
        const int row = lookupRow(RENAME_TABLE.data(), window, length);
        ++occurrences;
        lastFound = row != NO_ROW;
        if (lastFound && occurrences >= FIRST_REWRITTEN && occurrences <= LAST_REWRITTEN) {
            const std::uint8_t* newName =
                RENAME_TABLE.data() + row * RENAME_ROW_SIZE + NAME_FIELD_SIZE;
            std::memcpy(window, newName, fieldLength(newName));
            // One write for the whole name, so that a run cut short leaves it
            // wholly old or wholly new. Only the bytes that were read go back:
            // a short window near the end of the file must not lengthen it.
            writeAt(stream, offset, window, length);
        }
    }
    if (occurrences == 0) {
        return EngineResult{Verdict::NoNamesFound, true};
    }
    return EngineResult{lastFound ? Verdict::Finished : Verdict::NotRecognised, true};
}
