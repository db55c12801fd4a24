// How fast a body comes through the component in 1 KiB chunks, with the updater's kind of pump,
// next to a plain WinINet reader with 64 KiB reads on the same URL.
#include <windows.h>
#include <wininet.h>

#include <cstdio>

#include "checks.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/transfer_wininet.h"
#include "platform/win32/unique_handle.h"
#include "state_log.h"

namespace ombrix::test {

namespace {

double Seconds() {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const wchar_t* what, std::uint64_t bytes, double seconds, const std::wstring& extra) {
    wchar_t line[256];
    swprintf(line, 256, L"%-40ls %9llu bytes in %6.3f s = %7.1f MB/s%ls", what,
             static_cast<unsigned long long>(bytes), seconds, bytes / seconds / 1e6, extra.c_str());
    Note(line);
}

std::uint64_t PlainRead(const std::wstring& url) {
    const unique_hinternet session(
        InternetOpenW(L"Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    const unique_hinternet request(InternetOpenUrlW(
        session.get(), url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0));
    if (!request) {
        return 0;
    }
    static std::uint8_t buffer[64 * 1024];
    std::uint64_t total = 0;
    DWORD got = 0;
    while (InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got > 0) {
        total += got;
    }
    return total;
}

// Returns the bytes read; `file`, when given, receives every chunk.
std::uint64_t ComponentRead(const std::wstring& url, OutputFile* file, double& fromResponse,
                            int& pumpLooks) {
    StateLog log;
    ThrottledPump pump(5);
    WinInetTransfer transfer(log, [&pump] { pump(); });
    const double requested = Seconds();
    transfer.execute(url, L"get", L"");
    if (!log.waitForFinalState(15000) || log.states().back() != TransferState::ResponseCompleted) {
        return 0;
    }
    Note(L"response after " + std::to_wstring(static_cast<int>((Seconds() - requested) * 1000)) +
         L" ms, states " + Describe(log.states()));
    const double start = Seconds();
    std::uint64_t total = 0;
    for (;;) {
        const auto chunk = transfer.getChunk(1024);
        if (chunk.empty()) {
            break;
        }
        total += chunk.size();
        if (file != nullptr) {
            file->write(chunk.data(), chunk.size());
        }
        pump();  // the updater pumps once per chunk
    }
    fromResponse = Seconds() - start;
    pumpLooks = pump.looks();
    return transfer.bodyEnded() ? total : 0;
}

}  // namespace

void TimeTransfer(const std::wstring& url, const std::wstring& workFolder) {
    Section(L"transfer timing (not checked)");
    double start = Seconds();
    const std::uint64_t plain = PlainRead(url);
    Report(L"plain reader, 64 KiB reads", plain, Seconds() - start, L"");

    double body = 0;
    int looks = 0;
    start = Seconds();
    const std::uint64_t chunked = ComponentRead(url, nullptr, body, looks);
    const double all = Seconds() - start;
    Report(L"component, 1 KiB chunks, pump <= 5 ms", chunked, all,
           L", body " + std::to_wstring(static_cast<int>(body * 1000)) + L" ms, " +
               std::to_wstring(looks) + L" queue looks");
    CHECK(chunked == plain && plain > 0);

    Win32FileSystem fs;
    auto file = fs.createFile(workFolder + L"\\timing download");
    start = Seconds();
    const std::uint64_t written = ComponentRead(url, file.get(), body, looks);
    const bool closed = file && file->close();
    Report(L"component + 1 KiB file writes", written, Seconds() - start, L"");
    CHECK(closed && written == plain);
    file.reset();
    fs.deleteFile(workFolder + L"\\timing download");
}

}  // namespace ombrix::test
