// The platform services against the real Windows API (run under Wine by the end-to-end tests).
//
//   platform_tests.exe [--work FOLDER] [--body FILE] [--drip-body FILE] [--normal URL]
//                      [--no-length URL] [--short URL] [--reset URL] [--long URL]
//                      [--status URL] [--drip URL] [--stall URL]
//                      [--delayed URL] [--refused URL] [--https URL --https-untrusted URL
//                      --https-redirect URL --tls-cert DER] [--bench URL]
//
// File and process checks always run; each transfer case runs when its URL is given. Exit code
// 0 when every check passed.
#include <windows.h>

#include <cstdio>

#include "checks.h"

namespace {

std::wstring SelfPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

std::wstring DefaultWorkFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"ombrix platform 测试 " + std::to_wstring(GetCurrentProcessId());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace ombrix::test;
    if (argc == 2 && std::wstring(argv[1]) == L"--wait") {
        return RunWaitingHelper();
    }
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring name = argv[i];
        if (name.rfind(L"--", 0) != 0) {
            std::fprintf(stderr, "unexpected argument: %s\n", Utf8(name).c_str());
            return 2;
        }
        options[name.substr(2)] = argv[i + 1];
    }
    const std::wstring work = options.count(L"work") ? options[L"work"] : DefaultWorkFolder();
    CreateDirectoryW(work.c_str(), nullptr);

    CheckFileSystem(work + L"\\files");
    CheckProcesses(SelfPath(), work);
    CheckTransfers(options);
    if (options.count(L"bench")) {
        TimeTransfer(options[L"bench"], work);
    }
    std::printf("%d passed, %d failed\n", Passed(), Failed());
    return Failed() == 0 ? 0 : 1;
}
