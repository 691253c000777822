// The rename table of Velnari: the 35 names it knows and what each becomes.
//
// The engine walks the table by byte, so its layout is fixed: 80-byte rows of
// two 40-byte fields (old name, new name), each a UTF-16BE name, FIELD_END,
// then 0x00 to the end of the field; an end row whose fields start with
// FIELD_END closes the table. The bytes are built here at compile time from the
// name pairs, and the static_asserts below hold the rules the scan relies on.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "table_format.hpp"

inline constexpr std::size_t NAME_FIELD_SIZE = 40;
inline constexpr std::size_t RENAME_ROW_SIZE = 2 * NAME_FIELD_SIZE;

struct NamePair {
    std::u16string_view oldName;
    std::u16string_view newName;  // filled up with U+0000 to the old name's length
};

// A name that is the prefix of another comes after it (each " Bold" row
// directly before its plain row): the first row whose old name is a prefix
// of the string in the file wins.
inline constexpr NamePair RENAME_PAIRS[] = {
    {u"KanovelR11 Bold", u"Ｋ．ａｎｏｖｅｌＲＢ１"},
    {u"KanovelR11", u"Ｋ．ａｎｏｖｅｌＲ１"},
    {u"KanovelRQ11 Bold", u"Ｋ．ａｎｏｖｅｌＲＱＢ１"},
    {u"KanovelRQ11", u"Ｋ．ａｎｏｖｅｌＲＱ１"},
    {u"KanovelR86 Bold", u"Ｋ．ａｎｏｖｅｌＲＢ"},
    {u"KanovelR86", u"Ｋ．ａｎｏｖｅｌＲ"},
    {u"KanovelRQ86 Bold", u"Ｋ．ａｎｏｖｅｌＲＱＢ"},
    {u"KanovelRQ86", u"Ｋ．ａｎｏｖｅｌＲＱ"},
    {u"Kanovel11 Bold", u"Ｋ．ａｎｏｖｅｌＢ１"},
    {u"Kanovel11", u"Ｋ．ａｎｏｖｅｌ１"},
    {u"KanovelQ11 Bold", u"Ｋ．ａｎｏｖｅｌＱＢ１"},
    {u"KanovelQ11", u"Ｋ．ａｎｏｖｅｌＱ１"},
    {u"Kanovel86 Bold", u"Ｋ．ａｎｏｖｅｌＢ"},
    {u"Kanovel86", u"Ｋ．ａｎｏｖｅｌ"},
    {u"KanovelQ86 Bold", u"Ｋ．ａｎｏｖｅｌＱＢ"},
    {u"KanovelQ86", u"Ｋ．ａｎｏｖｅｌＱ"},
    {u"KanovelS11 Bold", u"Ｋ．ａｎｏｖｅｌＳＢ１"},
    {u"KanovelS11", u"Ｋ．ａｎｏｖｅｌＳ１"},
    {u"KanovelSQ11 Bold", u"Ｋ．ａｎｏｖｅｌＳＱＢ１"},
    {u"KanovelSQ11", u"Ｋ．ａｎｏｖｅｌＳＱ１"},
    {u"KanovelS86 Bold", u"Ｋ．ａｎｏｖｅｌＳＢ"},
    {u"KanovelS86", u"Ｋ．ａｎｏｖｅｌＳ"},
    {u"KanovelSQ86 Bold", u"Ｋ．ａｎｏｖｅｌＳＱＢ"},
    {u"KanovelSQ86", u"Ｋ．ａｎｏｖｅｌＳＱ"},
    {u"KanovelT11 Bold", u"Ｋ．ａｎｏｖｅｌＴＢ１"},
    {u"KanovelT11", u"Ｋ．ａｎｏｖｅｌＴ１"},
    {u"KanovelTQ11 Bold", u"Ｋ．ａｎｏｖｅｌＴＱＢ１"},
    {u"KanovelTQ11", u"Ｋ．ａｎｏｖｅｌＴＱ１"},
    {u"KanovelT86 Bold", u"Ｋ．ａｎｏｖｅｌＴＢ"},
    {u"KanovelT86", u"Ｋ．ａｎｏｖｅｌＴ"},
    {u"KanovelTQ86 Bold", u"Ｋ．ａｎｏｖｅｌＴＱＢ"},
    {u"KanovelTQ86", u"Ｋ．ａｎｏｖｅｌＴＱ"},
    {u"KanovelV86", u"Ｋ．ａｎｏｖｅｌＶ"},
    {u"KanovelVS86", u"Ｋ．ａｎｏｖｅｌＶＳ"},
    {u"KanovelW86", u"Ｋ．ａｎｏｖｅｌＷ"},
};

inline constexpr std::size_t RENAME_ROW_COUNT = std::size(RENAME_PAIRS);
inline constexpr std::size_t RENAME_TABLE_SIZE = (RENAME_ROW_COUNT + 1) * RENAME_ROW_SIZE;

using RenameTable = std::array<std::uint8_t, RENAME_TABLE_SIZE>;

namespace rename_table_detail {

// Writes name as UTF-16BE, then FIELD_END after fillTo code units (or after
// the name, if longer); the rest of the field stays 0x00, the U+0000 fill.
constexpr void putField(RenameTable& table, std::size_t at, std::u16string_view name,
                        std::size_t fillTo) {
    const std::size_t written = encodeUtf16be(table.data() + at, name);
    table[at + (2 * fillTo > written ? 2 * fillTo : written)] = FIELD_END;
}

constexpr RenameTable makeRenameTable() {
    RenameTable table{};
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        const NamePair& pair = RENAME_PAIRS[row];
        putField(table, row * RENAME_ROW_SIZE, pair.oldName, pair.oldName.size());
        putField(table, row * RENAME_ROW_SIZE + NAME_FIELD_SIZE, pair.newName, pair.oldName.size());
    }
    table[RENAME_TABLE_SIZE - RENAME_ROW_SIZE] = FIELD_END;
    table[RENAME_TABLE_SIZE - NAME_FIELD_SIZE] = FIELD_END;
    return table;
}

constexpr bool startsWith(std::u16string_view name, std::u16string_view prefix) {
    return name.substr(0, prefix.size()) == prefix;
}

constexpr bool hasFieldEndByte(std::u16string_view name) {
    for (char16_t unit : name) {
        if ((unit >> 8) == FIELD_END || (unit & 0xFF) == FIELD_END) {
            return true;
        }
    }
    return false;
}

constexpr bool pairsAreWellFormed() {
    for (const NamePair& pair : RENAME_PAIRS) {
        if (2 * pair.oldName.size() > NAME_FIELD_SIZE - 1 ||
            pair.newName.size() > pair.oldName.size() || !fitsShownName(pair.oldName) ||
            !fitsShownName(pair.newName) || hasFieldEndByte(pair.oldName) ||
            hasFieldEndByte(pair.newName) || !startsWith(pair.oldName, u"Kanovel") ||
            !startsWith(pair.newName, u"Ｋ．ａｎｏｖｅｌ")) {
            return false;
        }
    }
    return true;
}

// No row may be shadowed by an earlier row whose old name is its prefix.
constexpr bool longerNamesComeFirst() {
    for (std::size_t later = 0; later < RENAME_ROW_COUNT; ++later) {
        for (std::size_t earlier = 0; earlier < later; ++earlier) {
            if (startsWith(RENAME_PAIRS[later].oldName, RENAME_PAIRS[earlier].oldName)) {
                return false;
            }
        }
    }
    return true;
}

// Code unit i of a row's new name as stored: the name, then U+0000 fill up to
// the old name's length.
constexpr char16_t storedNewUnit(const NamePair& pair, std::size_t i) {
    return i < pair.newName.size() ? pair.newName[i] : u'\0';
}

// A renamed name tells its row only if no stored new name begins another.
constexpr bool newNamesBeginNoOther() {
    for (const NamePair& shorter : RENAME_PAIRS) {
        for (const NamePair& longer : RENAME_PAIRS) {
            bool begins = &shorter != &longer && shorter.oldName.size() <= longer.oldName.size();
            for (std::size_t i = 0; begins && i < shorter.oldName.size(); ++i) {
                begins = storedNewUnit(shorter, i) == storedNewUnit(longer, i);
            }
            if (begins) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace rename_table_detail

inline constexpr RenameTable RENAME_TABLE = rename_table_detail::makeRenameTable();

// Each row's old and new name as the console shows them (CP932).
inline constexpr std::array<ShownPair, RENAME_ROW_COUNT> RENAME_SHOWN = shownPairs(RENAME_PAIRS);

static_assert(RENAME_ROW_COUNT == 35);
static_assert(RENAME_TABLE_SIZE == 2880);
static_assert(rename_table_detail::pairsAreWellFormed(),
              "names must fit a field, be shown in CP932, avoid FIELD_END and keep the family "
              "prefixes; "
              "new names may not be longer than old ones");
static_assert(rename_table_detail::longerNamesComeFirst(),
              "a name must come before any name that is its prefix");
static_assert(rename_table_detail::newNamesBeginNoOther(),
              "no new name, U+0000 fill included, may begin another row's");
static_assert(RENAME_TABLE[RENAME_TABLE_SIZE - RENAME_ROW_SIZE] == FIELD_END &&
              RENAME_TABLE[RENAME_TABLE_SIZE - NAME_FIELD_SIZE] == FIELD_END);

// A name whose bytes cross a multiple of SECTOR_SIZE in the file can be torn
// by a power cut: its bytes before the boundary (the split) from one name of
// its row, the rest from the other. Velnari writes such a name in two writes,
// one side of the boundary, a sync, then the other side, so that a power cut
// leaves at most one torn form for each row and split: the one chosen here.
// The scan recognises that form as its row, whichever way the next run goes,
// and completes it.
//
// The choice: the old start with the new end (a rename writes the end first,
// a revert the start), unless that form meets a whole name of another row
// (equals it, begins with it or begins it), as each " Bold" row torn at or
// past the end of its plain row's name does. Those take the new start with
// the old end, except where that form meets the new-start form of another row
// at the same split while the old-start form is not just a whole name
// followed by 0x00 bytes: the eight "11 Bold" rows torn exactly where their
// plain name ends, whose new-start form is that of the "86 Bold" row. No
// order of two writes keeps such a pair apart. The "86 Bold" row takes the new
// start (its old-start form is its plain name and 0x00 bytes, which fonts
// hold); the "11 Bold" row keeps the old start ("KanovelR11", "１" and eight
// 0x00 bytes), which the scan reads as the torn Bold name in preference to
// the plain name it begins with. The cost: a whole plain "11" name that ends
// exactly at a multiple of SECTOR_SIZE, followed by exactly "１" and that
// 0x00 fill, is read as the torn "11 Bold" name.
namespace torn_name_detail {

// The names of the table, each row's old name and its new name as stored
// (U+0000 fill included), numbered 2 * row and 2 * row + 1.
inline constexpr std::size_t NAME_COUNT = 2 * RENAME_ROW_COUNT;

constexpr std::size_t nameOf(std::size_t row, bool renamed) {
    return 2 * row + (renamed ? 1 : 0);
}

constexpr std::size_t lengthOf(std::size_t name) {
    return 2 * RENAME_PAIRS[name / 2].oldName.size();
}

constexpr const std::uint8_t* bytesOf(std::size_t name) {
    return RENAME_TABLE.data() + name / 2 * RENAME_ROW_SIZE + name % 2 * NAME_FIELD_SIZE;
}

// Where two names differ, over the bytes both have: the first differing byte
// (the common length if none) and one past the last (0 if none).
struct Difference {
    std::size_t first;
    std::size_t pastLast;
};

using Differences = std::array<std::array<Difference, NAME_COUNT>, NAME_COUNT>;

constexpr Differences findDifferences() {
    Differences differences{};
    for (std::size_t a = 0; a < NAME_COUNT; ++a) {
        for (std::size_t b = 0; b < NAME_COUNT; ++b) {
            const std::uint8_t* x = bytesOf(a);
            const std::uint8_t* y = bytesOf(b);
            const std::size_t common = lengthOf(a) < lengthOf(b) ? lengthOf(a) : lengthOf(b);
            std::size_t first = 0;
            while (first < common && x[first] == y[first]) {
                ++first;
            }
            std::size_t pastLast = first == common ? 0 : common;
            while (pastLast > first && x[pastLast - 1] == y[pastLast - 1]) {
                --pastLast;
            }
            differences[a][b] = {first, pastLast};
        }
    }
    return differences;
}

inline constexpr Differences DIFFERENCES = findDifferences();

// A set of splits: bit s stands for the split after s bytes.
using SplitMask = std::uint64_t;

static_assert(NAME_FIELD_SIZE < 64, "every split of a name must have its bit in a SplitMask");

constexpr SplitMask splitsFrom(std::size_t first) {
    return ~SplitMask{0} << first;
}

// The splits inside a row's name: 1 to its length less one.
constexpr SplitMask splitsInside(std::size_t row) {
    return splitsFrom(1) & ~splitsFrom(lengthOf(nameOf(row, false)));
}

// The splits at which one torn form (the bytes before the split from the name
// start, the rest from the name end) equals, begins or is begun by another (a
// whole name has the same start and end): those from one past the last byte
// at which their ends differ up to the first byte at which their starts
// differ, with no upper end if the starts agree over the bytes both have.
constexpr SplitMask meetingSplits(std::size_t start, std::size_t end, std::size_t otherStart,
                                  std::size_t otherEnd) {
    const Difference starts = DIFFERENCES[start][otherStart];
    const std::size_t common =
        lengthOf(start) < lengthOf(otherStart) ? lengthOf(start) : lengthOf(otherStart);
    const SplitMask upTo = starts.first == common ? ~SplitMask{0} : ~splitsFrom(starts.first + 1);
    return splitsFrom(DIFFERENCES[end][otherEnd].pastLast) & upTo;
}

// The splits at which a row's torn form (the new start with the old end, or
// the old start with the new end) meets a whole name of another row.
constexpr SplitMask meetingAWholeName(std::size_t row, bool newStart) {
    SplitMask meeting = 0;
    for (std::size_t name = 0; name < NAME_COUNT; ++name) {
        if (name / 2 != row) {
            meeting |= meetingSplits(nameOf(row, newStart), nameOf(row, !newStart), name, name);
        }
    }
    return meeting & splitsInside(row);
}

// One past the last byte of a name that is not 0x00.
constexpr std::size_t zerosFrom(std::size_t name) {
    std::size_t end = lengthOf(name);
    while (end > 0 && bytesOf(name)[end - 1] == 0x00) {
        --end;
    }
    return end;
}

// The splits at which a row's old-start form is a shorter whole name of
// another row followed by 0x00 bytes only, as a font may hold that name in a
// longer field: it begins with the name, and its bytes past the name, from
// the old name before the split and the new one after, are all 0x00.
constexpr SplitMask aNameAndZeros(std::size_t row) {
    const std::size_t oldName = nameOf(row, false);
    const std::size_t newName = nameOf(row, true);
    SplitMask splits = 0;
    for (std::size_t name = 0; name < NAME_COUNT; ++name) {
        const std::size_t length = lengthOf(name);
        if (name / 2 == row || length >= lengthOf(oldName)) {
            continue;
        }
        const SplitMask oldPartZero =
            zerosFrom(oldName) <= length ? ~SplitMask{0} : ~splitsFrom(length + 1);
        const SplitMask newPartZero =
            zerosFrom(newName) <= length ? ~SplitMask{0} : splitsFrom(zerosFrom(newName));
        splits |= meetingSplits(oldName, newName, name, name) & oldPartZero & newPartZero;
    }
    return splits & splitsInside(row);
}

using TornChoice = std::array<SplitMask, RENAME_ROW_COUNT>;

constexpr TornChoice findOldStartsMeetingAName() {
    TornChoice meeting{};
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        meeting[row] = meetingAWholeName(row, false);
    }
    return meeting;
}

inline constexpr TornChoice OLD_STARTS_MEETING_A_NAME = findOldStartsMeetingAName();

// The new start, where the old start meets a whole name, unless the new start
// meets the new start another row takes there while the old start is not a
// whole name and 0x00 bytes.
constexpr TornChoice chooseTornForms() {
    TornChoice newStart{};
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        SplitMask meetingNewStarts = 0;
        for (std::size_t other = 0; other < RENAME_ROW_COUNT; ++other) {
            if (other != row) {
                meetingNewStarts |= meetingSplits(nameOf(row, true), nameOf(row, false),
                                                  nameOf(other, true), nameOf(other, false)) &
                                    OLD_STARTS_MEETING_A_NAME[other];
            }
        }
        newStart[row] = OLD_STARTS_MEETING_A_NAME[row] & (aNameAndZeros(row) | ~meetingNewStarts);
    }
    return newStart;
}

// The chosen torn forms that meet a whole name of another row.
constexpr TornChoice findChosenMeetingAName(const TornChoice& newStart) {
    TornChoice meeting{};
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        meeting[row] = (OLD_STARTS_MEETING_A_NAME[row] & ~newStart[row]) |
                       (meetingAWholeName(row, true) & newStart[row]);
    }
    return meeting;
}

// Whether no chosen torn form meets the chosen torn form of another row at
// the same split: each tells its row.
constexpr bool tornFormsTellTheirRow(const TornChoice& newStart) {
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        for (std::size_t other = 0; other < RENAME_ROW_COUNT; ++other) {
            for (const bool rowNew : {false, true}) {
                for (const bool otherNew : {false, true}) {
                    const SplitMask chosen = (rowNew ? newStart[row] : ~newStart[row]) &
                                             (otherNew ? newStart[other] : ~newStart[other]) &
                                             splitsInside(row) & splitsInside(other);
                    const SplitMask meeting =
                        meetingSplits(nameOf(row, rowNew), nameOf(row, !rowNew),
                                      nameOf(other, otherNew), nameOf(other, !otherNew));
                    if (other != row && (chosen & meeting) != 0) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

constexpr std::size_t countSplits(const TornChoice& splits) {
    std::size_t count = 0;
    for (const SplitMask mask : splits) {
        count += static_cast<std::size_t>(std::popcount(mask));
    }
    return count;
}

constexpr TornChoice allSplitsInside() {
    TornChoice splits{};
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        splits[row] = splitsInside(row);
    }
    return splits;
}

// Whether each row's old and new name differ in their first and last byte:
// a name that crosses a boundary then changes on both sides of it, and each
// torn form differs from both whole names.
constexpr bool namesDifferAtBothEnds() {
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        const Difference difference = DIFFERENCES[nameOf(row, false)][nameOf(row, true)];
        if (difference.first != 0 || difference.pastLast != lengthOf(nameOf(row, false))) {
            return false;
        }
    }
    return true;
}

// Whether the second byte of every name, whole or torn (that of its first
// character, "K" or "Ｋ"), is a byte no name holds further on: a window that
// starts inside a name then begins no other, and no name is counted twice.
constexpr bool namesBeginOnlyAtTheirStart() {
    bool second[256] = {};
    for (std::size_t name = 0; name < NAME_COUNT; ++name) {
        second[bytesOf(name)[1]] = true;
    }
    for (std::size_t name = 0; name < NAME_COUNT; ++name) {
        for (std::size_t i = 2; i < lengthOf(name); ++i) {
            if (second[bytesOf(name)[i]]) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace torn_name_detail

// For each row, bit s is set when its torn form at split s is the new name's
// first s bytes with the old name's rest (a rename writes the start first, a
// revert the end), and clear when it is the old start with the new rest.
inline constexpr torn_name_detail::TornChoice TORN_NEW_START = torn_name_detail::chooseTornForms();

static_assert(torn_name_detail::namesDifferAtBothEnds(),
              "a row's old and new name must differ in their first and last byte");
static_assert(torn_name_detail::namesBeginOnlyAtTheirStart(),
              "no name may hold the second byte of a name past its own second byte");
static_assert(torn_name_detail::tornFormsTellTheirRow(TORN_NEW_START),
              "a chosen torn form may not meet another row's at the same split");
static_assert(torn_name_detail::countSplits(torn_name_detail::allSplitsInside()) == 843 &&
              torn_name_detail::countSplits(TORN_NEW_START) == 152);
static_assert(
    torn_name_detail::countSplits(torn_name_detail::findChosenMeetingAName(TORN_NEW_START)) == 8,
    "only the eight \"11 Bold\" forms torn where their plain name ends may meet a whole name");
