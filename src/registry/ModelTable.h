// Which routers the embedded image fits, and what the workflow needs to know
// about the image for each of them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct ModelRow {
    const char* pattern;           // a final '$' asks for the whole text; otherwise a prefix
    std::uint16_t subCode;         // 0 matches any sub-code
    const char* expectedIdentity;  // what the router must begin with after the update
    const char* versionText;       // shown in the confirmation question
    std::uint32_t kind;            // a FirmwareKind: its class is the high 16 bits
    std::uint32_t valueC;          // third of the ExtUpdateValues
    std::uint32_t valueA;          // first of the ExtUpdateValues
};

enum FirmwareClass : std::uint32_t {
    FIRMWARE_MAIN_UNIT = 0,
    FIRMWARE_ISDN_MODULE = 1,
    FIRMWARE_MODEM_MODULE = 2,
};

constexpr std::uint32_t FirmwareClassOf(std::uint32_t kind) { return kind >> 16; }

// The three values REQ_UPDATE_EXT carries after the image size, in this order.
struct ExtUpdateValues {
    std::uint32_t valueA = 0;
    std::uint32_t kind = 0;
    std::uint32_t valueC = 0;
};

constexpr int NO_MODEL_ROW = -1;

class ModelTable {
public:
    // The built-in table unless another is handed in (tests with module rows).
    ModelTable();
    explicit ModelTable(std::span<const ModelRow> rows);

    // Index of the first row that matches, or NO_MODEL_ROW.
    int MatchModel(std::string_view identity, std::uint16_t subCode) const;
    // Row `index`; index must be a row MatchModel returned (never NO_MODEL_ROW).
    const ModelRow& Row(int index) const;
    int RowCount() const { return static_cast<int>(rows_.size()); }

    static std::span<const ModelRow> BuiltInRows();

private:
    std::span<const ModelRow> rows_;
};
