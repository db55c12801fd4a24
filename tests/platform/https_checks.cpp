// The transfer over https: a certificate the system does not trust is rejected (and said to be),
// a trusted one works, and a redirect from https to plain http is refused.
#include <windows.h>
#include <wincrypt.h>

#include "platform/win32/signature_library.h"
#include "tests/win32_check/check.h"
#include "transfer_run.h"

namespace ombrix::test {

namespace {

unique_hcertstore OpenMachineRoots() {
    return unique_hcertstore(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
}

// Trusts a certificate for the lifetime of the object (the prefix is shared with other tests).
// The store is closed after each change: only then does the system see it.
class TrustedForRun {
  public:
    explicit TrustedForRun(const Bytes& der)
        : certificate_(der.empty() ? nullptr
                                   : CertCreateCertificateContext(X509_ASN_ENCODING, der.data(),
                                                                  static_cast<DWORD>(der.size()))) {
        const unique_hcertstore roots = OpenMachineRoots();
        trusted_ = roots && certificate_ &&
                   CertAddCertificateContextToStore(roots.get(), certificate_.get(),
                                                    CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    }
    ~TrustedForRun() {
        const unique_hcertstore roots = OpenMachineRoots();
        if (!trusted_ || !roots) {
            return;
        }
        PCCERT_CONTEXT found = CertFindCertificateInStore(
            roots.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate_.get(), nullptr);
        if (found != nullptr) {
            CertDeleteCertificateFromStore(found);  // frees `found` too
        }
    }
    TrustedForRun(const TrustedForRun&) = delete;
    TrustedForRun& operator=(const TrustedForRun&) = delete;

    bool trusted() const { return trusted_; }

  private:
    unique_cert_context certificate_;
    bool trusted_ = false;
};

}  // namespace

void CheckHttps(const HttpsUrls& urls, const Bytes& expected) {
    // Trusted before the first https request: the system reads its root store once.
    TrustedForRun trust(ReadFileBytes(urls.certFile));
    ASSERT(trust.trusted());
    Section(L"transfer: https, certificate trusted");
    {
        Run run(urls.trusted);
        if (CHECK(run.responded())) {
            CHECK_DETAIL(run.states().back() == TransferState::ResponseCompleted,
                         Describe(run.states()));
            CHECK(!run.transfer->certificateRejected());
            CHECK(run.transfer->httpStatus() == 200);
            CHECK(ReadBody(*run.transfer).bytes == expected);
            CHECK(run.transfer->bodyEnded());
        }
    }
    Section(L"transfer: https, certificate not trusted");
    {
        Run run(urls.untrusted);
        if (CHECK(run.responded())) {
            CHECK_DETAIL(run.states().back() == TransferState::Error, Describe(run.states()));
            CHECK(run.transfer->certificateRejected());
            CHECK(run.transfer->failed());
        }
    }
    Section(L"transfer: https redirected to http");
    {
        Run run(urls.redirected);
        if (CHECK(run.responded())) {
            CHECK_DETAIL(run.states().back() == TransferState::Error, Describe(run.states()));
            CHECK(run.transfer->certificateRejected());
            CHECK(run.transfer->getChunk(1024).empty());
        }
    }
}

}  // namespace ombrix::test
