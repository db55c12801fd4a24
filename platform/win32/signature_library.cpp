#include "platform/win32/signature_library.h"

#include "platform/win32/system_library.h"

namespace ombrix {
namespace {

bool Load(SignatureLibrary& l) {
    HMODULE trust = LoadSystemLibrary(L"wintrust.dll");
    HMODULE crypt = LoadSystemLibrary(L"crypt32.dll");
    HMODULE image = LoadSystemLibrary(L"imagehlp.dll");
    return FindFunction(trust, "WinVerifyTrust", l.WinVerifyTrust) &&
           FindFunction(trust, "WTHelperProvDataFromStateData", l.WTHelperProvDataFromStateData) &&
           FindFunction(trust, "WTHelperGetProvSignerFromChain",
                        l.WTHelperGetProvSignerFromChain) &&
           FindFunction(crypt, "CertNameToStrW", l.CertNameToStrW) &&
           FindFunction(crypt, "CryptEncodeObjectEx", l.CryptEncodeObjectEx) &&
           FindFunction(crypt, "CryptHashCertificate2", l.CryptHashCertificate2) &&
           FindFunction(crypt, "CertCloseStore", l.CertCloseStore) &&
           FindFunction(crypt, "CryptMsgClose", l.CryptMsgClose) &&
           FindFunction(crypt, "CertFreeCertificateContext", l.CertFreeCertificateContext) &&
           FindFunction(crypt, "CertFreeCertificateChain", l.CertFreeCertificateChain) &&
           FindFunction(crypt, "CryptQueryObject", l.CryptQueryObject) &&
           FindFunction(crypt, "CryptMsgGetParam", l.CryptMsgGetParam) &&
           FindFunction(crypt, "CertFindCertificateInStore", l.CertFindCertificateInStore) &&
           FindFunction(crypt, "CertGetCertificateChain", l.CertGetCertificateChain) &&
           FindFunction(image, "ImageGetCertificateData", l.ImageGetCertificateData);
}

}  // namespace

const SignatureLibrary* LoadSignatureLibrary() {
    // Only the UI thread checks files; the static's own guard covers any other caller.
    static SignatureLibrary library;
    static const bool loaded = Load(library);
    return loaded ? &library : nullptr;
}

}  // namespace ombrix
