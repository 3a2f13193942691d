// The message catalogue as code page 932 bytes, generated from strings.rc.
#pragma once

#include <string>

struct CatalogueEntry {
    unsigned number;
    const char* text;
};
extern const CatalogueEntry kCatalogue[];
extern const int kCatalogueSize;

// The text of message `number` ("" when there is none).
std::string CatalogueText(unsigned number);
// Code page 932 text as UTF-8, for readable test expectations.
std::string Utf8(std::string_view cp932);
// UTF-8 text as code page 932 (test literals are UTF-8).
std::string Cp932(std::string_view utf8);
