#include "protocol/ByteCursor.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

TEST(ByteCursor, ReadsLittleEndianFieldsInOrder) {
    const std::uint8_t bytes[] = {
        0x7F,                    // [0]    u8
        0x58, 0x57,              // [1:3)  u16 0x5758
        0x03, 0x00, 0x01, 0x00,  // [3:7)  u32 0x00010003
        0xAA, 0xBB,              // [7:9)  two bytes
    };
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U8(), 0x7F);
    EXPECT_EQ(reader.U16(), 0x5758);
    EXPECT_EQ(reader.U32(), 0x00010003u);
    std::array<std::uint8_t, 2> two = {};
    reader.Read(two);
    EXPECT_EQ(two, (std::array<std::uint8_t, 2>{0xAA, 0xBB}));
    EXPECT_TRUE(reader.Ok());
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(ByteCursor, AReadPastTheEndFailsForGoodAndYieldsZero) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U16(), 0x0201);
    EXPECT_EQ(reader.U16(), 0) << "one byte left is not a u16";
    EXPECT_FALSE(reader.Ok());
    EXPECT_EQ(reader.U8(), 0) << "the byte that is there is not read after a failure";
    EXPECT_TRUE(reader.Take(0).empty());
    EXPECT_EQ(reader.Remaining(), 0u);

    std::array<std::uint8_t, 4> out = {9, 9, 9, 9};
    ByteReader(bytes).Read(out);
    EXPECT_EQ(out, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

TEST(ByteCursor, WritesLittleEndianAndNeverPastTheEnd) {
    std::vector<std::uint8_t> bytes(9, 0xEE);
    ByteWriter writer(std::span<std::uint8_t>(bytes.data(), 8));
    writer.U16(0x0020);
    writer.U32(0x00010003);
    writer.U8(0x7F);
    EXPECT_TRUE(writer.Ok());
    writer.U16(0x1234);  // one byte of room left
    EXPECT_FALSE(writer.Ok());
    writer.U8(0x55);
    EXPECT_EQ(writer.Written(), 7u);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x20, 0x00, 0x03, 0x00, 0x01, 0x00, 0x7F, 0xEE, 0xEE}));
}

}  // namespace
