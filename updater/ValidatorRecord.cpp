#include "updater/ValidatorRecord.h"

#include <string_view>

#include "platform/http_response.h"

namespace ombrix::updater {
namespace {

constexpr std::string_view kHeading = "ombrix-validator 1";
constexpr std::string_view kHashKey = "sha256 ";
constexpr std::string_view kEtagKey = "etag ";
constexpr std::string_view kModifiedKey = "last-modified ";
constexpr char kHexDigits[] = "0123456789abcdef";

// The record's lines, read one at a time; every line must end in LF.
class Lines {
  public:
    explicit Lines(const std::vector<std::uint8_t>& bytes)
        : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}
    bool atEnd() const { return text_.empty(); }
    // The next line without its LF; nothing when no LF is left.
    std::optional<std::string_view> next() {
        const std::size_t end = text_.find('\n');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view line = text_.substr(0, end);
        text_.remove_prefix(end + 1);
        return line;
    }
    std::optional<std::string_view> peek() const { return Lines(*this).next(); }

  private:
    std::string_view text_;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;  // upper case too: one spelling only
}

std::optional<Sha256Digest> ParseHash(std::string_view hex) {
    Sha256Digest digest{};
    if (hex.size() != digest.size() * 2) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return digest;
}

bool IsHttpDate(const std::wstring& value) {
    return ParseHttpDate(value).has_value();
}

// An optional line "<key><value>": absent (empty value), present with a value that `valid`
// accepts, or damaged (nothing).
std::optional<std::wstring> OptionalValue(Lines& lines, std::string_view key,
                                          bool (*valid)(const std::wstring&)) {
    const auto line = lines.peek();
    if (!line || line->substr(0, key.size()) != key) {
        return std::wstring();
    }
    lines.next();
    const std::string_view raw = line->substr(key.size());
    std::wstring value(raw.size(), L'\0');
    for (std::size_t i = 0; i < raw.size(); ++i) {
        value[i] = static_cast<wchar_t>(static_cast<unsigned char>(raw[i]));
    }
    if (!valid(value)) {
        return std::nullopt;
    }
    return value;
}

void Append(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void AppendValue(std::vector<std::uint8_t>& out, std::string_view key, const std::wstring& value) {
    if (value.empty()) {
        return;
    }
    Append(out, key);
    for (const wchar_t c : value) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.push_back('\n');
}

}  // namespace

bool IsStrongEntityTag(const std::wstring& value) {
    if (value.size() < 2 || value.size() > kMaxValidatorChars || value.front() != L'"' ||
        value.back() != L'"') {
        return false;
    }
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        const wchar_t c = value[i];
        if (c < 0x21 || c > 0x7E || c == L'"') {
            return false;
        }
    }
    return true;
}

std::optional<Validators> RecordableValidators(const Validators& sent,
                                               const std::wstring& responseDate,
                                               std::int64_t nowSeconds) {
    Validators kept;
    if (IsStrongEntityTag(sent.etag)) {
        kept.etag = sent.etag;
    }
    const auto modified = ParseHttpDate(sent.lastModified);
    const auto latest = ParseHttpDate(responseDate).value_or(nowSeconds);
    if (modified && *modified <= latest) {
        kept.lastModified = sent.lastModified;
    }
    if (kept.etag.empty() && kept.lastModified.empty()) {
        return std::nullopt;
    }
    return kept;
}

std::optional<Validators> UsableValidators(const Validators& recorded, std::int64_t nowSeconds) {
    Validators usable = recorded;
    const auto modified = ParseHttpDate(recorded.lastModified);
    if (!modified || *modified > nowSeconds) {
        usable.lastModified.clear();
    }
    if (usable.etag.empty() && usable.lastModified.empty()) {
        return std::nullopt;
    }
    return usable;
}

std::optional<ValidatorRecord> ParseValidatorRecord(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() > kMaxRecordBytes) {
        return std::nullopt;
    }
    Lines lines(bytes);
    if (lines.next() != kHeading) {
        return std::nullopt;
    }
    const auto hashLine = lines.next();
    if (!hashLine || hashLine->substr(0, kHashKey.size()) != kHashKey) {
        return std::nullopt;
    }
    const auto digest = ParseHash(hashLine->substr(kHashKey.size()));
    if (!digest) {
        return std::nullopt;
    }
    ValidatorRecord record;
    record.product = *digest;
    const auto etag = OptionalValue(lines, kEtagKey, IsStrongEntityTag);
    const auto modified = etag ? OptionalValue(lines, kModifiedKey, IsHttpDate) : std::nullopt;
    if (!etag || !modified || (etag->empty() && modified->empty()) || !lines.atEnd()) {
        return std::nullopt;
    }
    record.validators = {*etag, *modified};
    return record;
}

std::vector<std::uint8_t> FormatValidatorRecord(const ValidatorRecord& record) {
    std::vector<std::uint8_t> out;
    Append(out, kHeading);
    out.push_back('\n');
    Append(out, kHashKey);
    for (const std::uint8_t byte : record.product) {
        out.push_back(static_cast<std::uint8_t>(kHexDigits[byte >> 4]));
        out.push_back(static_cast<std::uint8_t>(kHexDigits[byte & 0x0F]));
    }
    out.push_back('\n');
    AppendValue(out, kEtagKey, record.validators.etag);
    AppendValue(out, kModifiedKey, record.validators.lastModified);
    return out;
}

std::wstring ConditionalRequestHeaders(const Validators& validators) {
    std::wstring headers;
    if (!validators.etag.empty()) {
        headers += L"If-None-Match: " + validators.etag + L"\r\n";
    }
    if (!validators.lastModified.empty()) {
        headers += L"If-Modified-Since: " + validators.lastModified + L"\r\n";
    }
    return headers;
}

}  // namespace ombrix::updater
