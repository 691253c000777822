// The patch catalogue of VelnariL: for each of the eight L-series fonts, the
// bytes that identify it and the value each of them gets.
//
// A record is 6 bytes: flag (0x00), offset (24-bit big-endian), the byte the
// file must hold there, the byte written there. Six FIELD_END bytes end a set.
// The records are built here at compile time from each font's old and new
// name and the fixed layout those fonts share; the static_asserts hold the
// counts and orderings that the engine and the fonts rely on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "table_format.hpp"

inline constexpr std::size_t PATCH_RECORD_SIZE = 6;
inline constexpr std::size_t PATCH_SET_COUNT = 8;

struct PatchSetSource {
    std::u16string_view oldName;  // ASCII, so its CP932 bytes are its characters
    std::u16string_view newName;  // full-width: two bytes a character in CP932 and UTF-16BE
    std::uint8_t lastByte;        // expected at the last record's offset; written plus one
};

// In probe order.
inline constexpr PatchSetSource PATCH_SET_SOURCES[PATCH_SET_COUNT] = {
    {u"KanovelSL86 Bold", u"Ｋ．ａｎｏｖｅｌＳＢＬ", 0x48},
    {u"KanovelTL86 Bold", u"Ｋ．ａｎｏｖｅｌＴＢＬ", 0x49},
    {u"KanovelRL86 Bold", u"Ｋ．ａｎｏｖｅｌＲＢＬ", 0x47},
    {u"KanovelL86 Bold", u"Ｋ．ａｎｏｖｅｌＢＬ", 0x48},
    {u"KanovelSL86", u"Ｋ．ａｎｏｖｅｌＳＬ", 0x47},
    {u"KanovelTL86", u"Ｋ．ａｎｏｖｅｌＴＬ", 0x48},
    {u"KanovelRL86", u"Ｋ．ａｎｏｖｅｌＲＬ", 0x47},
    {u"KanovelL86", u"Ｋ．ａｎｏｖｅｌＬ", 0x48},
};

// The layout shared by the eight fonts: the low bytes of the seven string
// lengths in the name records, and where the seven copies of the name start.
inline constexpr std::uint32_t CP932_LENGTH_AT[4] = {0x04D817, 0x04D82F, 0x04D83B, 0x04D86B};
inline constexpr std::uint32_t UTF16_LENGTH_AT[3] = {0x04D8EF, 0x04D907, 0x04D913};
inline constexpr std::uint32_t CP932_COPY_AT[4] = {0x04E23A, 0x04E43A, 0x04E53A, 0x04E93A};
inline constexpr std::uint32_t UTF16_COPY_AT[3] = {0x04FD3A, 0x05013A, 0x05033A};
// The last record sits just past where the old name would end if it started here.
inline constexpr std::uint32_t LAST_RECORD_BASE = 0x050B78;
// Every record of every set lies in this range: the first length byte to the
// last record of the longest old name (16 characters).
inline constexpr std::uint32_t PATCH_REGION_FIRST = 0x04D817;
inline constexpr std::uint32_t PATCH_REGION_LAST = 0x050B88;

// A set goes to the file in PATCH_WRITE_COUNT writes, so that a run cut short
// leaves each length byte, each stored copy of the name and the last byte
// wholly old or wholly new: each length byte alone, each copy as the span
// from its first to its last record, the last byte alone. A record belongs to
// the write of the last of these starts at or before its offset.
inline constexpr std::size_t PATCH_WRITE_COUNT = 15;
inline constexpr std::uint32_t PATCH_WRITE_STARTS[PATCH_WRITE_COUNT] = {
    CP932_LENGTH_AT[0], CP932_LENGTH_AT[1], CP932_LENGTH_AT[2], CP932_LENGTH_AT[3],
    UTF16_LENGTH_AT[0], UTF16_LENGTH_AT[1], UTF16_LENGTH_AT[2], CP932_COPY_AT[0],
    CP932_COPY_AT[1],   CP932_COPY_AT[2],   CP932_COPY_AT[3],   UTF16_COPY_AT[0],
    UTF16_COPY_AT[1],   UTF16_COPY_AT[2],   LAST_RECORD_BASE};
// The writes of the seven stored copies of the name: PATCH_WRITE_STARTS[7] to [13].
inline constexpr std::size_t PATCH_FIRST_COPY_WRITE = 7;
inline constexpr std::size_t PATCH_COPY_WRITES = 7;
static_assert(PATCH_WRITE_STARTS[PATCH_FIRST_COPY_WRITE] == CP932_COPY_AT[0] &&
              PATCH_WRITE_STARTS[PATCH_FIRST_COPY_WRITE + PATCH_COPY_WRITES - 1] ==
                  UTF16_COPY_AT[2]);
// The widest span one write covers: a name of 24 characters in UTF-16BE.
inline constexpr std::size_t PATCH_WRITE_MAX = 48;

// The write that a record at offset (PATCH_REGION_FIRST or later) belongs to.
constexpr std::size_t patchWriteOf(std::uint32_t offset) {
    std::size_t write = 0;
    while (write + 1 < PATCH_WRITE_COUNT && PATCH_WRITE_STARTS[write + 1] <= offset) {
        ++write;
    }
    return write;
}

// A record's fields, as the engine reads them.
struct PatchRecord {
    std::uint32_t offset;
    std::uint8_t expected;     // what the original font holds at offset
    std::uint8_t replacement;  // what the renamed font holds there
};

// Whether the six bytes at record are the FIELD_END bytes that end a set.
constexpr bool endsPatchSet(const std::uint8_t* record) {
    return record[0] == FIELD_END;
}

// The offset, expected and replacement byte held in the six bytes at record.
constexpr PatchRecord readPatchRecord(const std::uint8_t* record) {
    return PatchRecord{
        (std::uint32_t{record[1]} << 16) | (std::uint32_t{record[2]} << 8) | record[3], record[4],
        record[5]};
}

namespace patch_catalogue_detail {

inline constexpr std::size_t MAX_NAME_BYTES = 48;

struct Text {
    std::uint8_t bytes[MAX_NAME_BYTES];
    std::size_t length;
};

constexpr Text cp932(std::u16string_view name) {
    Text text{};
    text.length = encodeCp932(text.bytes, name);
    return text;
}

constexpr Text utf16be(std::u16string_view name) {
    Text text{};
    text.length = encodeUtf16be(text.bytes, name);
    return text;
}

// Calls emit(offset, expected, replacement) for every position where the two
// texts, both extended with 0x00 to the longer length, differ.
template <typename Emit>
constexpr void diff(std::uint32_t at, const Text& from, const Text& to, Emit emit) {
    const std::size_t length = from.length > to.length ? from.length : to.length;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t a = i < from.length ? from.bytes[i] : 0;
        const std::uint8_t b = i < to.length ? to.bytes[i] : 0;
        if (a != b) {
            emit(at + static_cast<std::uint32_t>(i), a, b);
        }
    }
}

// Calls emit for every record of a set, in ascending offset order.
template <typename Emit>
constexpr void forEachRecord(const PatchSetSource& source, Emit emit) {
    const Text oldCp932 = cp932(source.oldName);
    const Text newCp932 = cp932(source.newName);
    const Text oldUtf16 = utf16be(source.oldName);
    const Text newUtf16 = utf16be(source.newName);
    for (std::uint32_t at : CP932_LENGTH_AT) {
        emit(at, static_cast<std::uint8_t>(oldCp932.length),
             static_cast<std::uint8_t>(newCp932.length));
    }
    for (std::uint32_t at : UTF16_LENGTH_AT) {
        emit(at, static_cast<std::uint8_t>(oldUtf16.length),
             static_cast<std::uint8_t>(newUtf16.length));
    }
    for (std::uint32_t at : CP932_COPY_AT) {
        diff(at, oldCp932, newCp932, emit);
    }
    for (std::uint32_t at : UTF16_COPY_AT) {
        diff(at, oldUtf16, newUtf16, emit);
    }
    emit(LAST_RECORD_BASE + static_cast<std::uint32_t>(oldCp932.length), source.lastByte,
         static_cast<std::uint8_t>(source.lastByte + 1));
}

constexpr std::size_t recordCount(const PatchSetSource& source) {
    std::size_t count = 0;
    forEachRecord(source, [&](std::uint32_t, std::uint8_t, std::uint8_t) { ++count; });
    return count;
}

constexpr std::size_t catalogueSize() {
    std::size_t size = 0;
    for (const PatchSetSource& source : PATCH_SET_SOURCES) {
        size += (recordCount(source) + 1) * PATCH_RECORD_SIZE;
    }
    return size;
}

using Catalogue = std::array<std::uint8_t, catalogueSize()>;

constexpr Catalogue makeCatalogue() {
    Catalogue catalogue{};
    std::size_t at = 0;
    for (const PatchSetSource& source : PATCH_SET_SOURCES) {
        forEachRecord(source,
                      [&](std::uint32_t offset, std::uint8_t expected, std::uint8_t replacement) {
                          catalogue[at++] = 0x00;
                          catalogue[at++] = static_cast<std::uint8_t>(offset >> 16);
                          catalogue[at++] = static_cast<std::uint8_t>(offset >> 8);
                          catalogue[at++] = static_cast<std::uint8_t>(offset);
                          catalogue[at++] = expected;
                          catalogue[at++] = replacement;
                      });
        for (std::size_t i = 0; i < PATCH_RECORD_SIZE; ++i) {
            catalogue[at++] = FIELD_END;
        }
    }
    return catalogue;
}

constexpr std::array<std::size_t, PATCH_SET_COUNT> setStarts() {
    std::array<std::size_t, PATCH_SET_COUNT> starts{};
    std::size_t at = 0;
    for (std::size_t set = 0; set < PATCH_SET_COUNT; ++set) {
        starts[set] = at;
        at += (recordCount(PATCH_SET_SOURCES[set]) + 1) * PATCH_RECORD_SIZE;
    }
    return starts;
}

constexpr bool namesAreEncodable() {
    for (const PatchSetSource& source : PATCH_SET_SOURCES) {
        for (char16_t c : source.oldName) {
            if (c >= 0x80) {
                return false;
            }
        }
        if (!fitsShownName(source.oldName) || !fitsShownName(source.newName) ||
            2 * source.oldName.size() > PATCH_WRITE_MAX ||
            2 * source.newName.size() > PATCH_WRITE_MAX) {
            return false;
        }
    }
    return true;
}

// Every set: offsets strictly ascending within the catalogue's range, and no
// record that would write the byte it expects (such a record could not tell a
// renamed file from an original).
constexpr bool recordsAreOrderedAndChangeSomething() {
    for (const PatchSetSource& source : PATCH_SET_SOURCES) {
        bool ok = true;
        std::uint32_t previous = 0;
        forEachRecord(source,
                      [&](std::uint32_t offset, std::uint8_t expected, std::uint8_t replacement) {
                          ok = ok && offset > previous && offset >= PATCH_REGION_FIRST &&
                               offset <= PATCH_REGION_LAST && expected != replacement;
                          previous = offset;
                      });
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Every set: each of the PATCH_WRITE_COUNT writes holds at least one record,
// a length byte's and the last byte's exactly one, and no write spans more
// than PATCH_WRITE_MAX bytes.
constexpr bool recordsFormTheWrites() {
    for (std::size_t write = 1; write < PATCH_WRITE_COUNT; ++write) {
        if (PATCH_WRITE_STARTS[write] <= PATCH_WRITE_STARTS[write - 1]) {
            return false;
        }
    }
    for (const PatchSetSource& source : PATCH_SET_SOURCES) {
        std::size_t count[PATCH_WRITE_COUNT] = {};
        std::uint32_t first[PATCH_WRITE_COUNT] = {};
        std::uint32_t last[PATCH_WRITE_COUNT] = {};
        forEachRecord(source, [&](std::uint32_t offset, std::uint8_t, std::uint8_t) {
            const std::size_t write = patchWriteOf(offset);
            first[write] = count[write]++ == 0 ? offset : first[write];
            last[write] = offset;
        });
        for (std::size_t write = 0; write < PATCH_WRITE_COUNT; ++write) {
            const bool singleByte =
                write < PATCH_FIRST_COPY_WRITE || write == PATCH_WRITE_COUNT - 1;
            if (count[write] == 0 || (singleByte && count[write] != 1) ||
                last[write] - first[write] >= PATCH_WRITE_MAX) {
                return false;
            }
        }
    }
    return true;
}

// Every write, from its start to PATCH_WRITE_MAX bytes on, lies between two
// multiples of SECTOR_SIZE, and so does every set's records in it: a power
// cut leaves each write wholly old or wholly new, so no write needs another
// one ahead of it.
constexpr bool writesStayInOneSector() {
    for (std::uint32_t start : PATCH_WRITE_STARTS) {
        if (start / SECTOR_SIZE != (start + PATCH_WRITE_MAX - 1) / SECTOR_SIZE) {
            return false;
        }
    }
    for (const PatchSetSource& source : PATCH_SET_SOURCES) {
        bool inside = true;
        forEachRecord(source, [&](std::uint32_t offset, std::uint8_t, std::uint8_t) {
            inside = inside && offset - PATCH_WRITE_STARTS[patchWriteOf(offset)] < PATCH_WRITE_MAX;
        });
        if (!inside) {
            return false;
        }
    }
    return true;
}

}  // namespace patch_catalogue_detail

// The eight sets one after another, and where each starts.
inline constexpr patch_catalogue_detail::Catalogue PATCH_CATALOGUE =
    patch_catalogue_detail::makeCatalogue();

inline constexpr const std::uint8_t* PATCH_SET_STARTS[PATCH_SET_COUNT] = {
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[0],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[1],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[2],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[3],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[4],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[5],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[6],
    PATCH_CATALOGUE.data() + patch_catalogue_detail::setStarts()[7],
};

// Each set's old and new name as the console shows them (CP932).
inline constexpr std::array<ShownPair, PATCH_SET_COUNT> PATCH_SET_SHOWN =
    shownPairs(PATCH_SET_SOURCES);

static_assert(patch_catalogue_detail::namesAreEncodable(),
              "old names must be ASCII; new names full-width characters the CP932 encoder knows");
static_assert(patch_catalogue_detail::recordsAreOrderedAndChangeSomething(),
              "records must ascend within 0x04D817..0x050B88 and change their byte");
static_assert(patch_catalogue_detail::recordsFormTheWrites(),
              "a set's records must fall into 15 writes: 7 lengths, 7 copies, the last byte");
static_assert(patch_catalogue_detail::writesStayInOneSector(),
              "no write may cross a multiple of SECTOR_SIZE");
static_assert(patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[0]) == 177 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[1]) == 177 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[2]) == 177 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[3]) == 160 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[4]) == 151 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[5]) == 151 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[6]) == 151 &&
              patch_catalogue_detail::recordCount(PATCH_SET_SOURCES[7]) == 134);
static_assert(PATCH_CATALOGUE.size() == (177 * 3 + 160 + 151 * 3 + 134 + 8) * PATCH_RECORD_SIZE);
