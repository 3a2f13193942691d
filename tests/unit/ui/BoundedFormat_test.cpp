#include "BoundedFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "ResourceIds.h"

namespace {

std::string Format(std::size_t capacity, std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out(capacity, '\x7f');
    const std::size_t n = FormatText(out.data(), capacity, format, args);
    EXPECT_EQ(out[n], '\0');
    return out.substr(0, n);
}

struct Case {
    const char* name;
    const char* format;
    std::vector<FormatArg> args;
    const char* expected;
};

TEST(BoundedFormat, Conversions) {
    const Case cases[] = {
        {"decimal", "%d台", {FormatArg::Num(2)}, "2台"},
        {"negative decimal", "%d", {FormatArg::Num(-17)}, "-17"},
        {"most negative", "%d", {FormatArg::Num(INT32_MIN)}, "-2147483648"},
        {"text", "[%s]", {FormatArg::Str("VQT-RN8")}, "[VQT-RN8]"},
        {"hex with zeros", "0x%08x", {FormatArg::Num(5)}, "0x00000005"},
        {"hex top bit set", "0x%08x", {FormatArg::Num(static_cast<std::int32_t>(0x80000001u))}, "0x80000001"},
        {"hex lower case", "0x%08x", {FormatArg::Num(static_cast<std::int32_t>(0xDEADBEEFu))}, "0xdeadbeef"},
        {"text containing %", "%s|%d", {FormatArg::Str("50%d%s"), FormatArg::Num(7)}, "50%d%s|7"},
        {"percent sign", "100%%", {}, "100%"},
        {"missing argument", "a%sb", {}, "ab"},
        {"dotted address", "%d.%d.%d.%d",
         {FormatArg::Num(192), FormatArg::Num(168), FormatArg::Num(11), FormatArg::Num(1)}, "192.168.11.1"},
    };
    for (const Case& c : cases) {
        std::string out(64, '\0');
        const std::size_t n = FormatText(out.data(), out.size(), c.format, c.args);
        EXPECT_EQ(out.substr(0, n), c.expected) << c.name;
    }
}

TEST(BoundedFormat, TrailByteThatLooksLikePercentIsNoConversion) {
    // 0x81 0x25 is one (unassigned) two-byte character whose trail byte is '%'.
    EXPECT_EQ(Format(16, "\x81%d", {FormatArg::Num(1)}), "\x81%d");
}

TEST(BoundedFormat, CutsAt511BytesOnACharacterBoundary) {
    // 255 two-byte characters fill 510 bytes; one more ASCII byte fits, the
    // next two-byte character does not and must not be split.
    const std::string wide = Cp932("あ");
    std::string text;
    for (int i = 0; i < 255; ++i) text += wide;
    EXPECT_EQ(Format(512, "%s", {FormatArg::Str(text + "x" + wide)}), text + "x");
    EXPECT_EQ(Format(512, "x%s", {FormatArg::Str(text + wide)}).size(), 511u);
    const std::string odd = Format(512, "%s", {FormatArg::Str("y" + text + wide)});
    EXPECT_EQ(odd, "y" + text);  // 511 bytes, the 256th character dropped whole
}

TEST(BoundedFormat, NeverWritesPastTheBuffer) {
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    const std::size_t n = FormatText(buffer, 4, "%s", {FormatArg::Str("abcdefgh")});
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buffer, 4), std::string("abc\0", 4));
    EXPECT_EQ(buffer[4], 'z');
    EXPECT_EQ(FormatText(buffer, 0, "%s", {FormatArg::Str("abc")}), 0u);
    EXPECT_EQ(buffer[0], 'a');
}

TEST(BoundedFormat, FieldTextStopsAtNulOrFieldEnd) {
    const char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(field, 4), "abcd");
    const char shorter[4] = {'a', 0, 'c', 'd'};
    EXPECT_EQ(FieldText(shorter, 4), "a");
}

}  // namespace
