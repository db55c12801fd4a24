#pragma once
// Every answer of the tool is one JSON object per line, so that the tests read it with json.loads
// whatever characters a caption holds.
#include <cstdint>
#include <string>
#include <vector>

namespace ombrix::automate {

std::string toUtf8(const std::wstring& text);
std::string jsonString(const std::wstring& text);

class JsonLine {
  public:
    JsonLine& addText(const char* key, const std::wstring& value);
    JsonLine& addInt(const char* key, std::int64_t value);
    JsonLine& addBool(const char* key, bool value);
    JsonLine& addNull(const char* key);
    // `json` must already be valid JSON (an array or a nested object).
    JsonLine& addRaw(const char* key, const std::string& json);
    std::string str() const { return "{" + body_ + "}"; }

  private:
    void addKey(const char* key);
    std::string body_;
};

// Joins already rendered JSON values into an array.
std::string jsonArray(const std::vector<std::string>& items);

}  // namespace ombrix::automate
