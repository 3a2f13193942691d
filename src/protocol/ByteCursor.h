// Bounds-checked little-endian access to wire fields. A reader or writer that
// runs out of room stops there and stays failed, so a run of fields can be
// checked once at the end; a failed read yields zero or an empty span.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8() {
        const auto b = Take(1);
        return b.empty() ? 0 : b[0];
    }
    std::uint16_t U16() {
        const auto b = Take(2);
        return b.empty() ? 0 : static_cast<std::uint16_t>(b[0] | b[1] << 8);
    }
    std::uint32_t U32() {
        const auto b = Take(4);
        if (b.empty()) return 0;
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }
    // Fills `out` with the next out.size() bytes (zeros when they are not there).
    void Read(std::span<std::uint8_t> out) {
        const auto b = Take(out.size());
        if (b.empty()) {
            std::fill(out.begin(), out.end(), std::uint8_t{0});
        } else {
            std::copy(b.begin(), b.end(), out.begin());
        }
    }
    // The next n bytes; empty, and the reader failed, when fewer remain.
    std::span<const std::uint8_t> Take(std::size_t n) {
        if (!ok_ || n > Remaining()) {
            ok_ = false;
            return {};
        }
        const auto b = bytes_.subspan(offset_, n);
        offset_ += n;
        return b;
    }
    void Skip(std::size_t n) { Take(n); }

    std::size_t Remaining() const { return ok_ ? bytes_.size() - offset_ : 0; }
    bool Ok() const { return ok_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

class ByteWriter {
public:
    explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

    void U8(std::uint8_t v) {
        const auto b = Room(1);
        if (!b.empty()) b[0] = v;
    }
    void U16(std::uint16_t v) {
        const auto b = Room(2);
        if (b.empty()) return;
        b[0] = static_cast<std::uint8_t>(v);
        b[1] = static_cast<std::uint8_t>(v >> 8);
    }
    void U32(std::uint32_t v) {
        const auto b = Room(4);
        if (b.empty()) return;
        for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void Bytes(std::span<const std::uint8_t> v) {
        const auto b = Room(v.size());
        if (!b.empty()) std::copy(v.begin(), v.end(), b.begin());
    }

    std::size_t Written() const { return offset_; }
    bool Ok() const { return ok_; }

private:
    std::span<std::uint8_t> Room(std::size_t n) {
        if (!ok_ || n > bytes_.size() - offset_) {
            ok_ = false;
            return {};
        }
        const auto b = bytes_.subspan(offset_, n);
        offset_ += n;
        return b;
    }

    std::span<std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};
