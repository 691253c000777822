// Shared by both tables: the byte that ends a name field, the rename table,
// and a patch set. Not 0x00, because the data it ends holds 0x00 bytes.
// Both tables store names in UTF-16BE, written by one encoder, and show them
// on the console in CP932, written by another.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "run_flow.hpp"

inline constexpr std::uint8_t FIELD_END = 0x01;

// The first four bytes of a font file: TrueType, OpenType (CFF), Apple
// TrueType and a collection. Velnari never writes a file that begins
// otherwise, and VelnariL never calls such a file a font for Velnari.
inline constexpr std::uint8_t FONT_SIGNATURES[4][4] = {
    {0x00, 0x01, 0x00, 0x00}, {'O', 'T', 'T', 'O'}, {'t', 'r', 'u', 'e'}, {'t', 't', 'c', 'f'}};

// Whether the file begins with one of FONT_SIGNATURES.
inline bool beginsAsAFont(EditStream& stream) {
    std::uint8_t head[4];
    if (readAt(stream, 0, head, sizeof head) != sizeof head) {
        return false;
    }
    for (const std::uint8_t* signature : FONT_SIGNATURES) {
        if (std::memcmp(head, signature, sizeof head) == 0) {
            return true;
        }
    }
    return false;
}

// The unit a disk keeps or loses whole when the power fails: a write that
// crosses a multiple of it in the file may reach the disk on one side only.
inline constexpr std::uint32_t SECTOR_SIZE = 512;

// "Kanovel" in UTF-16BE: how every Latin name of the family begins.
inline constexpr std::uint8_t FAMILY_PATTERN[14] = {0x00, 0x4B, 0x00, 0x61, 0x00, 0x6E, 0x00,
                                                    0x6F, 0x00, 0x76, 0x00, 0x65, 0x00, 0x6C};

// Writes text from out on in UTF-16BE, two bytes a code unit, high byte first.
// Returns the number of bytes written.
constexpr std::size_t encodeUtf16be(std::uint8_t* out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<std::uint8_t>(text[i] >> 8);
        out[2 * i + 1] = static_cast<std::uint8_t>(text[i] & 0xFF);
    }
    return 2 * text.size();
}

// CP932 of a character the names use: printable ASCII as itself (one byte),
// the full-width letters, digits and full stop as their two bytes; 0 for any
// other character, which no name may hold.
constexpr std::uint16_t cp932Of(char16_t c) {
    if (c >= u' ' && c <= u'~') {
        return c;
    }
    if (c >= u'Ａ' && c <= u'Ｚ') {
        return static_cast<std::uint16_t>(0x8260 + (c - u'Ａ'));
    }
    if (c >= u'ａ' && c <= u'ｚ') {
        return static_cast<std::uint16_t>(0x8281 + (c - u'ａ'));
    }
    if (c >= u'０' && c <= u'９') {
        return static_cast<std::uint16_t>(0x824F + (c - u'０'));
    }
    return c == u'．' ? 0x8144 : 0;
}

constexpr bool isCp932Encodable(std::u16string_view text) {
    for (char16_t c : text) {
        if (cp932Of(c) == 0) {
            return false;
        }
    }
    return true;
}

// Writes text from out on in CP932 (isCp932Encodable must hold). Returns the
// number of bytes written.
template <typename Byte>
constexpr std::size_t encodeCp932(Byte* out, std::u16string_view text) {
    std::size_t length = 0;
    for (char16_t c : text) {
        const std::uint16_t code = cp932Of(c);
        if (code > 0xFF) {
            out[length++] = static_cast<Byte>(code >> 8);
        }
        out[length++] = static_cast<Byte>(code & 0xFF);
    }
    return length;
}

// A name as the console shows it: CP932, ended by a NUL byte.
inline constexpr std::size_t SHOWN_NAME_SIZE = 40;

struct ShownName {
    char text[SHOWN_NAME_SIZE];
};

// Whether name fits a ShownName, its NUL included.
constexpr bool fitsShownName(std::u16string_view name) {
    return isCp932Encodable(name) && 2 * name.size() < SHOWN_NAME_SIZE;
}

constexpr ShownName shownName(std::u16string_view name) {
    ShownName shown{};
    encodeCp932(shown.text, name);
    return shown;
}

// A row's or a set's old and new name, as the console shows them.
struct ShownPair {
    ShownName oldName;
    ShownName newName;
};

// The shown names of a table's sources (each with an oldName and a newName).
template <typename Source, std::size_t N>
constexpr std::array<ShownPair, N> shownPairs(const Source (&sources)[N]) {
    std::array<ShownPair, N> pairs{};
    for (std::size_t i = 0; i < N; ++i) {
        pairs[i] = {shownName(sources[i].oldName), shownName(sources[i].newName)};
    }
    return pairs;
}

// The change a run that goes the given way makes of a pair's name.
inline NameChange nameChangeOf(const ShownPair& names, Direction direction, int copies) {
    return direction == Direction::Rename
               ? NameChange{names.oldName.text, names.newName.text, copies}
               : NameChange{names.newName.text, names.oldName.text, copies};
}
