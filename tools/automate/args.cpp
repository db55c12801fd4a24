#include "tools/automate/args.h"

#include <cwchar>

#include "tools/automate/console.h"

namespace ombrix::automate {
namespace {

bool isOptionName(const std::wstring& word) {
    return word.size() > 2 && word.compare(0, 2, L"--") == 0;
}

}  // namespace

Args::Args(int argc, wchar_t** argv) {
    for (int i = 0; i < argc; ++i) {
        const std::wstring word = argv[i];
        if (!isOptionName(word)) {
            positional_.push_back(word);
            continue;
        }
        const std::wstring name = word.substr(2);
        if (i + 1 < argc && !isOptionName(argv[i + 1])) {
            options_[name] = argv[++i];
        } else {
            options_[name] = L"";
        }
    }
}

std::optional<std::wstring> Args::text(const std::wstring& name) const {
    const auto found = options_.find(name);
    if (found == options_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::wstring Args::textOr(const std::wstring& name, const std::wstring& fallback) const {
    return text(name).value_or(fallback);
}

std::wstring Args::required(const std::wstring& name) const {
    auto value = text(name);
    if (!value || value->empty()) {
        throw Failure{Usage, L"--" + name + L" is required"};
    }
    return *value;
}

std::int64_t parseNumber(const std::wstring& text, const std::wstring& what) {
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, hex ? 16 : 10);
    if (text.empty() || end == nullptr || *end != L'\0') {
        throw Failure{Usage, what + L": not a number: " + text};
    }
    return value;
}

std::optional<std::int64_t> Args::number(const std::wstring& name) const {
    const auto value = text(name);
    if (!value) {
        return std::nullopt;
    }
    return parseNumber(*value, L"--" + name);
}

std::int64_t Args::numberOr(const std::wstring& name, std::int64_t fallback) const {
    return number(name).value_or(fallback);
}

std::optional<Size> Args::size(const std::wstring& name) const {
    const auto value = text(name);
    if (!value) {
        return std::nullopt;
    }
    const auto x = value->find_first_of(L"xX");
    if (x == std::wstring::npos) {
        throw Failure{Usage, L"--" + name + L": expected WxH, got " + *value};
    }
    return Size{static_cast<long>(parseNumber(value->substr(0, x), L"--" + name)),
                static_cast<long>(parseNumber(value->substr(x + 1), L"--" + name))};
}

}  // namespace ombrix::automate
