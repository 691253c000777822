// Shared by both tables: the byte that ends a name field, the rename table,
// and a patch set. Not 0x00, because the data it ends holds 0x00 bytes.
#pragma once

#include <cstdint>

inline constexpr std::uint8_t FIELD_END = 0x01;
