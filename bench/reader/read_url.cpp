// The yardstick's download: the URL through WinINet with the updater's request flags, 64 KiB at
// a time, straight into the file, and nothing else: no window, no events, no progress.
#include "bench/reader/read_url.h"

#include <wininet.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace ombrix::bench {
namespace {

constexpr DWORD kReadBytes = 64 * 1024;

int fail(const wchar_t* what) {
    const std::wstring text =
        L"reader: " + std::wstring(what) + L" failed: " + std::to_wstring(GetLastError());
    DWORD written = 0;
    WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), text.c_str(), static_cast<DWORD>(text.size()),
                  &written, nullptr);
    return 1;
}

}  // namespace

int ReadUrl(const wchar_t* url, const wchar_t* path) {
    const unique_hinternet session(
        InternetOpenW(L"plain_reader", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        return fail(L"InternetOpen");
    }
    const unique_hinternet request(
        InternetOpenUrlW(session.get(), url, nullptr, 0,
                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                             INTERNET_FLAG_NO_COOKIES,
                         0));
    if (!request) {
        return fail(L"InternetOpenUrl");
    }
    DWORD announced = 0;
    DWORD size = sizeof announced;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                        &announced, &size, nullptr)) {
        return fail(L"HttpQueryInfo(Content-Length)");
    }
    const unique_hfile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return fail(L"CreateFile");
    }
    std::vector<std::uint8_t> buffer(kReadBytes);
    std::uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer.data(), kReadBytes, &got)) {
            return fail(L"InternetReadFile");
        }
        if (got == 0) {
            break;
        }
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), got, &written, nullptr) || written != got) {
            return fail(L"WriteFile");
        }
        total += got;
    }
    return total == announced ? 0 : 1;
}
}  // namespace ombrix::bench
