#include "registry/ModelTable.h"

namespace {

// Every row describes the same image: main-unit firmware 1.10. Row 3 repeats
// row 1, so it is never the first match.
constexpr ModelRow kBuiltInRows[] = {
    {"VQT-RN8$", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
    {"VQT-RN8 ", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
    {"VQT^RN8$", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
    {"VQT-RN8 ", 60, "VQT-RN8 1.10", "1.10", 8, 0x110, 0},
};

// A final '$' asks for the whole text; any other pattern is a prefix. No
// other character is special.
bool TextMatches(std::string_view pattern, std::string_view identity) {
    if (!pattern.empty() && pattern.back() == '$') {
        pattern.remove_suffix(1);
        return identity == pattern;
    }
    return identity.starts_with(pattern);
}

}  // namespace

ModelTable::ModelTable() : rows_(kBuiltInRows) {}

ModelTable::ModelTable(std::span<const ModelRow> rows) : rows_(rows) {}

std::span<const ModelRow> ModelTable::BuiltInRows() { return kBuiltInRows; }

int ModelTable::MatchModel(std::string_view identity, std::uint16_t subCode) const {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const ModelRow& row = rows_[r];
        const std::uint16_t wanted = row.subCode != 0 ? row.subCode : subCode;
        if (TextMatches(row.pattern, identity) && wanted == subCode) return static_cast<int>(r);
    }
    return NO_MODEL_ROW;
}

const ModelRow& ModelTable::Row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
