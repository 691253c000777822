#include "scan_rename.hpp"

#include <gtest/gtest.h>

#include <set>

#include "memory_file.hpp"
#include "rename_table.hpp"

namespace {

// The bytes of the examples are written out by hand, not derived from the table.
const Bytes ROW1_OLD = {0x00, 0x4B, 0x00, 0x61, 0x00, 0x6E, 0x00, 0x6F, 0x00, 0x76,
                        0x00, 0x65, 0x00, 0x6C, 0x00, 0x52, 0x00, 0x31, 0x00, 0x31};
const Bytes ROW1_NEW = {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F,
                        0xFF, 0x56, 0xFF, 0x45, 0xFF, 0x4C, 0xFF, 0x32, 0xFF, 0x11};
const Bytes R11_BOLD_NEW = {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F,
                            0xFF, 0x56, 0xFF, 0x45, 0xFF, 0x4C, 0xFF, 0x32, 0xFF, 0x22,
                            0xFF, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

Bytes field(const Bytes& name) {
    Bytes out = name;
    out.push_back(0x01);
    out.resize(40, 0x00);
    return out;
}

TEST(RenameTable, RowOneAndTheEndRowHaveTheDocumentedBytes) {
    const Bytes row1(RENAME_TABLE.begin() + 80, RENAME_TABLE.begin() + 160);
    Bytes expected = field(ROW1_OLD);
    const Bytes newField = field(ROW1_NEW);
    expected.insert(expected.end(), newField.begin(), newField.end());
    EXPECT_EQ(row1, expected);

    Bytes endRow(80, 0x00);
    endRow[0] = endRow[40] = 0x01;
    EXPECT_EQ(Bytes(RENAME_TABLE.end() - 80, RENAME_TABLE.end()), endRow);
    EXPECT_EQ(RENAME_TABLE.size(), 2880u);
}

// A row's old name, or its new name with the U+0000 fill, as the table stores it.
Bytes tableName(std::size_t row, bool renamed) {
    const std::uint8_t* name = RENAME_TABLE.data() + row * RENAME_ROW_SIZE + (renamed ? 40 : 0);
    return Bytes(name, std::find(name, name + 40, 0x01));
}

// The torn form the table chose for a row and split: the first split bytes of
// one name, the rest of the other.
Bytes chosenTornForm(std::size_t row, std::size_t split) {
    const bool newStart = (TORN_NEW_START[row] >> split & 1) != 0;
    Bytes form = tableName(row, !newStart);
    const Bytes start = tableName(row, newStart);
    std::copy_n(start.begin(), split, form.begin());
    return form;
}

bool beginsOneAnother(const Bytes& a, const Bytes& b) {
    return std::equal(a.begin(),
                      a.begin() + static_cast<std::ptrdiff_t>(std::min(a.size(), b.size())),
                      b.begin());
}

// Byte by byte, apart from the table's own compile-time checks: every chosen
// torn form tells its row at its split, and only the "11 Bold" rows torn where
// their plain name ends meet a whole name of another row.
TEST(RenameTable, EachTornFormTellsItsRowAndOnlyEightMeetAWholeName) {
    std::set<std::pair<std::size_t, std::size_t>> meeting;
    std::set<std::pair<std::size_t, std::size_t>> elevenBoldAtThePlainEnd;
    std::size_t splits = 0;
    std::size_t newStarts = 0;
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        const std::u16string_view name = RENAME_PAIRS[row].oldName;
        if (name.ends_with(u"11 Bold")) {
            elevenBoldAtThePlainEnd.insert({row, 2 * (name.size() - 5)});
        }
        for (std::size_t split = 1; split < 2 * name.size(); ++split) {
            ++splits;
            newStarts += TORN_NEW_START[row] >> split & 1;
            const Bytes form = chosenTornForm(row, split);
            for (std::size_t other = 0; other < RENAME_ROW_COUNT; ++other) {
                if (other == row) {
                    continue;
                }
                if (beginsOneAnother(form, tableName(other, false)) ||
                    beginsOneAnother(form, tableName(other, true))) {
                    meeting.insert({row, split});
                }
                if (split < 2 * RENAME_PAIRS[other].oldName.size()) {
                    EXPECT_FALSE(beginsOneAnother(form, chosenTornForm(other, split)))
                        << row << ", " << other << " at " << split;
                }
            }
        }
    }
    EXPECT_EQ(splits, 843u);
    EXPECT_EQ(newStarts, 152u);
    EXPECT_EQ(meeting, elevenBoldAtThePlainEnd);
    EXPECT_EQ(meeting.size(), 8u);
}

TEST(LookupRow, FindsTheFirstRowWhoseOldNameIsAPrefix) {
    struct Case {
        const char* text;
        int row;
    };
    const Case cases[] = {
        {"KanovelR11 Bold", 0},  {"KanovelR11", 1},       {"KanovelR11 Italic", 1},
        {"KanovelRQ11 Bold", 2}, {"KanovelRQ11", 3},      {"KanovelVS86", 33},
        {"KanovelV86", 32},      {"KanovelW86 Bold", 34}, {"KanovelX86", NO_ROW},
        {"Kanovel", NO_ROW},     {"KanovelR1", NO_ROW},   {"Kanovel86", 13},
    };
    for (const Case& c : cases) {
        Bytes window = utf16(c.text);
        const std::size_t length = window.size();
        window.resize(48, 0x00);
        EXPECT_EQ(lookupRow(RENAME_TABLE.data(), window.data(), length), c.row) << c.text;
    }
}

TEST(LookupRow, NeedsTheWholeNameInsideTheWindow) {
    Bytes window = utf16("KanovelR11 Bold");
    window.resize(48, 0x00);
    EXPECT_EQ(lookupRow(RENAME_TABLE.data(), window.data(), 29), 1);  // " Bold" cut short
    EXPECT_EQ(lookupRow(RENAME_TABLE.data(), window.data(), 19), NO_ROW);
}

TEST(LookupRow, ATableThatStartsWithTheEndRowFindsNothing) {
    Bytes empty(80, 0x00);
    empty[0] = empty[40] = 0x01;
    Bytes window = utf16("KanovelR11 Bold");
    window.resize(48, 0x00);
    EXPECT_EQ(lookupRow(empty.data(), window.data(), 48), NO_ROW);
}

// UTF-8 text of one- and three-byte characters ("Ｋ．ａｎｏｖｅｌ") as UTF-16BE.
Bytes utf16FromUtf8(const char* text) {
    Bytes out;
    for (const auto* s = reinterpret_cast<const unsigned char*>(text); *s != 0;) {
        unsigned unit = *s++;
        if (unit >= 0xE0) {
            unit = (unit & 0x0F) << 12 | (s[0] & 0x3F) << 6 | (s[1] & 0x3F);
            s += 2;
        }
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    }
    return out;
}

// A file of the given size with UTF-16BE names at the given offsets.
struct Placed {
    std::size_t at;
    const char* name;
};

// A TrueType font's first four bytes.
const Bytes TRUETYPE = {0x00, 0x01, 0x00, 0x00};

// Begins as a TrueType font, at least four bytes long.
Bytes fileWith(std::size_t size, std::initializer_list<Placed> names) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(0x80 + i % 61);  // no accidental "Kanovel"
    }
    put(bytes, 0, TRUETYPE);
    for (const Placed& p : names) {
        put(bytes, p.at, utf16FromUtf8(p.name));
    }
    return bytes;
}

TEST(ScanAndRename, RewritesExactlyTheFourthToTheSeventhOccurrence) {
    const char* names[9] = {"KanovelR11 Bold", "KanovelR11", "KanovelS86",
                            "KanovelR11 Bold", "KanovelR11", "KanovelVS86 Bold",
                            "KanovelTQ11",     "KanovelR11", "KanovelW86"};
    Bytes original = fileWith(8000, {});
    for (std::size_t i = 0; i < 9; ++i) {
        put(original, 100 + 64 * i, utf16(names[i]));
    }
    MemoryFile file(original);
    const EngineResult result = scanAndRename(file.stream, Direction::Rename);
    EXPECT_EQ(result.verdict, Verdict::Finished);
    EXPECT_TRUE(result.finish);

    Bytes expected = original;
    put(expected, 100 + 64 * 3, R11_BOLD_NEW);
    put(expected, 100 + 64 * 4, ROW1_NEW);
    // "KanovelVS86 Bold" is no name of the table, but "KanovelVS86" is its prefix.
    put(expected, 100 + 64 * 5, {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F, 0xFF,
                                 0x56, 0xFF, 0x45, 0xFF, 0x4C, 0xFF, 0x36, 0xFF, 0x33, 0x00, 0x00});
    put(expected, 100 + 64 * 6, {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F, 0xFF,
                                 0x56, 0xFF, 0x45, 0xFF, 0x4C, 0xFF, 0x34, 0xFF, 0x31, 0xFF, 0x11});
    EXPECT_EQ(file.bytes(), expected);
}

TEST(ScanAndRename, TheWorkedExampleKeepsTheRestOfTheWindow) {
    // Five names packed end to end: the window of the fifth overlaps what follows.
    Bytes original = fileWith(600, {});
    std::size_t at = 40;
    for (int i = 0; i < 5; ++i) {
        put(original, at, utf16("KanovelR11 Bold"));
        at += 30;
    }
    MemoryFile file(original);
    scanAndRename(file.stream, Direction::Rename);
    Bytes expected = original;
    put(expected, 40 + 3 * 30, R11_BOLD_NEW);
    put(expected, 40 + 4 * 30, R11_BOLD_NEW);
    EXPECT_EQ(file.bytes(), expected);
}

TEST(ScanAndRename, VerdictFollowsTheLastOccurrence) {
    struct Case {
        std::initializer_list<Placed> names;
        Verdict verdict;
    };
    const Case cases[] = {
        {{}, Verdict::NoNamesFound},
        {{{4, "KanovelR11"}, {50, "KanovelZZ"}, {100, "KanovelR11"}}, Verdict::Finished},
        {{{4, "KanovelR11"}, {100, "KanovelZZ"}}, Verdict::NotRecognised},
        {{{4095, "KanovelQ"}}, Verdict::NotRecognised},
        {{{4000, "KanovelR11"}, {4096, "KanovelQ"}}, Verdict::Finished},
        // A name renamed before counts; its row is the one whose stored new
        // name, fill included, begins it ("KanovelR11 Bold" leaves four U+0000).
        {{{4, "Ｋ．ａｎｏｖｅｌＲ１"}}, Verdict::Finished},
        {{{4, "KanovelZZ"}, {100, "Ｋ．ａｎｏｖｅｌＲ１"}}, Verdict::Finished},
        {{{4, "KanovelR11"}, {100, "Ｋ．ａｎｏｖｅｌＺ１"}}, Verdict::NotRecognised},
        {{{4, "KanovelR11"}, {100, "Ｋ．ａｎｏｖｅｌＲＢ１"}}, Verdict::NotRecognised},
        {{{4090, "Ｋ．ａｎｏｖｅｌＲ１"}}, Verdict::Finished},
        {{{4096, "Ｋ．ａｎｏｖｅｌＲ１"}}, Verdict::NoNamesFound},
    };
    for (const Case& c : cases) {
        const Bytes original = fileWith(5000, c.names);
        MemoryFile file(original);
        EXPECT_EQ(scanAndRename(file.stream, Direction::Rename).verdict, c.verdict);
        EXPECT_EQ(file.bytes(), original);  // three or fewer: nothing written
    }
}

TEST(ScanAndRename, AnUnknownNameInTheRewriteRangeKeepsItsBytes) {
    const Bytes original = fileWith(2000, {{4, "KanovelR11"},
                                           {100, "KanovelR11"},
                                           {200, "KanovelR11"},
                                           {300, "KanovelZ11 Bold"},
                                           {400, "KanovelR86"}});
    MemoryFile file(original);
    EXPECT_EQ(scanAndRename(file.stream, Direction::Rename).verdict, Verdict::Finished);
    Bytes expected = original;
    put(expected, 400, {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F,
                        0xFF, 0x56, 0xFF, 0x45, 0xFF, 0x4C, 0xFF, 0x32, 0x00, 0x00});
    EXPECT_EQ(file.bytes(), expected);
}

TEST(ScanAndRename, ScansOffsetsUpTo4095Only) {
    Bytes atEdge = fileWith(
        5000, {{4, "Kanovel86"}, {24, "Kanovel86"}, {44, "Kanovel86"}, {4095, "Kanovel86"}});
    MemoryFile file(atEdge);
    scanAndRename(file.stream, Direction::Rename);
    Bytes expected = atEdge;
    put(expected, 4095,
        {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F, 0xFF, 0x56, 0xFF, 0x45, 0xFF,
         0x4C, 0x00, 0x00});
    EXPECT_EQ(file.bytes(), expected);

    const Bytes beyond = fileWith(
        5000, {{4, "Kanovel86"}, {24, "Kanovel86"}, {44, "Kanovel86"}, {4096, "Kanovel86"}});
    MemoryFile untouched(beyond);
    scanAndRename(untouched.stream, Direction::Rename);
    EXPECT_EQ(untouched.bytes(), beyond);
}

TEST(ScanAndRename, AShortFileIsNeverLengthened) {
    // The fourth name ends the file exactly; a fifth is cut off by its end.
    Bytes original = fileWith(
        0, {{4, "KanovelT86"}, {24, "KanovelT86"}, {44, "KanovelT86"}, {64, "KanovelT86"}});
    MemoryFile exact(original);
    EXPECT_EQ(scanAndRename(exact.stream, Direction::Rename).verdict, Verdict::Finished);
    Bytes expected = original;
    put(expected, 64, {0xFF, 0x2B, 0xFF, 0x0E, 0xFF, 0x41, 0xFF, 0x4E, 0xFF, 0x4F,
                       0xFF, 0x56, 0xFF, 0x45, 0xFF, 0x4C, 0xFF, 0x34, 0x00, 0x00});
    EXPECT_EQ(exact.bytes(), expected);

    Bytes cut = original;
    cut.resize(83);  // the last name loses its final byte
    MemoryFile shortFile(cut);
    EXPECT_EQ(scanAndRename(shortFile.stream, Direction::Rename).verdict, Verdict::NotRecognised);
    EXPECT_EQ(shortFile.bytes(), cut);

    for (std::size_t size : {4u, 13u, 14u, 17u}) {
        const Bytes tiny = fileWith(size, {});
        MemoryFile file(tiny);
        EXPECT_EQ(scanAndRename(file.stream, Direction::Rename).verdict, Verdict::NoNamesFound);
        EXPECT_EQ(file.bytes(), tiny);
    }
}

TEST(ScanAndRename, OnlyAFileThatBeginsAsAFontIsRead) {
    // Seven names right after the first four bytes: a font renames 4 to 7.
    struct Case {
        Bytes head;
        bool isFont;
    };
    const Case cases[] = {
        {TRUETYPE, true},
        {{'O', 'T', 'T', 'O'}, true},
        {{'t', 'r', 'u', 'e'}, true},
        {{'t', 't', 'c', 'f'}, true},
        {{0x00, 0x01, 0x00, 0x01}, false},
        {{0x00, 0x01, 0x00}, false},  // shorter than a signature
    };
    for (const Case& c : cases) {
        Bytes original = c.head;
        for (int i = 0; i < 7 && c.head.size() == 4; ++i) {
            put(original, original.size(), utf16("KanovelR11"));
        }
        MemoryFile file(original);
        const EngineResult result = scanAndRename(file.stream, Direction::Rename);
        EXPECT_EQ(result.verdict, c.isFont ? Verdict::Finished : Verdict::NotAFont);
        EXPECT_EQ(result.changeCount, c.isFont ? 4u : 0u);
        EXPECT_EQ(file.bytes() != original, c.isFont);
    }
}

TEST(ScanAndRename, ARunCutShortIsCompletedAndASecondRunChangesNothing) {
    // Twelve names, so that a second run that did not count renamed names
    // would find four more to rename. A revert cut short is completed alike.
    Bytes original = fileWith(3000, {});
    for (std::size_t i = 0; i < 12; ++i) {
        put(original, 4 + 64 * i, utf16(i % 2 == 0 ? "KanovelR11 Bold" : "KanovelR11"));
    }
    const Bytes* newNames[4] = {&ROW1_NEW, &R11_BOLD_NEW, &ROW1_NEW, &R11_BOLD_NEW};  // 4 to 7
    Bytes renamed = original;
    for (std::size_t k = 0; k < 4; ++k) {
        put(renamed, 4 + 64 * (3 + k), *newNames[k]);
    }
    // Which of occurrences 4 to 7 an interrupted run had changed.
    const std::vector<std::size_t> cutShort[] = {{}, {4}, {5, 7}, {4, 5, 6}, {4, 5, 6, 7}};
    for (const Direction direction : {Direction::Rename, Direction::Revert}) {
        const bool reverting = direction == Direction::Revert;
        const Bytes& from = reverting ? renamed : original;
        const Bytes& to = reverting ? original : renamed;
        for (const std::vector<std::size_t>& done : cutShort) {
            Bytes start = from;
            for (std::size_t occurrence : done) {
                const std::size_t at = 4 + 64 * (occurrence - 1);
                std::copy_n(to.begin() + static_cast<std::ptrdiff_t>(at), 30,
                            start.begin() + static_cast<std::ptrdiff_t>(at));
            }
            MemoryFile file(start);
            for (int run = 0; run < 2; ++run) {
                const EngineResult result = scanAndRename(file.stream, direction);
                const bool completes = run == 0 && !done.empty() && done.size() < 4;
                EXPECT_EQ(result.verdict, completes ? Verdict::Completed : Verdict::Finished);
                EXPECT_EQ(result.changeCount, run == 0 ? 4 - done.size() : 0u);
                EXPECT_EQ(file.bytes(), to)
                    << reverting << ", " << done.size() << " done, run " << run;
            }
        }
    }
}

// Each row's name as the 4th of seven, at every split of the sector boundary
// it crosses, renamed and reverted: the state after the writes sent ahead of
// the sync (the torn form a power cut may leave) is completed by a rename and
// by a revert alike.
TEST(ScanAndRename, ANameTornAtASectorBoundaryIsCompletedEitherWay) {
    for (std::size_t row = 0; row < RENAME_ROW_COUNT; ++row) {
        for (std::size_t split = 1; split < tableName(row, false).size(); ++split) {
            const std::size_t fourth = 512 * (1 + row % 7) - split;
            const std::size_t at[7] = {40, 80, 120, fourth, fourth + 40, fourth + 80, fourth + 120};
            Bytes original = fileWith(4200, {});
            Bytes renamed = original;
            for (std::size_t k = 0; k < 7; ++k) {
                const std::size_t other = (row + 35 - 3 + k) % RENAME_ROW_COUNT;
                put(original, at[k], tableName(other, false));
                put(renamed, at[k], tableName(other, k >= 3));
            }
            for (const Direction direction : {Direction::Rename, Direction::Revert}) {
                const bool reverting = direction == Direction::Revert;
                const Bytes& from = reverting ? renamed : original;
                const Bytes& to = reverting ? original : renamed;
                MemoryFile file(from);
                EXPECT_EQ(scanAndRename(file.stream, direction).changeCount, 4u);
                Bytes torn = from;
                for (std::size_t i = 0; i < file.stream.changeCount; ++i) {
                    const EditChange change = file.stream.changes[i];
                    for (std::size_t b = change.begin; change.ahead && b < change.end; ++b) {
                        torn[file.stream.cacheStart + b] = file.stream.cache[b];
                    }
                }
                EXPECT_EQ(file.bytes(), to);
                EXPECT_NE(torn, from);
                EXPECT_NE(torn, to);
                for (const Direction next : {Direction::Rename, Direction::Revert}) {
                    MemoryFile tornFile(torn);
                    const EngineResult result = scanAndRename(tornFile.stream, next);
                    EXPECT_EQ(result.verdict, Verdict::Completed);  // a run cut short
                    // The torn name is noted once, and completed without a
                    // write ahead: only its other side is left to write.
                    EXPECT_EQ(result.changeCount, next == direction ? 4u : 1u);
                    for (std::size_t i = 0; i < tornFile.stream.changeCount; ++i) {
                        EXPECT_FALSE(tornFile.stream.changes[i].ahead);
                    }
                    EXPECT_EQ(tornFile.bytes(), next == Direction::Revert ? original : renamed)
                        << "row " << row << ", split " << split << ", " << reverting << ", "
                        << (next == Direction::Revert);
                }
            }
        }
    }
}

TEST(ScanAndRename, EveryRowIsRenamedAndRevertedBackToItsBytes) {
    for (std::size_t first = 0; first < RENAME_ROW_COUNT; first += 4) {
        Bytes original = fileWith(1000, {});
        for (std::size_t k = 0; k < 7; ++k) {
            const std::size_t row = k < 3 ? first : std::min(first + k - 3, RENAME_ROW_COUNT - 1);
            const std::uint8_t* name = RENAME_TABLE.data() + row * RENAME_ROW_SIZE;
            put(original, 4 + 48 * k, Bytes(name, std::find(name, name + 40, 0x01)));
        }
        MemoryFile file(original);
        EXPECT_EQ(scanAndRename(file.stream, Direction::Rename).changeCount, 4u);
        const Bytes renamed = file.bytes();
        EXPECT_NE(renamed, original);
        EXPECT_EQ(scanAndRename(file.stream, Direction::Revert).changeCount, 4u);
        EXPECT_EQ(file.bytes(), original) << "rows from " << first;
        EXPECT_EQ(scanAndRename(file.stream, Direction::Revert).changeCount, 0u);
    }
}

}  // namespace
