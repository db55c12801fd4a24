#include "platform/win32/hashing_win32.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "platform/win32/file_system_win32.h"
#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

struct CngLibrary {
    decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider = nullptr;
    decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider = nullptr;
    decltype(&::BCryptCreateHash) BCryptCreateHash = nullptr;
    decltype(&::BCryptHashData) BCryptHashData = nullptr;
    decltype(&::BCryptFinishHash) BCryptFinishHash = nullptr;
    decltype(&::BCryptDestroyHash) BCryptDestroyHash = nullptr;
};

bool Load(CngLibrary& l) {
    HMODULE cng = LoadSystemLibrary(L"bcrypt.dll");
    return FindFunction(cng, "BCryptOpenAlgorithmProvider", l.BCryptOpenAlgorithmProvider) &&
           FindFunction(cng, "BCryptCloseAlgorithmProvider", l.BCryptCloseAlgorithmProvider) &&
           FindFunction(cng, "BCryptCreateHash", l.BCryptCreateHash) &&
           FindFunction(cng, "BCryptHashData", l.BCryptHashData) &&
           FindFunction(cng, "BCryptFinishHash", l.BCryptFinishHash) &&
           FindFunction(cng, "BCryptDestroyHash", l.BCryptDestroyHash);
}

// Only the UI thread hashes; the static's own guard covers any other caller.
const CngLibrary* Cng() {
    static CngLibrary library;
    static const bool loaded = Load(library);
    return loaded ? &library : nullptr;
}

void CloseAlgorithm(BCRYPT_ALG_HANDLE handle) {
    Cng()->BCryptCloseAlgorithmProvider(handle, 0);
}
void DestroyHash(BCRYPT_HASH_HANDLE handle) {
    Cng()->BCryptDestroyHash(handle);
}
using unique_algorithm = unique_any<handle_traits::NullInvalid<BCRYPT_ALG_HANDLE, CloseAlgorithm>>;
using unique_hash = unique_any<handle_traits::NullInvalid<BCRYPT_HASH_HANDLE, DestroyHash>>;

constexpr DWORD kBlock = 256 * 1024;

}  // namespace

std::optional<Sha256Digest> Win32Hashing::sha256OfFile(const std::wstring& path) {
    const CngLibrary* cng = Cng();
    if (cng == nullptr) {
        return std::nullopt;
    }
    // Others may read it (a running program's image is open too) but not write it meanwhile.
    const unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return std::nullopt;
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (cng->BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return std::nullopt;
    }
    const unique_algorithm algorithmOwner(algorithm);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (cng->BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
        return std::nullopt;
    }
    const unique_hash hashOwner(hash);
    std::vector<UCHAR> block(kBlock);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), block.data(), kBlock, &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        if (cng->BCryptHashData(hash, block.data(), got, 0) != 0) {
            return std::nullopt;
        }
    }
    Sha256Digest digest{};
    if (cng->BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) != 0) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace ombrix
