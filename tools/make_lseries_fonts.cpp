// Writes our stand-ins for the eight L-series fonts, one valid TrueType file
// each, laid out as VelnariL knows them: a name table at 0x04D7FC whose
// Macintosh Japanese records hold the name four times in CP932 and whose
// Windows Japanese records hold it three times in UTF-16BE, at the fixed
// places of the series.
//
//   make_lseries_fonts OUTDIR       writes OUTDIR/<name>.ttf for all eight
#include <cstdio>
#include <string>

#include "truetype_writer.hpp"

namespace {

struct LFont {
    const char* name;
    std::uint8_t tag;  // the byte that follows the series' closing name copy at 0x050B78
};

// In the order of the series.
constexpr LFont L_SERIES[] = {
    {"KanovelSL86 Bold", 0x48}, {"KanovelTL86 Bold", 0x49}, {"KanovelRL86 Bold", 0x47},
    {"KanovelL86 Bold", 0x48},  {"KanovelSL86", 0x47},      {"KanovelTL86", 0x48},
    {"KanovelRL86", 0x47},      {"KanovelL86", 0x48},
};

constexpr std::uint32_t NAME_TABLE_AT = 0x04D7FC;

Bytes u16(const std::string& text) {
    return utf16be(std::u16string(text.begin(), text.end()));
}

Bytes fontFor(const LFont& font) {
    const std::string name = font.name;
    const std::size_t space = name.find(' ');
    const std::string family = name.substr(0, space);
    const bool bold = space != std::string::npos;
    const std::string style = bold ? "Bold" : "Regular";
    const std::string postscript = family + (bold ? "-Bold" : "");

    FontSpec spec;
    spec.weight = bold ? 700 : 400;
    spec.nameTableAt = NAME_TABLE_AT;
    spec.names = {
        // Macintosh Japanese: CP932 texts.
        {1, 1, MAC_JA, 0, ascii("Sample font of the Velnari project")},
        {1, 1, MAC_JA, 1, ascii(name), 0x04E23A},
        {1, 1, MAC_JA, 2, ascii(style)},
        {1, 1, MAC_JA, 3, ascii(name), 0x04E43A},
        {1, 1, MAC_JA, 4, ascii(name), 0x04E53A},
        {1, 1, MAC_JA, 5, ascii("Version 1.000")},
        {1, 1, MAC_JA, 6, ascii(postscript)},
        {1, 1, MAC_JA, 9, ascii("Velnari")},
        {1, 1, MAC_JA, 16, ascii(name), 0x04E93A},
        // Windows English: kept in Latin letters.
        {3, 1, WIN_EN, 0, u16("Sample font of the Velnari project")},
        {3, 1, WIN_EN, 1, u16(name)},
        {3, 1, WIN_EN, 2, u16(style)},
        {3, 1, WIN_EN, 3, u16(name + ": 1.000")},
        {3, 1, WIN_EN, 4, u16(name)},
        {3, 1, WIN_EN, 5, u16("Version 1.000")},
        {3, 1, WIN_EN, 6, u16(postscript)},
        {3, 1, WIN_EN, 9, u16("Velnari")},
        {3, 1, WIN_EN, 16, u16(family)},
        {3, 1, WIN_EN, 17, u16(style)},
        // Windows Japanese: UTF-16BE.
        {3, 1, WIN_JA, 1, u16(name), 0x04FD3A},
        {3, 1, WIN_JA, 2, u16(style)},
        {3, 1, WIN_JA, 3, u16(name), 0x05013A},
        {3, 1, WIN_JA, 4, u16(name), 0x05033A},
    };
    Bytes closing = ascii(name);
    closing.push_back(font.tag);
    spec.loose = {{0, 0, 0, 0, closing, 0x050B78}};
    return buildTrueType(spec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_lseries_fonts OUTDIR\n");
        return 2;
    }
    for (const LFont& font : L_SERIES) {
        std::string path = std::string(argv[1]) + "/";
        for (const char* c = font.name; *c != '\0'; ++c) {
            path += *c == ' ' ? '-' : *c;
        }
        path += ".ttf";
        if (!writeFile(path.c_str(), fontFor(font))) {
            return 1;
        }
    }
    return 0;
}
