// A small TrueType writer for our sample fonts: one .notdef box, a cmap, and
// a name table that can be placed, string by string, where a test needs it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct NameString {
    std::uint16_t platform;
    std::uint16_t encoding;
    std::uint16_t language;
    std::uint16_t nameId;
    Bytes text;
    std::uint32_t fixedAt = 0;  // absolute file offset of the text, or 0: next free place
};

struct FontSpec {
    std::vector<NameString> names;  // texts are stored in this order
    std::uint32_t nameTableAt = 0;  // absolute offset of the name table, or 0: after the others
    std::vector<NameString> loose;  // bytes in the string storage that no record points to
    std::uint16_t weight = 400;
};

Bytes utf16be(std::u16string_view text);
Bytes ascii(std::string_view text);

// Font records for Windows (3, 1) in US English and Japanese, Macintosh
// Japanese (1, 1) whose texts are CP932.
inline constexpr std::uint16_t WIN_EN = 0x0409;
inline constexpr std::uint16_t WIN_JA = 0x0411;
inline constexpr std::uint16_t MAC_JA = 11;

Bytes buildTrueType(const FontSpec& spec);

// Writes bytes to path; false (with a message on stderr) when it cannot.
bool writeFile(const char* path, const Bytes& bytes);
