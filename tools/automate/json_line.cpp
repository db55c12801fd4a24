#include "tools/automate/json_line.h"

#include <windows.h>

#include <cstdio>

namespace ombrix::automate {

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::string jsonString(const std::wstring& text) {
    std::string out = "\"";
    for (char c : toUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void JsonLine::addKey(const char* key) {
    if (!body_.empty()) {
        body_ += ", ";
    }
    body_ += "\"";
    body_ += key;
    body_ += "\": ";
}

JsonLine& JsonLine::addText(const char* key, const std::wstring& value) {
    addKey(key);
    body_ += jsonString(value);
    return *this;
}

JsonLine& JsonLine::addInt(const char* key, std::int64_t value) {
    addKey(key);
    body_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::addBool(const char* key, bool value) {
    addKey(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::addNull(const char* key) {
    addKey(key);
    body_ += "null";
    return *this;
}

JsonLine& JsonLine::addRaw(const char* key, const std::string& json) {
    addKey(key);
    body_ += json;
    return *this;
}

std::string jsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const auto& item : items) {
        if (out.size() > 1) {
            out += ", ";
        }
        out += item;
    }
    return out + "]";
}

}  // namespace ombrix::automate
