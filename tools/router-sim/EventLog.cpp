#include "EventLog.h"

#include <time.h>

#include "Wire.h"

namespace sim {

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Bytes outside printable ASCII are escaped one by one, so any router text stays valid JSON.
std::string jsonString(std::string_view text) {
    std::string json = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json.push_back('\\');
            json.push_back(c);
        } else if (b < 0x20 || b >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
            json += escaped;
        } else {
            json.push_back(c);
        }
    }
    return json + "\"";
}

LogLine::LogLine(EventLog& log, std::string_view event) : log_(log) {
    char t[32];
    std::snprintf(t, sizeof t, "{\"t\":%.6f", monotonicSeconds());
    json_ = t;
    text("event", event);
}

void LogLine::key(std::string_view name) {
    json_ += ',';
    json_ += jsonString(name);
    json_ += ':';
}

LogLine& LogLine::text(std::string_view name, std::string_view value) {
    key(name);
    json_ += jsonString(value);
    return *this;
}

LogLine& LogLine::number(std::string_view name, double value) {
    char t[32];
    std::snprintf(t, sizeof t, "%.6f", value);
    key(name);
    json_ += t;
    return *this;
}

LogLine& LogLine::integer(std::string_view name, std::uint64_t value) {
    key(name);
    json_ += std::to_string(value);
    return *this;
}

LogLine& LogLine::hex32(std::string_view name, std::uint32_t value) {
    char t[16];
    std::snprintf(t, sizeof t, "0x%08x", value);
    return text(name, t);
}

LogLine& LogLine::bytes(std::string_view name, std::span<const std::uint8_t> value) {
    return text(name, hexText(value));
}

LogLine& LogLine::null(std::string_view name) {
    key(name);
    json_ += "null";
    return *this;
}

LogLine& LogLine::rawJson(std::string_view name, std::string_view json) {
    key(name);
    json_ += json;
    return *this;
}

void LogLine::write() {
    json_ += "}\n";
    std::fputs(json_.c_str(), log_.out_);
    std::fflush(log_.out_);
}

}  // namespace sim
