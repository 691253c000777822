// The engine of Velnari: scans the start of the file for UTF-16BE names that
// begin with "Kanovel" and renames the fourth to the seventh of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run_flow.hpp"
#include "table_format.hpp"

inline constexpr std::uint32_t SCAN_RANGE = 4096;  // offsets 0 to 4,095
inline constexpr std::size_t SCAN_WINDOW_SIZE = 48;
inline constexpr std::uint32_t FIRST_REWRITTEN = 4;  // occurrences 4 to 7, counted from 1
inline constexpr std::uint32_t LAST_REWRITTEN = 7;

// "Ｋ．ａｎｏｖｅｌ" in UTF-16BE: how every new name begins.
inline constexpr std::uint8_t RENAMED_PATTERN[16] = {
    0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F, 0xFF, 0x56, 0xFF, 0x45, 0xFF, 0x4C};

inline constexpr int NO_ROW = -1;

// The first row of table whose old name is a prefix of the window's first
// windowLength bytes, or NO_ROW. A name must lie wholly inside the window:
// near the end of a short file the bytes past its end are not the file's.
int lookupRow(const std::uint8_t* table, const std::uint8_t* window, std::size_t windowLength);

// Scans offsets 0 to SCAN_RANGE - 1 for occurrences: windows that begin with
// a row's torn form at the split the offset allows (TORN_NEW_START), with
// FAMILY_PATTERN (a Latin name) or with RENAMED_PATTERN (a name renamed
// before). A torn occurrence's row is the one whose form it is; a Latin
// one's is lookupRow's; a renamed one's is the first row whose new name,
// U+0000 fill included, begins the window. Among occurrences 4 to 7, a rename
// writes each torn name, and each Latin name that has a row, with its row's
// new name, and a revert each torn or renamed name with its old name: a name
// that crosses a multiple of SECTOR_SIZE in two writes, the side that its
// row's torn form takes from the name written ahead of every other change,
// any other name in one write of its window. An occurrence already as the run
// wants it is never written, so a run cut short by a kill or a power cut is
// completed by the next, and a second run changes nothing. Each name written
// is noted in the result once. Returns the finish flag always; NotAFont,
// having read nothing more, when the file does not begin with one of
// FONT_SIGNATURES; Completed when it wrote names and found others of 4 to 7
// torn, or already as the run wants them (a run cut short); NoNamesFound
// without any occurrence; otherwise Finished if the last occurrence had a
// row, NotRecognised if not (a rename only: a revert has nothing to say of
// names it does not know, only that it left them, so it is Finished).
EngineResult scanAndRename(EditStream& stream, Direction direction);
