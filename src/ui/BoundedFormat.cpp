#include "BoundedFormat.h"

#include <cstring>

std::string_view FieldText(const char* field, std::size_t width) {
    const void* nul = std::memchr(field, 0, width);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width};
}

bool IsCp932LeadByte(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

namespace {

// Appends whole characters while they fit; once one does not, nothing more
// is taken, so a cut text never ends inside a character.
class BoundedWriter {
public:
    BoundedWriter(char* out, std::size_t capacity) : out_(out), limit_(capacity > 0 ? capacity - 1 : 0) {}

    void Append(std::string_view text) {
        for (std::size_t i = 0; i < text.size() && !full_;) {
            const bool twoBytes = IsCp932LeadByte(static_cast<std::uint8_t>(text[i])) && i + 1 < text.size();
            const std::size_t width = twoBytes ? 2 : 1;
            if (length_ + width > limit_) {
                full_ = true;
                break;
            }
            std::memcpy(out_ + length_, text.data() + i, width);
            length_ += width;
            i += width;
        }
    }

    std::size_t Finish() {
        if (out_ != nullptr && limit_ + 1 > 0) out_[length_] = '\0';
        return length_;
    }

private:
    char* out_;
    std::size_t limit_;
    std::size_t length_ = 0;
    bool full_ = false;
};

std::string_view Decimal(std::int32_t value, char (&digits)[12]) {
    // Work in 64 bits so that the most negative value has a magnitude.
    std::int64_t v = value;
    const bool negative = v < 0;
    std::uint64_t magnitude = negative ? static_cast<std::uint64_t>(-v) : static_cast<std::uint64_t>(v);
    char* end = digits + sizeof digits;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) *--p = '-';
    return {p, static_cast<std::size_t>(end - p)};
}

std::string_view Hex8(std::uint32_t value, char (&digits)[8]) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 7; i >= 0; --i) {
        digits[i] = kHex[value & 0xF];
        value >>= 4;
    }
    return {digits, 8};
}

}  // namespace

std::size_t FormatText(char* out, std::size_t capacity, std::string_view format, std::span<const FormatArg> args) {
    if (capacity == 0) return 0;
    BoundedWriter writer(out, capacity);
    std::size_t used = 0;
    auto nextArg = [&]() -> const FormatArg* { return used < args.size() ? &args[used++] : nullptr; };

    std::size_t literalStart = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const auto b = static_cast<std::uint8_t>(format[i]);
        if (IsCp932LeadByte(b)) {
            i += 2;  // a trail byte may be '%'; it is never a conversion
            continue;
        }
        if (b != '%') {
            ++i;
            continue;
        }
        writer.Append(format.substr(literalStart, i - literalStart));
        const std::string_view rest = format.substr(i);
        std::size_t consumed = 1;
        if (rest.starts_with("%d")) {
            consumed = 2;
            char digits[12];
            if (const FormatArg* a = nextArg()) writer.Append(Decimal(a->number, digits));
        } else if (rest.starts_with("%s")) {
            consumed = 2;
            if (const FormatArg* a = nextArg()) writer.Append(a->text);
        } else if (rest.starts_with("%08x")) {
            consumed = 4;
            char digits[8];
            if (const FormatArg* a = nextArg()) writer.Append(Hex8(static_cast<std::uint32_t>(a->number), digits));
        } else if (rest.starts_with("%%")) {
            consumed = 2;
            writer.Append("%");
        } else {
            writer.Append("%");
        }
        i += consumed;
        literalStart = i;
    }
    if (literalStart < format.size()) writer.Append(format.substr(literalStart));
    return writer.Finish();
}
