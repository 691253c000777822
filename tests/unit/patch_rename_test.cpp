#include "patch_rename.hpp"

#include <gtest/gtest.h>

#include "memory_file.hpp"
#include "patch_catalogue.hpp"

namespace {

struct Record {
    std::uint32_t offset;
    std::uint8_t expected;
    std::uint8_t replacement;
};

std::vector<Record> recordsOf(int set) {
    std::vector<Record> records;
    const std::uint8_t* r = PATCH_SET_STARTS[set];
    for (; r[0] == 0x00; r += PATCH_RECORD_SIZE) {
        records.push_back({(std::uint32_t{r[1]} << 16) | (r[2] << 8) | r[3], r[4], r[5]});
    }
    EXPECT_EQ(Bytes(r, r + 6), Bytes(6, 0x01)) << "set " << set << " must end with six 0x01";
    return records;
}

TEST(PatchCatalogue, SetSevenIsTheWorkedExample) {
    const Bytes oldCp932 = {0x4B, 0x61, 0x6E, 0x6F, 0x76, 0x65, 0x6C, 0x4C, 0x38,
                            0x36, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    const Bytes newCp932 = {0x82, 0x6A, 0x81, 0x44, 0x82, 0x81, 0x82, 0x8E, 0x82,
                            0x8F, 0x82, 0x96, 0x82, 0x85, 0x82, 0x8C, 0x82, 0x6B};
    const std::vector<Record> records = recordsOf(7);
    ASSERT_EQ(records.size(), 134u);
    std::size_t i = 0;
    for (std::uint32_t at : {0x04D817u, 0x04D82Fu, 0x04D83Bu, 0x04D86Bu}) {
        EXPECT_EQ(records[i].offset, at);
        EXPECT_EQ(records[i].expected, 0x0A);
        EXPECT_EQ(records[i++].replacement, 0x12);
    }
    for (std::uint32_t at : {0x04D8EFu, 0x04D907u, 0x04D913u}) {
        EXPECT_EQ(records[i].offset, at);
        EXPECT_EQ(records[i].expected, 0x14);
        EXPECT_EQ(records[i++].replacement, 0x12);
    }
    for (std::uint32_t copy : {0x04E23Au, 0x04E43Au, 0x04E53Au, 0x04E93Au}) {
        for (std::size_t k = 0; k < 18; ++k, ++i) {
            EXPECT_EQ(records[i].offset, copy + k);
            EXPECT_EQ(records[i].expected, oldCp932[k]);
            EXPECT_EQ(records[i].replacement, newCp932[k]);
        }
    }
    // UTF-16BE: "KanovelL86" becomes "Ｋ．ａｎｏｖｅｌＬ"; every byte differs but
    // the old high bytes 0x00 whose new byte is also 0x00 (none here: FF 2B...).
    i += 3 * 18;
    EXPECT_EQ(records[i].offset, 0x050B82u);
    EXPECT_EQ(records[i].expected, 0x48);
    EXPECT_EQ(records[i].replacement, 0x49);
}

TEST(PatchCatalogue, SiblingSetsShareTheirOffsets) {
    auto offsets = [](int set) {
        std::vector<std::uint32_t> out;
        for (const Record& r : recordsOf(set)) {
            out.push_back(r.offset);
        }
        return out;
    };
    EXPECT_EQ(offsets(0), offsets(1));
    EXPECT_EQ(offsets(0), offsets(2));
    EXPECT_EQ(offsets(4), offsets(5));
    EXPECT_EQ(offsets(4), offsets(6));
    EXPECT_EQ(recordsOf(0)[14].expected, 'S');  // the series letter of the first copy
    EXPECT_EQ(recordsOf(1)[14].expected, 'T');
}

// Which records (the i-th of a set's n) a file holds renamed.
using RenamedRecords = bool (*)(std::size_t i, std::size_t n);
bool none(std::size_t, std::size_t) {
    return false;
}
bool all(std::size_t, std::size_t) {
    return true;
}
bool firstHalf(std::size_t i, std::size_t n) {
    return i < n / 2;
}
bool everyOther(std::size_t i, std::size_t) {
    return i % 2 == 1;
}
bool allButLast(std::size_t i, std::size_t n) {
    return i + 1 < n;
}

// A file of the L-series size holding the replacement byte of the renamed
// records and the expected byte of the others.
Bytes fileMatching(int set, RenamedRecords renamed = none) {
    Bytes bytes(0x050B90, 0x00);
    const std::vector<Record> records = recordsOf(set);
    for (std::size_t i = 0; i < records.size(); ++i) {
        bytes[records[i].offset] =
            renamed(i, records.size()) ? records[i].replacement : records[i].expected;
    }
    return bytes;
}

TEST(FindPatchSet, ChoosesTheMatchingSetAndApplyingItRenamesOrReverts) {
    // An original font is renamed, a renamed one reverted, each writing its
    // seven copies; a font that a run cut short is completed, either way.
    // Renaming a renamed font or reverting an original changes nothing.
    struct Start {
        RenamedRecords renamed;
        Verdict renaming;
        Verdict reverting;
    };
    const Start starts[] = {{none, Verdict::Finished, Verdict::Finished},
                            {all, Verdict::NotRecognised, Verdict::Finished},
                            {firstHalf, Verdict::Completed, Verdict::Completed},
                            {everyOther, Verdict::Completed, Verdict::Completed},
                            {allButLast, Verdict::Completed, Verdict::Completed}};
    for (int set = 0; set < 8; ++set) {
        for (const Start& start : starts) {
            for (const Direction direction : {Direction::Rename, Direction::Revert}) {
                const bool renaming = direction == Direction::Rename;
                const Bytes before = fileMatching(set, start.renamed);
                const Bytes after = fileMatching(set, renaming ? all : none);
                MemoryFile file(before);
                EXPECT_EQ(findPatchSet(file.stream), start.renamed == none ? set : NO_SET);
                const EngineResult result = patchAndRename(file.stream, direction);
                EXPECT_EQ(result.verdict, renaming ? start.renaming : start.reverting)
                    << "set " << set;
                // The name is listed only when one of its copies (0x04E23A on,
                // below the last byte) changes, not for a length or the last byte.
                const auto copies = [](const Bytes& b) {
                    return Bytes(b.begin() + 0x04E23A, b.begin() + 0x050B78);
                };
                EXPECT_EQ(result.changeCount, copies(before) != copies(after) ? 1u : 0u);
                const bool whole = start.renamed == (renaming ? none : all);
                EXPECT_TRUE(!whole || result.changes[0].copies == 7) << "set " << set;
                EXPECT_EQ(file.bytes(), after) << "set " << set << ", renaming " << renaming;
            }
        }
    }
}

TEST(FindPatchSet, AnyDifferingByteRejectsTheFileUntouched) {
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes lastMissing = fileMatching(0);
    lastMissing[0x050B88] = 0x00;
    Bytes afterName = fileMatching(0);
    afterName[0x04E23A + 17] = 0x20;  // a byte just after an old CP932 name
    Bytes cut = fileMatching(0);
    cut.resize(0x050B88);  // ends just before the last record's byte
    Bytes cutSeven = fileMatching(7);
    cutSeven.resize(0x050B82);
    Bytes partlyWithOther = fileMatching(0, firstHalf);
    partlyWithOther[0x050B88] = 0x00;  // neither 0x48 nor 0x49
    Bytes partlyCut = fileMatching(0, firstHalf);
    partlyCut.resize(0x050B88);
    // Set 0 renamed where set 1 gets the same byte: set 0 fits, and so does
    // set 2, whose replacement of the last byte is set 0's expected 0x48.
    Bytes twoSets = fileMatching(0);
    const std::vector<Record> zero = recordsOf(0);
    const std::vector<Record> one = recordsOf(1);
    for (std::size_t i = 0; i < zero.size(); ++i) {
        if (zero[i].replacement == one[i].replacement) {
            twoSets[zero[i].offset] = zero[i].replacement;
        }
    }
    const Case cases[] = {
        {"last record", lastMissing},
        {"byte after the old name", afterName},
        {"file cut short", cut},
        {"set 7 cut short", cutSeven},
        {"renamed already", fileMatching(3, all)},
        {"partly renamed, a byte of neither", partlyWithOther},
        {"partly renamed, cut short", partlyCut},
        {"partly renamed as two sets", twoSets},
        {"empty file", Bytes{}},
    };
    for (const Case& c : cases) {
        MemoryFile file(c.bytes);
        EXPECT_EQ(findPatchSet(file.stream), NO_SET) << c.what;
        const EngineResult result = patchAndRename(file.stream, Direction::Rename);
        EXPECT_EQ(result.verdict, Verdict::NotRecognised) << c.what;
        EXPECT_FALSE(result.finish) << c.what;
        EXPECT_EQ(file.bytes(), c.bytes) << c.what;
    }
}

TEST(FindPatchSet, ProbesInOrderAndStopsAtTheFirstMatch) {
    // Set 5's file matches set 5 only; sets 4 and 6 share its offsets.
    MemoryFile five(fileMatching(5));
    EXPECT_EQ(findPatchSet(five.stream), 5);

    // A set without records matches every file, and wins over later sets.
    const std::uint8_t empty[6] = {1, 1, 1, 1, 1, 1};
    const std::uint8_t* starts[3] = {PATCH_SET_STARTS[1], empty, PATCH_SET_STARTS[0]};
    MemoryFile zero(fileMatching(0));
    EXPECT_EQ(findPatchSet(zero.stream, starts, 3), 1);
    MemoryFile nothing(Bytes{});
    EXPECT_EQ(findPatchSet(nothing.stream, starts, 3), 1);
    EXPECT_EQ(findPatchSet(nothing.stream, starts, 1), NO_SET);
}

}  // namespace
