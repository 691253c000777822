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

// The bytes from offset to the next multiple of SECTOR_SIZE: where a power
// cut could tear a name that starts at offset.
std::size_t splitAt(std::uint32_t offset) {
    return SECTOR_SIZE - offset % SECTOR_SIZE;
}

bool takesNewStart(int row, std::size_t split) {
    return (TORN_NEW_START[static_cast<std::size_t>(row)] >> split & 1) != 0;
}

// The row whose chosen torn form at split (see rename_table.hpp) lies wholly
// inside the window and begins it, or NO_ROW.
int lookupTorn(const std::uint8_t* window, std::size_t windowLength, std::size_t split) {
    // The second byte of every name, whole or torn, is the low byte of its
    // "K" or "Ｋ": most windows fail this, before any row is looked at.
    if (split >= NAME_FIELD_SIZE || windowLength < 2 ||
        (window[1] != FAMILY_PATTERN[1] && window[1] != RENAMED_PATTERN[1])) {
        return NO_ROW;
    }
    for (int row = 0; RENAME_TABLE[row * RENAME_ROW_SIZE] != FIELD_END; ++row) {
        const std::uint8_t* oldName = RENAME_TABLE.data() + row * RENAME_ROW_SIZE;
        const std::uint8_t* newName = oldName + NAME_FIELD_SIZE;
        const std::size_t length = fieldLength(oldName);
        const bool newStart = takesNewStart(row, split);
        if (split < length && windowLength >= length &&
            std::memcmp(window, newStart ? newName : oldName, split) == 0 &&
            std::memcmp(window + split, (newStart ? oldName : newName) + split, length - split) ==
                0) {
            return row;
        }
    }
    return NO_ROW;
}

// Writes the window at offset, whose first nameLength bytes are the row's
// name as the run wants it. A name that crosses a multiple of SECTOR_SIZE
// goes in two writes, the side that the row's torn form at that split takes
// from this name first, ahead of every other change, so that a power cut
// leaves it whole or in that one torn form, which the next run completes.
// Returns whether a byte changed.
bool writeName(EditStream& stream, std::uint32_t offset, const std::uint8_t* window,
               std::size_t length, int row, std::size_t nameLength, Direction direction) {
    const std::size_t split = splitAt(offset);
    bool ahead = false;
    if (split < nameLength) {
        // The new start with the old end is what a rename leaves that writes
        // the start first, or a revert that writes the end first.
        const bool startFirst = takesNewStart(row, split) == (direction == Direction::Rename);
        const std::size_t from = startFirst ? 0 : split;
        ahead = writeAheadAt(stream, offset + static_cast<std::uint32_t>(from), window + from,
                             startFirst ? split : nameLength - split);
    }
    // Only the bytes that were read go back: a short window near the end of
    // the file must not lengthen it.
    const bool rest = writeAt(stream, offset, window, length);
    return ahead || rest;
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
    bool lastFound = true;     // no occurrence at all counts as found
    bool interrupted = false;  // a name to rename found torn, or already as the run wants it

    for (std::uint32_t offset = 0; offset < SCAN_RANGE; ++offset) {
        std::uint8_t window[SCAN_WINDOW_SIZE];
        const std::size_t length = readAt(stream, offset, window, SCAN_WINDOW_SIZE);
        const int torn = lookupTorn(window, length, splitAt(offset));
        const bool renamed = windowBegins(window, length, RENAMED_PATTERN, sizeof RENAMED_PATTERN);
        if (torn == NO_ROW && !renamed &&
            !windowBegins(window, length, FAMILY_PATTERN, sizeof FAMILY_PATTERN)) {
            continue;
        }
        const int row = torn != NO_ROW ? torn
                                       : lookupField(RENAME_TABLE.data(),
                                                     renamed ? NAME_FIELD_SIZE : 0, window, length);
        ++occurrences;
        lastFound = row != NO_ROW;
        if (!lastFound || occurrences < FIRST_REWRITTEN || occurrences > LAST_REWRITTEN) {
            continue;
        }
        // A torn name, completed whichever way the run goes, and a name
        // already as the run wants it both show a run cut short.
        const bool done = torn == NO_ROW && renamed != reverting;
        interrupted = interrupted || torn != NO_ROW || done;
        if (done) {
            continue;
        }
        const std::uint8_t* to = RENAME_TABLE.data() + row * RENAME_ROW_SIZE + toField;
        const std::size_t nameLength = fieldLength(to);
        std::memcpy(window, to, nameLength);
        if (writeName(stream, offset, window, length, row, nameLength, direction)) {
            noteNameChange(result, nameChangeOf(RENAME_SHOWN[row], direction, ONE_COPY));
        }
    }
    // Names written, and others found torn or done already: a run cut short, now finished.
    if (result.changeCount > 0 && interrupted) {
        result.verdict = Verdict::Completed;
    } else if (occurrences == 0) {
        result.verdict = Verdict::NoNamesFound;
    } else if (!lastFound && !reverting) {
        result.verdict = Verdict::NotRecognised;
    }
    return result;
}
