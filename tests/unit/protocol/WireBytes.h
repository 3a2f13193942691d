// Helpers for writing wire vectors in tests: one field a line, in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes Le16(std::uint16_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }

inline Bytes Le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

// `text` in a field of `width` bytes, NUL-padded (no NUL when it fills the field).
inline Bytes Text(std::string_view text, std::size_t width) {
    Bytes b(width, 0);
    for (std::size_t i = 0; i < text.size() && i < width; ++i) b[i] = static_cast<std::uint8_t>(text[i]);
    return b;
}

inline Bytes Fill(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

inline Bytes Cat(std::initializer_list<Bytes> fields) {
    Bytes out;
    for (const Bytes& f : fields) out.insert(out.end(), f.begin(), f.end());
    return out;
}

inline void Put16(Bytes& b, std::size_t offset, std::uint16_t v) {
    b.at(offset) = static_cast<std::uint8_t>(v);
    b.at(offset + 1) = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(Bytes& b, std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b.at(offset + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
