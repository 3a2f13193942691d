#include "FakeMessages.h"

#include <cstring>

#include "Catalogue.h"

std::string CatalogueText(unsigned number) {
    for (int i = 0; i < kCatalogueSize; ++i) {
        if (kCatalogue[i].number == number) return kCatalogue[i].text;
    }
    return {};
}

int FakeMessages::LoadMessage(unsigned number, char* buffer, int size) {
    if (size <= 0) return 0;
    const std::string text = CatalogueText(number);
    const std::size_t n = text.size() < static_cast<std::size_t>(size - 1) ? text.size() : static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
