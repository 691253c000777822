// Shared by both tables: the byte that ends a name field, the rename table,
// and a patch set. Not 0x00, because the data it ends holds 0x00 bytes.
// Both tables store names in UTF-16BE, written by one encoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::uint8_t FIELD_END = 0x01;

// Writes text from out on in UTF-16BE, two bytes a code unit, high byte first.
// Returns the number of bytes written.
constexpr std::size_t encodeUtf16be(std::uint8_t* out, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[2 * i] = static_cast<std::uint8_t>(text[i] >> 8);
        out[2 * i + 1] = static_cast<std::uint8_t>(text[i] & 0xFF);
    }
    return 2 * text.size();
}
