// Writes a small TrueType font of the Kanovel family, as Velnari expects to
// find one: seven UTF-16BE "Kanovel..." names in the first 4,096 bytes.
//
//   make_sample_font OUT.ttf [NAME [SPLIT]]   NAME defaults to "KanovelR11 Bold"
//
// The strings are stored in this order: the English family, full and
// PostScript names (occurrences 1 to 3, which keep their Latin names), then the
// Japanese family, unique, full and typographic family names (occurrences 4 to
// 7, which Velnari renames). With SPLIT, the 4th to 7th are stored from
// CROSSED_BOUNDARY - SPLIT on, one after another, so that the 4th name crosses
// that multiple of 512 bytes with SPLIT bytes before it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "truetype_writer.hpp"

// A multiple of 512 past the other tables and the first three names.
constexpr std::uint32_t CROSSED_BOUNDARY = 1024;

int main(int argc, char** argv) {
    const long split = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 0;
    if (argc < 2 || argc > 4 || (argc == 4 && (split < 1 || split > 512))) {
        std::fprintf(stderr, "usage: make_sample_font OUT.ttf [NAME [SPLIT]]\n");
        return 2;
    }
    const std::string name = argc >= 3 ? argv[2] : "KanovelR11 Bold";
    const std::size_t space = name.find(' ');
    const std::string family = name.substr(0, space);
    const bool bold = space != std::string::npos;
    std::string postscript = family + (bold ? "-Bold" : "");

    auto u16 = [](const std::string& text) {
        return utf16be(std::u16string(text.begin(), text.end()));
    };

    FontSpec spec;
    spec.weight = bold ? 700 : 400;
    spec.names = {
        {3, 1, WIN_EN, 1, u16(name)},
        {3, 1, WIN_EN, 4, u16(name)},
        {3, 1, WIN_EN, 6, u16(postscript)},
        {3, 1, WIN_JA, 1, u16(name)},
        {3, 1, WIN_JA, 3, u16(name)},
        {3, 1, WIN_JA, 4, u16(name)},
        {3, 1, WIN_JA, 16, u16(family)},
        {3, 1, WIN_EN, 2, u16(bold ? "Bold" : "Regular")},
        {3, 1, WIN_JA, 2, u16(bold ? "Bold" : "Regular")},
    };
    for (std::size_t i = 3; split > 0 && i < 7; ++i) {
        spec.names[i].fixedAt = CROSSED_BOUNDARY - static_cast<std::uint32_t>(split) +
                                static_cast<std::uint32_t>(spec.names[3].text.size() * (i - 3));
    }
    return writeFile(argv[1], buildTrueType(spec)) ? 0 : 1;
}
