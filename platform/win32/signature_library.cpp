#include "platform/win32/signature_library.h"

#include <string>

namespace ombrix {
namespace {

HMODULE LoadSystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::wstring path = std::wstring(folder, length) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
    function =
        module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
    return function != nullptr;
}

bool Load(SignatureLibrary& l) {
    HMODULE trust = LoadSystemLibrary(L"wintrust.dll");
    HMODULE crypt = LoadSystemLibrary(L"crypt32.dll");
    HMODULE image = LoadSystemLibrary(L"imagehlp.dll");
    return Find(trust, "WinVerifyTrust", l.WinVerifyTrust) &&
           Find(trust, "WTHelperProvDataFromStateData", l.WTHelperProvDataFromStateData) &&
           Find(trust, "WTHelperGetProvSignerFromChain", l.WTHelperGetProvSignerFromChain) &&
           Find(crypt, "CertNameToStrW", l.CertNameToStrW) &&
           Find(crypt, "CryptEncodeObjectEx", l.CryptEncodeObjectEx) &&
           Find(crypt, "CryptHashCertificate2", l.CryptHashCertificate2) &&
           Find(crypt, "CertCloseStore", l.CertCloseStore) &&
           Find(crypt, "CryptMsgClose", l.CryptMsgClose) &&
           Find(crypt, "CertFreeCertificateContext", l.CertFreeCertificateContext) &&
           Find(crypt, "CertFreeCertificateChain", l.CertFreeCertificateChain) &&
           Find(crypt, "CryptQueryObject", l.CryptQueryObject) &&
           Find(crypt, "CryptMsgGetParam", l.CryptMsgGetParam) &&
           Find(crypt, "CertFindCertificateInStore", l.CertFindCertificateInStore) &&
           Find(crypt, "CertGetCertificateChain", l.CertGetCertificateChain) &&
           Find(image, "ImageGetCertificateData", l.ImageGetCertificateData);
}

}  // namespace

const SignatureLibrary* LoadSignatureLibrary() {
    // Only the UI thread checks files; the static's own guard covers any other caller.
    static SignatureLibrary library;
    static const bool loaded = Load(library);
    return loaded ? &library : nullptr;
}

}  // namespace ombrix
