#include "truetype_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>

namespace {

void put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

void set16(Bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 8);
    out[at + 1] = static_cast<std::uint8_t>(value);
}

void set32(Bytes& out, std::size_t at, std::uint32_t value) {
    set16(out, at, value >> 16);
    set16(out, at + 2, value & 0xFFFF);
}

std::uint32_t checksum(const Bytes& table) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < table.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            word = (word << 8) | (i + j < table.size() ? table[i + j] : 0);
        }
        sum += word;
    }
    return sum;
}

// The metrics of the one glyph, .notdef: a box in a 1000-unit em.
constexpr int ADVANCE = 1000;
constexpr int NOTDEF_LEFT = 50;
constexpr int NOTDEF_RIGHT = 450;
constexpr int NOTDEF_HEIGHT = 700;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "truetype_writer: %s\n", what);
    std::exit(2);
}

Bytes headTable() {
    Bytes t;
    put32(t, 0x00010000);  // version
    put32(t, 0x00010000);  // fontRevision
    put32(t, 0);           // checkSumAdjustment, set last
    put32(t, 0x5F0F3CF5);  // magicNumber
    put16(t, 0x000B);      // flags
    put16(t, 1000);        // unitsPerEm
    for (int i = 0; i < 4; ++i) {
        put32(t, 0);  // created, modified
    }
    put16(t, NOTDEF_LEFT);    // xMin
    put16(t, 0);              // yMin
    put16(t, NOTDEF_RIGHT);   // xMax
    put16(t, NOTDEF_HEIGHT);  // yMax
    put16(t, 0);              // macStyle
    put16(t, 8);              // lowestRecPPEM
    put16(t, 2);              // fontDirectionHint
    put16(t, 0);              // indexToLocFormat: short
    put16(t, 0);              // glyphDataFormat
    return t;
}

Bytes hheaTable() {
    Bytes t;
    put32(t, 0x00010000);
    put16(t, 880);                     // ascender
    put16(t, 0xFF88);                  // descender -120
    put16(t, 0);                       // lineGap
    put16(t, ADVANCE);                 // advanceWidthMax
    put16(t, NOTDEF_LEFT);             // minLeftSideBearing
    put16(t, ADVANCE - NOTDEF_RIGHT);  // minRightSideBearing
    put16(t, NOTDEF_RIGHT);            // xMaxExtent
    put16(t, 1);                       // caretSlopeRise
    put16(t, 0);                       // caretSlopeRun
    put16(t, 0);                       // caretOffset
    for (int i = 0; i < 4; ++i) {
        put16(t, 0);
    }
    put16(t, 0);  // metricDataFormat
    put16(t, 1);  // numberOfHMetrics
    return t;
}

Bytes maxpTable() {
    Bytes t;
    put32(t, 0x00010000);
    put16(t, 1);  // numGlyphs
    put16(t, 4);  // maxPoints: the .notdef box
    put16(t, 1);  // maxContours
    for (int i = 0; i < 11; ++i) {
        put16(t, i == 2 ? 1 : 0);  // maxZones = 1, the rest 0
    }
    return t;
}

Bytes os2Table(std::uint16_t weight) {
    Bytes t;
    put16(t, 4);       // version
    put16(t, 1000);    // xAvgCharWidth
    put16(t, weight);  // usWeightClass
    put16(t, 5);       // usWidthClass
    put16(t, 0);       // fsType: installable
    for (int i = 0; i < 10; ++i) {
        put16(t, 0);  // subscript, superscript, strikeout metrics
    }
    put16(t, 0);  // sFamilyClass
    for (int i = 0; i < 10; ++i) {
        t.push_back(0);  // panose
    }
    put32(t, 0);
    put32(t, 0x00020000);  // ulCodePageRange... (unicode ranges; CJK)
    put32(t, 0);
    put32(t, 0);
    for (char c : std::string("KNVL")) {
        t.push_back(static_cast<std::uint8_t>(c));
    }
    put16(t, weight >= 700 ? 0x20 : 0x40);  // fsSelection: bold or regular
    put16(t, 0x20);                         // usFirstCharIndex
    put16(t, 0xFFFF);                       // usLastCharIndex
    put16(t, 880);                          // sTypoAscender
    put16(t, 0xFF88);                       // sTypoDescender
    put16(t, 0);                            // sTypoLineGap
    put16(t, 880);                          // usWinAscent
    put16(t, 120);                          // usWinDescent
    put32(t, 0x00020000);                   // ulCodePageRange1: JIS/Japan
    put32(t, 0);
    put16(t, 0);     // sxHeight
    put16(t, 700);   // sCapHeight
    put16(t, 0);     // usDefaultChar
    put16(t, 0x20);  // usBreakChar
    put16(t, 1);     // usMaxContext
    return t;
}

Bytes hmtxTable() {
    Bytes t;
    put16(t, ADVANCE);
    put16(t, NOTDEF_LEFT);
    return t;
}

// The one glyph, .notdef: a box drawn as one contour of four on-curve points
// with 16-bit coordinate deltas, as strict parsers want a real outline.
Bytes glyfTable() {
    Bytes t;
    put16(t, 1);  // numberOfContours
    put16(t, NOTDEF_LEFT);
    put16(t, 0);
    put16(t, NOTDEF_RIGHT);
    put16(t, NOTDEF_HEIGHT);
    put16(t, 3);  // endPtsOfContours
    put16(t, 0);  // instructionLength
    for (int i = 0; i < 4; ++i) {
        t.push_back(0x01);  // on curve
    }
    for (int dx : {NOTDEF_LEFT, 0, NOTDEF_RIGHT - NOTDEF_LEFT, 0}) {
        put16(t, static_cast<std::uint32_t>(dx) & 0xFFFF);
    }
    for (int dy : {0, NOTDEF_HEIGHT, 0, -NOTDEF_HEIGHT}) {
        put16(t, static_cast<std::uint32_t>(dy) & 0xFFFF);
    }
    while (t.size() % 4 != 0) {
        t.push_back(0);
    }
    return t;
}

Bytes locaTable() {
    Bytes t;
    put16(t, 0);
    put16(t, static_cast<std::uint32_t>(glyfTable().size() / 2));  // short offsets count words
    return t;
}

Bytes cmapTable() {
    Bytes t;
    put16(t, 0);   // version
    put16(t, 1);   // one subtable
    put16(t, 3);   // Windows
    put16(t, 1);   // Unicode BMP
    put32(t, 12);  // offset
    // format 4 with the closing segment only: every character maps to glyph 0
    put16(t, 4);
    put16(t, 24);      // length
    put16(t, 0);       // language
    put16(t, 2);       // segCountX2
    put16(t, 2);       // searchRange
    put16(t, 0);       // entrySelector
    put16(t, 0);       // rangeShift
    put16(t, 0xFFFF);  // endCode
    put16(t, 0);       // reservedPad
    put16(t, 0xFFFF);  // startCode
    put16(t, 1);       // idDelta
    put16(t, 0);       // idRangeOffset
    return t;
}

Bytes postTable() {
    Bytes t;
    put32(t, 0x00030000);
    for (int i = 0; i < 7; ++i) {
        put32(t, 0);
    }
    return t;
}

// The name table, laid out as if it starts at tableAt in the file.
Bytes nameTable(const FontSpec& spec, std::uint32_t tableAt) {
    std::vector<std::size_t> order(spec.names.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const NameString& x = spec.names[a];
        const NameString& y = spec.names[b];
        return std::tie(x.platform, x.encoding, x.language, x.nameId) <
               std::tie(y.platform, y.encoding, y.language, y.nameId);
    });

    const std::uint32_t storageAt = tableAt + 6 + 12 * static_cast<std::uint32_t>(order.size());
    Bytes storage;
    std::vector<bool> taken;
    auto place = [&](const Bytes& text, std::uint32_t at) {
        if (at < storageAt) {
            fail("a fixed string lies before the string storage");
        }
        const std::size_t from = at - storageAt;
        if (storage.size() < from + text.size()) {
            storage.resize(from + text.size(), 0);
            taken.resize(storage.size(), false);
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (taken[from + i]) {
                fail("two strings overlap in the name table");
            }
            storage[from + i] = text[i];
            taken[from + i] = true;
        }
    };
    // Fixed strings first, so that the others can fill the gaps before them.
    for (const NameString& name : spec.names) {
        if (name.fixedAt != 0) {
            place(name.text, name.fixedAt);
        }
    }
    for (const NameString& loose : spec.loose) {
        place(loose.text, loose.fixedAt);
    }
    std::vector<std::uint32_t> offsets(spec.names.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < spec.names.size(); ++i) {
        const NameString& name = spec.names[i];
        if (name.fixedAt != 0) {
            offsets[i] = name.fixedAt - storageAt;
            continue;
        }
        // next free run long enough
        for (;;) {
            bool free = true;
            for (std::size_t j = 0; j < name.text.size() && next + j < taken.size(); ++j) {
                if (taken[next + j]) {
                    free = false;
                    next += j + 1;
                    break;
                }
            }
            if (free) {
                break;
            }
        }
        offsets[i] = static_cast<std::uint32_t>(next);
        place(name.text, storageAt + static_cast<std::uint32_t>(next));
        next += name.text.size();
    }
    if (storage.size() > 0xFFFF) {
        fail("name strings do not fit 16-bit offsets");
    }

    Bytes t;
    put16(t, 0);
    put16(t, static_cast<std::uint32_t>(order.size()));
    put16(t, storageAt - tableAt);
    for (std::size_t i : order) {
        const NameString& name = spec.names[i];
        put16(t, name.platform);
        put16(t, name.encoding);
        put16(t, name.language);
        put16(t, name.nameId);
        put16(t, static_cast<std::uint32_t>(name.text.size()));
        put16(t, offsets[i]);
    }
    t.insert(t.end(), storage.begin(), storage.end());
    return t;
}

}  // namespace

Bytes utf16be(std::u16string_view text) {
    Bytes out;
    for (char16_t unit : text) {
        put16(out, unit);
    }
    return out;
}

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes buildTrueType(const FontSpec& spec) {
    // Tables in tag order, as the directory must list them.
    std::map<std::string, Bytes> tables = {
        {"OS/2", os2Table(spec.weight)}, {"cmap", cmapTable()},
        {"glyf", glyfTable()},           {"head", headTable()},
        {"hhea", hheaTable()},           {"hmtx", hmtxTable()},
        {"loca", locaTable()},           {"maxp", maxpTable()},
        {"post", postTable()},           {"name", Bytes{}},
    };
    const std::uint32_t count = static_cast<std::uint32_t>(tables.size());
    const std::uint32_t directorySize = 12 + 16 * count;

    // Place every table but the name table after the directory, 4-byte aligned.
    std::map<std::string, std::uint32_t> at;
    std::uint32_t end = directorySize;
    for (const auto& [tag, table] : tables) {
        if (tag == "name") {
            continue;
        }
        at[tag] = end;
        end += (static_cast<std::uint32_t>(table.size()) + 3) & ~3u;
    }
    const std::uint32_t nameAt = spec.nameTableAt != 0 ? spec.nameTableAt : end;
    if (nameAt < end || nameAt % 4 != 0) {
        fail("the name table must start after the other tables, 4-byte aligned");
    }
    at["name"] = nameAt;
    tables["name"] = nameTable(spec, nameAt);

    Bytes font(nameAt + tables["name"].size(), 0);
    set32(font, 0, 0x00010000);
    set16(font, 4, count);
    std::uint32_t power = 1;
    std::uint32_t selector = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++selector;
    }
    set16(font, 6, power * 16);
    set16(font, 8, selector);
    set16(font, 10, count * 16 - power * 16);
    std::uint32_t entry = 12;
    for (const auto& [tag, table] : tables) {
        for (std::size_t i = 0; i < 4; ++i) {
            font[entry + i] = static_cast<std::uint8_t>(tag[i]);
        }
        set32(font, entry + 4, checksum(table));
        set32(font, entry + 8, at[tag]);
        set32(font, entry + 12, static_cast<std::uint32_t>(table.size()));
        std::copy(table.begin(), table.end(), font.begin() + at[tag]);
        entry += 16;
    }
    while (font.size() % 4 != 0) {
        font.push_back(0);
    }
    set32(font, at["head"] + 8, 0xB1B0AFBA - checksum(font));
    return font;
}

bool writeFile(const char* path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path);
        return false;
    }
    return true;
}
