// procstat: the resources held by the process of the program's dialog, for
// the end-to-end tests that watch for leaks over many updates. Writes one
// JSON report (UTF-8) to the file named first; Wine programs' output is never
// read through pipes.
//
//   procstat OUT.json CAPTION
//
// CAPTION finds the dialog (class #32770, the title the program gives it);
// its window's process is the one measured. A counter whose call fails, or
// that answers 0 where a running dialog always holds some, is written as
// null, so that a test can tell a count from no answer: Wine 8 answers 0 to
// GetProcessHandleCount and to GetGuiResources. So the report also carries
// the process's entries in the system's handle table and the number of
// windows it owns, which Wine does count.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Json.h"

namespace {

constexpr wchar_t DIALOG_CLASS[] = L"#32770";

bool WriteReport(const wchar_t* path, const std::string& text) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

constexpr NTSTATUS STATUS_INFO_LENGTH_MISMATCH_CODE = static_cast<NTSTATUS>(0xC0000004);

// The system's table of every process's handles, or nothing.
std::optional<std::vector<unsigned char>> SystemHandleTable() {
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                                         static_cast<ULONG>(buffer.size()), &needed);
        if (status == STATUS_INFO_LENGTH_MISMATCH_CODE) {
            buffer.resize(std::max<std::size_t>(needed, buffer.size() * 2));
            continue;
        }
        if (status < 0) return std::nullopt;
        return buffer;
    }
}

// The entries of the system's handle table that the process owns.
std::optional<unsigned long> OwnedHandles(DWORD pid) {
    const auto table = SystemHandleTable();
    if (!table) return std::nullopt;
    const auto& info = *reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(table->data());
    unsigned long owned = 0;
    for (ULONG i = 0; i < info.Count; ++i) {
        if (info.Handle[i].OwnerPid == pid) ++owned;
    }
    return owned;
}

struct WindowCount {
    DWORD pid;
    unsigned long count;
};

BOOL CALLBACK CountChild(HWND, LPARAM lParam) {
    ++reinterpret_cast<WindowCount*>(lParam)->count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM lParam) {
    auto& windows = *reinterpret_cast<WindowCount*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != windows.pid) return TRUE;
    ++windows.count;
    EnumChildWindows(window, CountChild, lParam);
    return TRUE;
}

// Top-level windows of the process and all their descendants.
unsigned long WindowsOf(DWORD pid) {
    WindowCount windows{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows.count;
}

void NumberOrNull(Json& json, const char* key, bool ok, unsigned long long value) {
    json.Key(key);
    if (ok) {
        json.Number(static_cast<long long>(value));
    } else {
        json.Null();
    }
}

// Measures the process; returns its error ("" on success).
std::string Measure(Json& json, const wchar_t* caption) {
    const HWND dialog = FindWindowW(DIALOG_CLASS, caption);
    if (dialog == nullptr) return "no dialog";
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    json.Key("pid").Number(pid);

    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) return "cannot open the process";

    DWORD handles = 0;
    NumberOrNull(json, "handles", GetProcessHandleCount(process, &handles) != FALSE && handles != 0, handles);
    const std::optional<unsigned long> owned = OwnedHandles(pid);
    NumberOrNull(json, "owned_handles", owned.has_value() && *owned != 0, owned.value_or(0));
    json.Key("windows").Number(WindowsOf(pid));

    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    NumberOrNull(json, "gdi_objects", gdi != 0, gdi);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    NumberOrNull(json, "user_objects", user != 0, user);

    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    const bool memoryOk = GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                               sizeof memory) != FALSE;
    NumberOrNull(json, "working_set", memoryOk, memory.WorkingSetSize);
    NumberOrNull(json, "peak_working_set", memoryOk, memory.PeakWorkingSetSize);
    NumberOrNull(json, "pagefile_usage", memoryOk, memory.PagefileUsage);
    NumberOrNull(json, "private_usage", memoryOk, memory.PrivateUsage);

    CloseHandle(process);
    return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: procstat OUT.json CAPTION\n", stderr);
        return 1;
    }
    Json json;
    json.BeginObject();
    const std::string error = Measure(json, argv[2]);
    json.Key("ok").Bool(error.empty());
    json.Key("error").String(error);
    json.EndObject();
    if (!WriteReport(argv[1], json.Text())) return 1;
    return error.empty() ? 0 : 2;
}
