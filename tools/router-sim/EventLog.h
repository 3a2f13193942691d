// One JSON object a line for every datagram and connection event, flushed per line,
// so that a test can follow the wire while the simulator runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace sim {

class EventLog;

// Fields of one line, written in the order given: log.event("udp_in").text("from", f).write().
class LogLine {
  public:
    LogLine& text(std::string_view name, std::string_view value);
    LogLine& number(std::string_view name, double value);
    LogLine& integer(std::string_view name, std::uint64_t value);
    LogLine& hex32(std::string_view name, std::uint32_t value);  // "0x%08x"
    LogLine& bytes(std::string_view name, std::span<const std::uint8_t> value);  // hex digits
    LogLine& null(std::string_view name);
    LogLine& rawJson(std::string_view name, std::string_view json);
    void write();

  private:
    friend class EventLog;
    LogLine(EventLog& log, std::string_view event);
    void key(std::string_view name);

    EventLog& log_;
    std::string json_;
};

class EventLog {
  public:
    explicit EventLog(std::FILE* out) : out_(out) {}
    LogLine event(std::string_view name) { return LogLine(*this, name); }

  private:
    friend class LogLine;
    std::FILE* out_;
};

// Monotonic seconds, the clock of Python's time.monotonic(), for the "t" of each line.
double monotonicSeconds();

std::string jsonString(std::string_view text);

}  // namespace sim
