#include "updater/ValidatorRecord.h"

#include <string_view>

#include "platform/http_response.h"
#include "updater/RecordText.h"

namespace ombrix::updater {
namespace {

constexpr std::string_view kHeading = "ombrix-validator 1";
constexpr std::string_view kHashKey = "sha256 ";
constexpr std::string_view kEtagKey = "etag ";
constexpr std::string_view kModifiedKey = "last-modified ";

bool IsHttpDate(const std::wstring& value) {
    return ParseHttpDate(value).has_value();
}

// An optional line "<key><value>": absent (empty value), present with a value that `valid`
// accepts, or damaged (nothing).
std::optional<std::wstring> OptionalValue(RecordLines& lines, std::string_view key,
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
    RecordLines lines(bytes);
    if (lines.next() != kHeading) {
        return std::nullopt;
    }
    const auto hashLine = lines.next();
    if (!hashLine || hashLine->substr(0, kHashKey.size()) != kHashKey) {
        return std::nullopt;
    }
    const auto digest = ParseDigestHex(hashLine->substr(kHashKey.size()));
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
    Append(out, DigestHex(record.product));
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
