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

EngineResult scanAndRename(EditStream& stream, Direction direction) {
    if (!beginsAsAFont(stream)) {
        return EngineResult{Verdict::NotAFont, true, 0, {}};
    }
    EngineResult result{Verdict::Finished, true, 0, {}};
    // A rename writes Latin occurrences with their row's new name, a revert
    // renamed ones with their row's old name.
    const bool reverting = direction == Direction::Revert;
    const std::size_t toField = reverting ? 0 : NAME_FIELD_SIZE;
    std::uint32_t occurrences = 0;
    bool lastFound = true;   // no occurrence at all counts as found
    bool foundDone = false;  // a name to rename already as the run wants it
    bool wrote = false;

    for (std::uint32_t offset = 0; offset < SCAN_RANGE; ++offset) {
        std::uint8_t window[SCAN_WINDOW_SIZE];
        const std::size_t length = readAt(stream, offset, window, SCAN_WINDOW_SIZE);
        const bool renamed = windowBegins(window, length, RENAMED_PATTERN, sizeof RENAMED_PATTERN);
        if (!renamed && !windowBegins(window, length, FAMILY_PATTERN, sizeof FAMILY_PATTERN)) {
            continue;
        }
        const int row =
            lookupField(RENAME_TABLE.data(), renamed ? NAME_FIELD_SIZE : 0, window, length);
        ++occurrences;
        lastFound = row != NO_ROW;
        if (!lastFound || occurrences < FIRST_REWRITTEN || occurrences > LAST_REWRITTEN) {
            continue;
        }
        if (renamed != reverting) {
            foundDone = true;
            continue;
        }
        const std::uint8_t* to = RENAME_TABLE.data() + row * RENAME_ROW_SIZE + toField;
        std::memcpy(window, to, fieldLength(to));
        // One write for the whole name, so that a run cut short leaves it
        // wholly old or wholly new. Only the bytes that were read go back:
        // a short window near the end of the file must not lengthen it.
        if (writeAt(stream, offset, window, length)) {
            noteNameChange(result, nameChangeOf(RENAME_SHOWN[row], direction, ONE_COPY));
            wrote = true;
        }
    }
    // Some names written and some found done already: a run cut short, now finished.
    if (wrote && foundDone) {
        result.verdict = Verdict::Completed;
    } else if (occurrences == 0) {
        result.verdict = Verdict::NoNamesFound;
    } else if (!lastFound && !reverting) {
        result.verdict = Verdict::NotRecognised;
    }
    return result;
}
