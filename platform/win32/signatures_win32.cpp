#include "platform/win32/signatures_win32.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/revocation.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/signature_library.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

// Loaded by check() before any of the steps below runs.
const SignatureLibrary& Lib() {
    return *LoadSignatureLibrary();
}

// One verification by the Authenticode provider. Its state (the signers and their chains)
// stays readable until this ends, which releases it.
class Verification {
  public:
    // `file` is the file at `path`, opened by the caller: what it reads is what is checked.
    Verification(const std::wstring& path, HANDLE file) : path_(path) {
        file_.cbStruct = sizeof file_;
        file_.pcwszFilePath = path_.c_str();
        file_.hFile = file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        // Never fetch anything: the updater runs elevated and the network is not trusted.
        data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
        result_ = Lib().WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
        lastError_ = GetLastError();
    }
    ~Verification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        Lib().WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    HRESULT result() const { return static_cast<HRESULT>(result_); }
    DWORD lastError() const { return lastError_; }

    CRYPT_PROVIDER_DATA* provider() const {
        return data_.hWVTStateData == nullptr
                   ? nullptr
                   : Lib().WTHelperProvDataFromStateData(data_.hWVTStateData);
    }
    // The first signer, or null when the provider found none.
    CRYPT_PROVIDER_SGNR* signer() const {
        CRYPT_PROVIDER_DATA* data = provider();
        return data == nullptr ? nullptr : Lib().WTHelperGetProvSignerFromChain(data, 0, FALSE, 0);
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
    const DWORD length = Lib().CertNameToStrW(type, name, format, nullptr, 0);
    if (length <= 1) {
        return {};
    }
    std::wstring text(length, L'\0');
    Lib().CertNameToStrW(type, name, format, text.data(), length);
    text.resize(length - 1);
    return text;
}

// SHA-256 of the certificate's encoded public key, as lower-case hex; empty on failure.
std::wstring PublicKeyHash(PCCERT_CONTEXT certificate) {
    CERT_PUBLIC_KEY_INFO* key = &certificate->pCertInfo->SubjectPublicKeyInfo;
    DWORD size = 0;
    if (!Lib().CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr,
                                   nullptr, &size)) {
        return {};
    }
    std::vector<BYTE> encoded(size);
    if (!Lib().CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr,
                                   encoded.data(), &size)) {
        return {};
    }
    BYTE hash[32];
    DWORD hashSize = sizeof hash;
    if (!Lib().CryptHashCertificate2(L"SHA256", 0, nullptr, encoded.data(), size, hash,
                                     &hashSize)) {
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

// The signer's identity: the leaf's subject, and for an untrusted root that root's key hash.
// Empty when it cannot be read.
std::wstring IdentityOf(PCCERT_CONTEXT leaf, PCCERT_CONTEXT root, bool rootTrusted) {
    if (leaf == nullptr || root == nullptr) {
        return {};
    }
    std::wstring subject = SubjectOf(leaf);
    if (subject.empty() || rootTrusted) {
        return subject;
    }
    const std::wstring rootKey = PublicKeyHash(root);
    return rootKey.empty() ? std::wstring() : subject + L"; root key SHA-256 " + rootKey;
}

Signature ValidSignature(HRESULT result, const CRYPT_PROVIDER_SGNR& signer) {
    if (signer.csCertChain == 0 || signer.pasCertChain == nullptr) {
        return {Signature::Status::Invalid, {}};
    }
    std::wstring identity =
        IdentityOf(signer.pasCertChain[0].pCert, signer.pasCertChain[signer.csCertChain - 1].pCert,
                   RootTrusted(result, signer));
    if (identity.empty()) {
        return {Signature::Status::Invalid, {}};
    }
    return {Signature::Status::Valid, std::move(identity)};
}

// The signer named by the file's embedded signature, read from its certificate table without
// verifying anything: a signature that no longer verifies (the file changed, the certificate
// expired without a timestamp) still says whose it was. Empty when none can be read.
std::wstring EmbeddedSigner(HANDLE file) {
    DWORD size = 0;
    Lib().ImageGetCertificateData(file, 0, nullptr, &size);
    if (size <= offsetof(WIN_CERTIFICATE, bCertificate)) {
        return {};
    }
    std::vector<BYTE> buffer(size);
    auto* entry = reinterpret_cast<WIN_CERTIFICATE*>(buffer.data());
    if (!Lib().ImageGetCertificateData(file, 0, entry, &size) ||
        entry->wCertificateType != WIN_CERT_TYPE_PKCS_SIGNED_DATA || entry->dwLength > size ||
        entry->dwLength <= offsetof(WIN_CERTIFICATE, bCertificate)) {
        return {};
    }
    CRYPT_DATA_BLOB blob{
        static_cast<DWORD>(entry->dwLength - offsetof(WIN_CERTIFICATE, bCertificate)),
        entry->bCertificate};
    unique_hcertstore store;
    unique_hcryptmsg message;
    if (!Lib().CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                                CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr,
                                store.put(), message.put(), nullptr)) {
        return {};
    }
    DWORD infoSize = 0;
    if (!Lib().CryptMsgGetParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr,
                                &infoSize)) {
        return {};
    }
    std::vector<BYTE> info(infoSize);
    if (!Lib().CryptMsgGetParam(message.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(),
                                &infoSize)) {
        return {};
    }
    const unique_cert_context leaf(
        Lib().CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                         CERT_FIND_SUBJECT_CERT, info.data(), nullptr));
    if (!leaf) {
        return {};
    }
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    unique_cert_chain_context chain;
    if (!Lib().CertGetCertificateChain(nullptr, leaf.get(), nullptr, store.get(), &parameters,
                                       CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, chain.put())) {
        return {};
    }
    if (chain.get()->cChain == 0 || chain.get()->rgpChain[0]->cElement == 0) {
        return {};
    }
    const CERT_SIMPLE_CHAIN& simple = *chain.get()->rgpChain[0];
    constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;
    return IdentityOf(leaf.get(), simple.rgpElement[simple.cElement - 1]->pCertContext,
                      (chain.get()->TrustStatus.dwErrorStatus & kUntrusted) == 0);
}

static_assert(kChainRevoked == CERT_TRUST_IS_REVOKED &&
              kChainRevocationUnknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN &&
              kChainOfflineRevocation == CERT_TRUST_IS_OFFLINE_REVOCATION);

// The trust status of the signer's chain with revocation checked from the system's cache only:
// nothing is fetched, so the check never waits on the network. 0 when no chain can be built.
DWORD CachedRevocationStatus(PCCERT_CONTEXT leaf) {
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    unique_cert_chain_context chain;
    constexpr DWORD kFlags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                             CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY |
                             CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
    // The signature's own certificates (the intermediates) are in the leaf's store.
    if (!Lib().CertGetCertificateChain(nullptr, leaf, nullptr, leaf->hCertStore, &parameters,
                                       kFlags, nullptr, chain.put())) {
        return 0;
    }
    return chain.get()->TrustStatus.dwErrorStatus;
}

Signature BrokenSignature(HANDLE file) {
    return {Signature::Status::Invalid, EmbeddedSigner(file)};
}

}  // namespace

Signature Win32Signatures::check(const std::wstring& path) {
    if (!LoadSignatureLibrary()) {
        return {Signature::Status::Unreadable, {}};  // nothing could be checked
    }
    // Opened here rather than by the provider, so that a file that cannot be read is told apart
    // from one without a signature.
    const unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {Signature::Status::Unreadable, {}};
    }
    const Verification verification(path, file.get());
    const HRESULT result = verification.result();
    if (ReportsUnsigned(verification)) {
        return {Signature::Status::Unsigned, {}};
    }
    // A chain to a root that is not trusted here leaves the signature itself intact: it counts,
    // pinned to that root's key.
    const bool untrustedRoot = result == CERT_E_UNTRUSTEDROOT || result == CERT_E_CHAINING;
    if (result != ERROR_SUCCESS && !(untrustedRoot && SignatureIntact(verification))) {
        return BrokenSignature(file.get());
    }
    const CRYPT_PROVIDER_SGNR* signer = verification.signer();
    if (signer == nullptr) {
        return BrokenSignature(file.get());
    }
    const Signature valid = ValidSignature(result, *signer);
    if (valid.status != Signature::Status::Valid) {
        return BrokenSignature(file.get());
    }
    return WithRevocation(valid, CachedRevocationStatus(signer->pasCertChain[0].pCert));
}

}  // namespace ombrix
