#include "platform/win32/signatures_win32.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ombrix {
namespace {

// One verification by the Authenticode provider. Its state (the signers and their chains)
// stays readable until this ends, which releases it.
class Verification {
  public:
    explicit Verification(const std::wstring& path) : path_(path) {
        file_.cbStruct = sizeof file_;
        file_.pcwszFilePath = path_.c_str();
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        // Never fetch anything: the updater runs elevated and the network is not trusted.
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
        result_ = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
        lastError_ = GetLastError();
    }
    ~Verification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    HRESULT result() const { return static_cast<HRESULT>(result_); }
    DWORD lastError() const { return lastError_; }

    CRYPT_PROVIDER_DATA* provider() const {
        return data_.hWVTStateData == nullptr ? nullptr
                                              : WTHelperProvDataFromStateData(data_.hWVTStateData);
    }
    // The first signer, or null when the provider found none.
    CRYPT_PROVIDER_SGNR* signer() const {
        CRYPT_PROVIDER_DATA* data = provider();
        return data == nullptr ? nullptr : WTHelperGetProvSignerFromChain(data, 0, FALSE, 0);
    }

  private:
    std::wstring path_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG result_ = 0;
    DWORD lastError_ = 0;
};

// "Not signed" as the provider reports it; anything else that fails is a broken signature.
bool MeansUnsigned(HRESULT code) {
    return code == TRUST_E_NOSIGNATURE || code == TRUST_E_SUBJECT_FORM_UNKNOWN ||
           code == TRUST_E_PROVIDER_UNKNOWN;
}

bool ReportsUnsigned(const Verification& verification) {
    const HRESULT result = verification.result();
    if (result == TRUST_E_NOSIGNATURE) {
        // The same result also stands for a signature that cannot be read; the thread's last
        // error tells the two apart.
        return MeansUnsigned(static_cast<HRESULT>(verification.lastError()));
    }
    return result == TRUST_E_SUBJECT_FORM_UNKNOWN || result == TRUST_E_PROVIDER_UNKNOWN;
}

// The steps that check the file's digest and the signature itself went through, whatever the
// certificates' trust.
bool SignatureIntact(const Verification& verification) {
    const CRYPT_PROVIDER_DATA* data = verification.provider();
    if (data == nullptr || data->padwTrustStepErrors == nullptr) {
        return false;
    }
    for (const DWORD step : {TRUSTERROR_STEP_FINAL_OBJPROV, TRUSTERROR_STEP_FINAL_SIGPROV}) {
        if (data->cdwTrustStepErrors <= step || data->padwTrustStepErrors[step] != 0) {
            return false;
        }
    }
    return true;
}

std::wstring SubjectOf(PCCERT_CONTEXT certificate) {
    CERT_NAME_BLOB* name = &certificate->pCertInfo->Subject;
    const DWORD type = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    const DWORD format = CERT_X500_NAME_STR;
    const DWORD length = CertNameToStrW(type, name, format, nullptr, 0);
    if (length <= 1) {
        return {};
    }
    std::wstring text(length, L'\0');
    CertNameToStrW(type, name, format, text.data(), length);
    text.resize(length - 1);
    return text;
}

// SHA-256 of the certificate's encoded public key, as lower-case hex; empty on failure.
std::wstring PublicKeyHash(PCCERT_CONTEXT certificate) {
    CERT_PUBLIC_KEY_INFO* key = &certificate->pCertInfo->SubjectPublicKeyInfo;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr, nullptr,
                             &size)) {
        return {};
    }
    std::vector<BYTE> encoded(size);
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr,
                             encoded.data(), &size)) {
        return {};
    }
    BYTE hash[32];
    DWORD hashSize = sizeof hash;
    if (!CryptHashCertificate2(L"SHA256", 0, nullptr, encoded.data(), size, hash, &hashSize)) {
        return {};
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex;
    for (DWORD i = 0; i < hashSize; ++i) {
        hex += kDigits[hash[i] >> 4];
        hex += kDigits[hash[i] & 0x0F];
    }
    return hex;
}

// Whether the signer's chain ends in a root that the machine trusts. Windows reports an
// untrusted root as the result itself; Wine accepts such a chain, but its trust status still
// tells.
bool RootTrusted(HRESULT result, const CRYPT_PROVIDER_SGNR& signer) {
    if (result != ERROR_SUCCESS) {
        return false;
    }
    constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;
    return signer.pChainContext == nullptr ||
           (signer.pChainContext->TrustStatus.dwErrorStatus & kUntrusted) == 0;
}

Signature ValidSignature(HRESULT result, const CRYPT_PROVIDER_SGNR& signer) {
    if (signer.csCertChain == 0 || signer.pasCertChain == nullptr) {
        return {Signature::Status::Invalid, {}};
    }
    const PCCERT_CONTEXT leaf = signer.pasCertChain[0].pCert;
    const PCCERT_CONTEXT root = signer.pasCertChain[signer.csCertChain - 1].pCert;
    if (leaf == nullptr || root == nullptr) {
        return {Signature::Status::Invalid, {}};
    }
    std::wstring subject = SubjectOf(leaf);
    if (subject.empty()) {
        return {Signature::Status::Invalid, {}};
    }
    if (RootTrusted(result, signer)) {
        return {Signature::Status::Valid, std::move(subject)};
    }
    const std::wstring rootKey = PublicKeyHash(root);
    if (rootKey.empty()) {
        return {Signature::Status::Invalid, {}};
    }
    return {Signature::Status::Valid, subject + L"; root key SHA-256 " + rootKey};
}

}  // namespace

Signature Win32Signatures::check(const std::wstring& path) {
    const Verification verification(path);
    const HRESULT result = verification.result();
    if (ReportsUnsigned(verification)) {
        return {Signature::Status::Unsigned, {}};
    }
    // A chain to a root that is not trusted here leaves the signature itself intact: it counts,
    // pinned to that root's key.
    const bool untrustedRoot = result == CERT_E_UNTRUSTEDROOT || result == CERT_E_CHAINING;
    if (result != ERROR_SUCCESS && !(untrustedRoot && SignatureIntact(verification))) {
        return {Signature::Status::Invalid, {}};
    }
    const CRYPT_PROVIDER_SGNR* signer = verification.signer();
    if (signer == nullptr) {
        return {Signature::Status::Invalid, {}};
    }
    return ValidSignature(result, *signer);
}

}  // namespace ombrix
