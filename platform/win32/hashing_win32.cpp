#include "platform/win32/hashing_win32.h"

#include <windows.h>

#include <vector>

#include "platform/win32/ecdsa_cng.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

constexpr DWORD kBlock = 256 * 1024;

}  // namespace

std::optional<Sha256Digest> Win32Hashing::sha256OfFile(const std::wstring& path) {
    // Others may read it (a running program's image is open too) but not write it meanwhile.
    const unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return std::nullopt;
    }
    const std::unique_ptr<Sha256> hash = CngEcdsa().startSha256();
    if (!hash) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block(kBlock);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), block.data(), kBlock, &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            return hash->finish();
        }
        if (!hash->add(block.data(), got)) {
            return std::nullopt;
        }
    }
}

}  // namespace ombrix
