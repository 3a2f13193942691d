// Conversions between UTF-8 and code page 932 for test expectations, through
// iconv, which the C library carries.
#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "Catalogue.h"

namespace {
std::string Convert(std::string_view in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv: not convertible");
    out.resize(out.size() - dstLeft);
    return out;
}
}  // namespace

std::string Utf8(std::string_view cp932) { return Convert(cp932, "UTF-8", "CP932"); }
std::string Cp932(std::string_view utf8) { return Convert(utf8, "CP932", "UTF-8"); }
