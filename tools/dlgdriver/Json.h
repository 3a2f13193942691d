// A small JSON writer: enough for the driver's reports, UTF-8 throughout.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class Json {
public:
    Json& BeginObject() { return Open('{'); }
    Json& EndObject() { return Close('}'); }
    Json& BeginArray() { return Open('['); }
    Json& EndArray() { return Close(']'); }

    Json& Key(std::string_view key) {
        Separate();
        Quote(key);
        out_ += ':';
        afterKey_ = true;
        return *this;
    }
    Json& String(std::string_view value) {
        Separate();
        Quote(value);
        return *this;
    }
    Json& Number(long long value) {
        Separate();
        out_ += std::to_string(value);
        return *this;
    }
    Json& Bool(bool value) {
        Separate();
        out_ += value ? "true" : "false";
        return *this;
    }
    Json& Null() {
        Separate();
        out_ += "null";
        return *this;
    }

    const std::string& Text() const { return out_; }

private:
    Json& Open(char bracket) {
        Separate();
        out_ += bracket;
        first_ = true;
        return *this;
    }
    Json& Close(char bracket) {
        out_ += bracket;
        first_ = false;
        return *this;
    }
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
        } else if (!first_ && !out_.empty()) {
            out_ += ',';
        }
        first_ = false;
    }
    void Quote(std::string_view text) {
        out_ += '"';
        for (unsigned char c : text) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += static_cast<char>(c);
            } else if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out_ += escaped;
            } else {
                out_ += static_cast<char>(c);
            }
        }
        out_ += '"';
    }

    std::string out_;
    bool first_ = true;
    bool afterKey_ = false;
};
