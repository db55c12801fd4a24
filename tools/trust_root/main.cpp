// trust_root: puts a certificate into the machine's trusted root store, or takes it out again,
// so that end-to-end tests can make a throwaway certificate authority trusted for one test.
// Usage: trust_root add|remove CERTIFICATE-FILE   (PEM or DER)
// Exit code 0 on success; 1 with a reason on stderr otherwise; 2 for a usage error.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/signature_library.h"

namespace {

using ombrix::unique_cert_context;
using ombrix::unique_hcertstore;
using ombrix::unique_hfile;

struct Failure {
    std::wstring message;
};

[[noreturn]] void Fail(const std::wstring& what) {
    wchar_t code[16];
    std::swprintf(code, 16, L"%08lX", GetLastError());
    throw Failure{what + L" (error 0x" + code + L")"};
}

std::vector<BYTE> ReadWholeFile(const std::wstring& path) {
    const unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        Fail(L"cannot open " + path);
    }
    std::vector<BYTE> bytes;
    BYTE buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

// The certificate's DER bytes: PEM text is decoded, anything else is taken as DER.
std::vector<BYTE> DerOf(const std::vector<BYTE>& bytes) {
    const std::string pemHeader = "-----BEGIN";
    if (std::string(bytes.begin(), bytes.end()).find(pemHeader) == std::string::npos) {
        return bytes;
    }
    const std::wstring text(bytes.begin(), bytes.end());  // PEM is ASCII
    DWORD size = 0;
    if (!CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        Fail(L"not a PEM certificate");
    }
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
        Fail(L"not a PEM certificate");
    }
    der.resize(size);
    return der;
}

// The registry part of the store: the system store as a whole also shows certificates that do
// not live there (Wine adds the host's), and deleting through it does not reach the registry.
unique_hcertstore OpenMachineRoot() {
    unique_hcertstore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                          CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
    if (!store) {
        Fail(L"cannot open the machine's root store");
    }
    return store;
}

void Add(HCERTSTORE store, const std::vector<BYTE>& der) {
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        Fail(L"cannot add the certificate");
    }
}

void Remove(HCERTSTORE store, const std::vector<BYTE>& der) {
    const unique_cert_context wanted(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                                  static_cast<DWORD>(der.size())));
    if (!wanted) {
        Fail(L"not a certificate");
    }
    // Deleting frees the found context; absent is fine.
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, wanted.get(), nullptr);
    if (found != nullptr && !CertDeleteCertificateFromStore(found)) {
        Fail(L"cannot remove the certificate");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring action = argc == 3 ? argv[1] : L"";
    if (action != L"add" && action != L"remove") {
        std::fputws(L"usage: trust_root add|remove CERTIFICATE-FILE (PEM or DER)\n", stderr);
        return 2;
    }
    try {
        const std::vector<BYTE> der = DerOf(ReadWholeFile(argv[2]));
        const unique_hcertstore store = OpenMachineRoot();
        if (action == L"add") {
            Add(store.get(), der);
        } else {
            Remove(store.get(), der);
        }
    } catch (const Failure& failure) {
        std::fputws((L"trust_root: " + failure.message + L"\n").c_str(), stderr);
        return 1;
    }
    return 0;
}
