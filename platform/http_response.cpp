#include "platform/http_response.h"

#include <string_view>

namespace ombrix {
namespace {

wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::wstring_view Trimmed(std::wstring_view text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Decimal digits only, at most 18 of them (so the value fits).
std::optional<std::int64_t> ParseDigits(std::wstring_view text) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - L'0');
    }
    return value;
}

}  // namespace

std::wstring FindResponseHeader(const std::wstring& rawHeaders, const std::wstring& name) {
    const std::wstring_view raw(rawHeaders);
    std::wstring value;
    bool found = false;
    std::size_t end = raw.find(L"\r\n");  // the status line holds no header
    while (end != std::wstring_view::npos) {
        const std::size_t start = end + 2;
        end = raw.find(L"\r\n", start);
        const std::wstring_view line =
            raw.substr(start, end == std::wstring_view::npos ? end : end - start);
        const std::size_t colon = line.find(L':');
        if (colon != std::wstring_view::npos &&
            EqualsIgnoreCase(Trimmed(line.substr(0, colon)), name)) {
            if (found) {
                value += L", ";
            }
            value += Trimmed(line.substr(colon + 1));
            found = true;
        }
    }
    return value;
}

std::optional<std::int64_t> ParseContentLength(const std::wstring& text) {
    return ParseDigits(text);
}

LengthField ReadContentLength(const std::wstring& value) {
    if (value.empty()) {
        return {};
    }
    std::optional<std::int64_t> length;
    std::wstring_view rest(value);
    for (;;) {
        const std::size_t comma = rest.find(L',');
        const auto member = ParseDigits(Trimmed(rest.substr(0, comma)));
        if (!member || (length && *member != *length)) {
            return {false, std::nullopt};
        }
        length = member;
        if (comma == std::wstring_view::npos) {
            return {true, length};
        }
        rest.remove_prefix(comma + 1);
    }
}

std::optional<ContentRange> ParseContentRange(const std::wstring& text) {
    const std::wstring_view value = Trimmed(text);
    constexpr std::wstring_view kUnit = L"bytes ";
    if (value.size() <= kUnit.size() || !EqualsIgnoreCase(value.substr(0, kUnit.size()), kUnit)) {
        return std::nullopt;
    }
    const std::wstring_view spec = Trimmed(value.substr(kUnit.size()));
    const std::size_t dash = spec.find(L'-');
    const std::size_t slash = spec.find(L'/');
    if (dash == std::wstring_view::npos || slash == std::wstring_view::npos || slash < dash) {
        return std::nullopt;
    }
    const auto first = ParseDigits(spec.substr(0, dash));
    const auto last = ParseDigits(spec.substr(dash + 1, slash - dash - 1));
    const std::wstring_view totalText = spec.substr(slash + 1);
    const auto total = totalText == L"*" ? std::optional<std::int64_t>(-1) : ParseDigits(totalText);
    if (!first || !last || !total || *last < *first || (*total >= 0 && *last >= *total)) {
        return std::nullopt;
    }
    return ContentRange{*first, *last, *total};
}

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromEpoch(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = year / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// A fixed number of digits at `at`, or -1.
int Digits(std::wstring_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return -1;
        }
        value = value * 10 + (text[i] - L'0');
    }
    return value;
}

}  // namespace

std::optional<std::int64_t> ParseHttpDate(const std::wstring& text) {
    static constexpr std::wstring_view kWeekdays[] = {L"Thu", L"Fri", L"Sat", L"Sun",
                                                      L"Mon", L"Tue", L"Wed"};  // from 1970-01-01
    static constexpr std::wstring_view kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                    L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    // "Www, DD Mmm YYYY HH:MM:SS GMT"
    const std::wstring_view t(text);
    if (t.size() != 29 || t.substr(3, 2) != L", " || t[7] != L' ' || t[11] != L' ' ||
        t[16] != L' ' || t[19] != L':' || t[22] != L':' || t.substr(25) != L" GMT") {
        return std::nullopt;
    }
    unsigned month = 0;
    for (unsigned m = 0; m < 12; ++m) {
        if (t.substr(8, 3) == kMonths[m]) {
            month = m + 1;
        }
    }
    const int day = Digits(t, 5, 2);
    const int year = Digits(t, 12, 4);
    const int hour = Digits(t, 17, 2);
    const int minute = Digits(t, 20, 2);
    const int second = Digits(t, 23, 2);
    // 60 is a leap second.
    if (month == 0 || day < 1 || year < 1970 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60 ||
        static_cast<unsigned>(day) > DaysInMonth(year, month)) {
        return std::nullopt;
    }
    const std::int64_t days = DaysFromEpoch(year, month, static_cast<unsigned>(day));
    if (t.substr(0, 3) != kWeekdays[days % 7]) {
        return std::nullopt;
    }
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::optional<std::wstring> RedirectLocation(int status, const std::wstring& rawHeaders) {
    switch (status) {
        case 301:
        case 302:
        case 303:
        case 307:
        case 308:
            break;
        default:
            return std::nullopt;
    }
    std::wstring location = FindResponseHeader(rawHeaders, L"Location");
    if (location.empty()) {
        return std::nullopt;
    }
    return location;
}

}  // namespace ombrix
