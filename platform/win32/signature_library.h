#pragma once
// The system's Authenticode and certificate functions, loaded when the first file is checked
// rather than with the program: under Wine the three libraries cost the updater about 10 ms and
// 3 MiB before its window shows, and a run needs them only once the download is whole.
#include <windows.h>

#include <imagehlp.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "platform/win32/unique_handle.h"

namespace ombrix {

struct SignatureLibrary {
    decltype(&::WinVerifyTrust) WinVerifyTrust = nullptr;
    decltype(&::WTHelperProvDataFromStateData) WTHelperProvDataFromStateData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) WTHelperGetProvSignerFromChain = nullptr;
    decltype(&::CertNameToStrW) CertNameToStrW = nullptr;
    decltype(&::CryptEncodeObjectEx) CryptEncodeObjectEx = nullptr;
    decltype(&::CryptHashCertificate2) CryptHashCertificate2 = nullptr;
    decltype(&::CertCloseStore) CertCloseStore = nullptr;
    decltype(&::CryptMsgClose) CryptMsgClose = nullptr;
    decltype(&::CertFreeCertificateContext) CertFreeCertificateContext = nullptr;
    decltype(&::CertFreeCertificateChain) CertFreeCertificateChain = nullptr;
    decltype(&::CryptQueryObject) CryptQueryObject = nullptr;
    decltype(&::CryptMsgGetParam) CryptMsgGetParam = nullptr;
    decltype(&::CertFindCertificateInStore) CertFindCertificateInStore = nullptr;
    decltype(&::CertGetCertificateChain) CertGetCertificateChain = nullptr;
    decltype(&::ImageGetCertificateData) ImageGetCertificateData = nullptr;
};

// The functions, from the copies in the system folder (never from the program's own folder).
// Loaded once and kept for the life of the process, as imports would be; null when a library
// or a function is missing.
const SignatureLibrary* LoadSignatureLibrary();

// Owners of what these functions hand out, closed through them: made only once the library is
// loaded.
namespace handle_traits {
inline void CloseLoadedStore(HCERTSTORE store) {
    LoadSignatureLibrary()->CertCloseStore(store, 0);
}
inline void CloseCryptMessage(HCRYPTMSG message) {
    LoadSignatureLibrary()->CryptMsgClose(message);
}
inline void FreeLoadedCertificate(PCCERT_CONTEXT certificate) {
    LoadSignatureLibrary()->CertFreeCertificateContext(certificate);
}
inline void FreeCertificateChain(PCCERT_CHAIN_CONTEXT chain) {
    LoadSignatureLibrary()->CertFreeCertificateChain(chain);
}
}  // namespace handle_traits

using unique_hcertstore =
    unique_any<handle_traits::NullInvalid<HCERTSTORE, handle_traits::CloseLoadedStore>>;
using unique_hcryptmsg =
    unique_any<handle_traits::NullInvalid<HCRYPTMSG, handle_traits::CloseCryptMessage>>;
using unique_cert_context =
    unique_any<handle_traits::NullInvalid<PCCERT_CONTEXT, handle_traits::FreeLoadedCertificate>>;
using unique_cert_chain_context = unique_any<
    handle_traits::NullInvalid<PCCERT_CHAIN_CONTEXT, handle_traits::FreeCertificateChain>>;

}  // namespace ombrix
