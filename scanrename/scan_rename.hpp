// The engine of Velnari: scans the start of the file for UTF-16BE names that
// begin with "Kanovel" and renames the fourth to the seventh of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run_flow.hpp"

inline constexpr std::uint32_t SCAN_RANGE = 4096;  // offsets 0 to 4,095
inline constexpr std::size_t SCAN_WINDOW_SIZE = 48;
inline constexpr std::uint32_t FIRST_REWRITTEN = 4;  // occurrences 4 to 7, counted from 1
inline constexpr std::uint32_t LAST_REWRITTEN = 7;

// "Kanovel" in UTF-16BE.
inline constexpr std::uint8_t FAMILY_PATTERN[14] = {0x00, 0x4B, 0x00, 0x61, 0x00, 0x6E, 0x00,
                                                    0x6F, 0x00, 0x76, 0x00, 0x65, 0x00, 0x6C};
// "Ｋ．ａｎｏｖｅｌ" in UTF-16BE: how every new name begins.
inline constexpr std::uint8_t RENAMED_PATTERN[16] = {
    0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F, 0xFF, 0x56, 0xFF, 0x45, 0xFF, 0x4C};

inline constexpr int NO_ROW = -1;

// The first row of table whose old name is a prefix of the window's first
// windowLength bytes, or NO_ROW. A name must lie wholly inside the window:
// near the end of a short file the bytes past its end are not the file's.
int lookupRow(const std::uint8_t* table, const std::uint8_t* window, std::size_t windowLength);

// Scans offsets 0 to SCAN_RANGE - 1 for occurrences: windows that begin with
// FAMILY_PATTERN (a Latin name) or RENAMED_PATTERN (a name renamed by an
// earlier run). A Latin occurrence's row is lookupRow's; a renamed one's is
// the first row whose new name, U+0000 fill included, begins the window. The
// Latin names among occurrences 4 to 7 that have a row are renamed, each in
// one write of its window; a renamed occurrence is never written, so a run
// cut short is completed by the next, and a second run changes nothing.
// Returns the finish flag always; NoNamesFound without any occurrence,
// otherwise Finished if the last occurrence had a row, NotRecognised if not.
EngineResult scanAndRename(EditStream& stream);
