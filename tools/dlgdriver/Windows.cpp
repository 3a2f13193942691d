#include "Windows.h"

namespace {
constexpr UINT SEND_TIMEOUT_MS = 5000;

struct Search {
    const char* className;
    const std::string* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<Search*>(lParam);
    if (ClassNameOf(window) != search.className) return TRUE;
    if (!search.caption->empty() && WindowTextUtf8(window) != *search.caption) return TRUE;
    search.found.push_back(window);
    return TRUE;
}
}  // namespace

std::string Utf8FromWide(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

static std::string Utf8FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    return Utf8FromWide(wide);
}

std::string WindowTextUtf8(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &length)) return {};
    std::string bytes(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(bytes.data()), SMTO_ABORTIFHUNG,
                        SEND_TIMEOUT_MS, &copied);
    bytes.resize(copied);
    return Utf8FromAnsi(bytes);
}

std::string ClassNameOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> TopLevelWindows(const char* className, const std::string& captionUtf8) {
    Search search{className, &captionUtf8, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void WriteWindowSummary(Json& json, HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    json.Key("hwnd").Number(reinterpret_cast<LONG_PTR>(window));
    json.Key("pid").Number(pid);
    json.Key("id").Number(GetDlgCtrlID(window));
    json.Key("class").String(ClassNameOf(window));
    json.Key("text").String(WindowTextUtf8(window));
    json.Key("style").Number(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)));
    json.Key("exstyle").Number(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    json.Key("rect").BeginArray().Number(r.left).Number(r.top).Number(r.right).Number(r.bottom).EndArray();
    json.Key("visible").Bool(IsWindowVisible(window) != FALSE);
    json.Key("enabled").Bool(IsWindowEnabled(window) != FALSE);
    json.Key("iconic").Bool(IsIconic(window) != FALSE);
}
