// The program's own bounded text formatter: the three conversions the
// catalogue uses (%d, %s and 0x%08x), into a fixed buffer, never past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

struct FormatArg {
    enum class Kind { Number, Text };
    Kind kind;
    std::int32_t number = 0;
    std::string_view text;

    static FormatArg Num(std::int32_t value) { return {Kind::Number, value, {}}; }
    static FormatArg Str(std::string_view value) { return {Kind::Text, 0, value}; }
};

// A fixed-width text field up to its first NUL, or whole when it has none.
std::string_view FieldText(const char* field, std::size_t width);

// Composes `format` with `args` into `out` (capacity bytes, terminator
// included). %d is a signed decimal, %s a text, %08x eight lower-case hex
// digits of the unsigned value, %% a percent sign. Arguments are used in
// order; a conversion without an argument writes nothing. When the text does
// not fit it is cut on a whole code page 932 character. Returns the length
// written before the terminator.
std::size_t FormatText(char* out, std::size_t capacity, std::string_view format, std::span<const FormatArg> args);
inline std::size_t FormatText(char* out, std::size_t capacity, std::string_view format,
                              std::initializer_list<FormatArg> args) {
    return FormatText(out, capacity, format, std::span<const FormatArg>(args.begin(), args.size()));
}

// Whether b starts a two-byte character of code page 932.
bool IsCp932LeadByte(std::uint8_t b);
