#include "updater/UrlFileName.h"

#include <algorithm>
#include <array>
#include <cwctype>

namespace ombrix::updater {

std::wstring FileNameFromUrl(const std::wstring& url) {
    const auto slash = url.rfind(L'/');
    return slash == std::wstring::npos ? url : url.substr(slash + 1);
}

namespace {

bool IsReservedDeviceName(const std::wstring& name) {
    // The device names are reserved with any extension: "con.txt" is the console too.
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') {
        stem.pop_back();
    }
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    static constexpr std::array<const wchar_t*, 4> kPlain = {L"CON", L"PRN", L"AUX", L"NUL"};
    if (std::find(kPlain.begin(), kPlain.end(), stem) != kPlain.end()) {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

}  // namespace

bool IsUsableFileName(const std::wstring& name) {
    if (name.empty() || name.size() > 255) {
        return false;
    }
    for (wchar_t c : name) {
        if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    if (name.back() == L' ' || name.back() == L'.') {
        return false;
    }
    return !IsReservedDeviceName(name);
}

}  // namespace ombrix::updater
