#include "platform/win32/system_error_text.h"

#include <memory>

namespace ombrix {
namespace {

struct LocalFreer {
    void operator()(wchar_t* text) const { LocalFree(text); }
};

}  // namespace

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreer> owned(buffer);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? L"Error " + std::to_wstring(code) : text;
}

}  // namespace ombrix
