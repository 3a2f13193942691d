#include "registry/ModelTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ModelTable, TheBuiltInTableHoldsExactlyItsFourRows) {
    struct Expected {
        std::string pattern;
        std::uint16_t subCode;
        std::string expectedIdentity, versionText;
        std::uint32_t kind, valueC, valueA;
    };
    const Expected expected[] = {
        {"VQT-RN8$", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
        {"VQT-RN8 ", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},  // final space: eight characters
        {"VQT^RN8$", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
        {"VQT-RN8 ", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
    };
    const ModelTable table;
    ASSERT_EQ(table.RowCount(), 4);
    for (int r = 0; r < 4; ++r) {
        const ModelRow& row = table.Row(r);
        const Expected& e = expected[r];
        EXPECT_EQ(row.pattern, e.pattern) << "row " << r;
        EXPECT_EQ(row.subCode, e.subCode) << "row " << r;
        EXPECT_EQ(row.expectedIdentity, e.expectedIdentity) << "row " << r;
        EXPECT_EQ(row.versionText, e.versionText) << "row " << r;
        EXPECT_EQ(row.kind, e.kind) << "row " << r;
        EXPECT_EQ(row.valueC, e.valueC) << "row " << r;
        EXPECT_EQ(row.valueA, e.valueA) << "row " << r;
        EXPECT_EQ(FirmwareClassOf(row.kind), FIRMWARE_MAIN_UNIT) << "row " << r;
    }
}

TEST(ModelTable, MatchesTheBuiltInRows) {
    struct Case {
        std::string identity;
        std::uint16_t subCode;
        int row;
    };
    const Case cases[] = {
        {"VQT-RN8", 60, 0},
        {"VQT-RN8 1.10", 60, 1},     // prefix "VQT-RN8 "; row 3 is never reached
        {"VQT-RN8 ", 60, 1},         // the prefix alone
        {"VQT-RN8 anything", 60, 1},
        {"VQT^RN8", 60, 2},          // the caret is an ordinary character
        {"VQT-RN8X", 60, -1},        // too long for the whole-text rows, no space for the prefix rows
        {"VQT-RN81.10", 60, -1},
        {"VQT-RN8", 61, -1},         // every row asks for 60
        {"VQT-RN8", 0, -1},
        {"VQT-RN8 1.10", 0x013C, -1},  // 60 in the low byte only: all 16 bits count
        {"vqt-rn8", 60, -1},         // case counts
        {"VQT-rn8 1.10", 60, -1},
        {"", 60, -1},
        {"VQT-RN", 60, -1},          // shorter than every pattern
        {"VQT-RN8$", 60, -1},        // the '$' of a pattern is not text to match
        {"VQT^RN8 1.10", 60, -1},    // row 2 asks for the whole text
    };
    const ModelTable table;
    for (const Case& c : cases) {
        EXPECT_EQ(table.MatchModel(c.identity, c.subCode), c.row) << '"' << c.identity << "\" " << c.subCode;
    }
}

TEST(ModelTable, ASubCodeOfZeroInARowAcceptsEverySubCode) {
    const ModelRow rows[] = {
        {"ISDN-", 0, "ISDN 2.0", "2.0", 0x00010008, 0x110, 0},
        {"VQT-RN8$", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
    };
    const ModelTable table(rows);
    for (std::uint16_t subCode : {0, 1, 60, 0xFFFF}) {
        EXPECT_EQ(table.MatchModel("ISDN-BOARD", subCode), 0) << subCode;
    }
    EXPECT_EQ(table.MatchModel("VQT-RN8", 60), 1);
    EXPECT_EQ(table.MatchModel("VQT-RN8", 0), -1) << "a row's own sub-code must still match";
}

TEST(ModelTable, TheClassOfAFirmwareKindIsItsHigh16Bits) {
    EXPECT_EQ(FirmwareClassOf(0x00000008), FIRMWARE_MAIN_UNIT);
    EXPECT_EQ(FirmwareClassOf(0x0001FFFF), FIRMWARE_ISDN_MODULE);
    EXPECT_EQ(FirmwareClassOf(0x00020000), FIRMWARE_MODEM_MODULE);
    EXPECT_EQ(FirmwareClassOf(0xFFFF0008), 0xFFFFu);
}

}  // namespace
