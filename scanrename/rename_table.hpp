// The rename table of Velnari: the 35 names it knows and what each becomes.
//
// The engine walks the table by byte, so its layout is fixed: 80-byte rows of
// two 40-byte fields (old name, new name), each a UTF-16BE name, FIELD_END,
// then 0x00 to the end of the field; an end row whose fields start with
// FIELD_END closes the table. The bytes are built here at compile time from the
// name pairs, and the static_asserts below hold the rules the scan relies on.
#pragma once

#include <array>
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
