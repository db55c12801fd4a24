#include "platform/win32/ecdsa_cng.h"

#include <cstring>

#include "platform/win32/bcrypt_library.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

// Every caller has loaded the library first.
const BCryptLibrary& Cng() {
    return *LoadBCryptLibrary();
}

void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
    Cng().BCryptCloseAlgorithmProvider(algorithm, 0);
}
void DestroyHash(BCRYPT_HASH_HANDLE hash) {
    Cng().BCryptDestroyHash(hash);
}
void DestroyKey(BCRYPT_KEY_HANDLE key) {
    Cng().BCryptDestroyKey(key);
}
using unique_bcrypt_algorithm =
    unique_any<handle_traits::NullInvalid<BCRYPT_ALG_HANDLE, CloseAlgorithm>>;
using unique_bcrypt_hash = unique_any<handle_traits::NullInvalid<BCRYPT_HASH_HANDLE, DestroyHash>>;
using unique_bcrypt_key = unique_any<handle_traits::NullInvalid<BCRYPT_KEY_HANDLE, DestroyKey>>;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

unique_bcrypt_algorithm OpenAlgorithm(const wchar_t* name) {
    unique_bcrypt_algorithm algorithm;
    if (LoadBCryptLibrary() == nullptr ||
        !Succeeded(Cng().BCryptOpenAlgorithmProvider(algorithm.put(), name, nullptr, 0))) {
        return {};
    }
    return algorithm;
}

// The provider outlives its hash object.
class CngSha256 : public Sha256 {
  public:
    CngSha256(unique_bcrypt_algorithm algorithm, unique_bcrypt_hash hash)
        : algorithm_(std::move(algorithm)), hash_(std::move(hash)) {}

    bool add(const std::uint8_t* data, std::size_t size) override {
        // CNG takes at most a ULONG at a time.
        while (size > 0) {
            const ULONG part = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
            if (!hash_ ||
                !Succeeded(Cng().BCryptHashData(hash_.get(), const_cast<PUCHAR>(data), part, 0))) {
                hash_.reset();
                return false;
            }
            data += part;
            size -= part;
        }
        return true;
    }
    std::optional<Sha256Digest> finish() override {
        Sha256Digest digest{};
        if (!hash_ || !Succeeded(Cng().BCryptFinishHash(hash_.get(), digest.data(),
                                                        static_cast<ULONG>(digest.size()), 0))) {
            return std::nullopt;
        }
        hash_.reset();
        return digest;
    }

  private:
    unique_bcrypt_algorithm algorithm_;
    unique_bcrypt_hash hash_;
};

}  // namespace

std::unique_ptr<Sha256> CngEcdsa::startSha256() {
    unique_bcrypt_algorithm algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    unique_bcrypt_hash hash;
    // The system allocates the hash object itself (Windows 7 on).
    if (!algorithm || !Succeeded(Cng().BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0,
                                                        nullptr, 0, 0))) {
        return nullptr;
    }
    return std::make_unique<CngSha256>(std::move(algorithm), std::move(hash));
}

bool CngEcdsa::verify(const EcdsaKey& key, const Sha256Digest& digest,
                      const EcdsaSignature& signature) {
    const unique_bcrypt_algorithm algorithm = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!algorithm) {
        return false;
    }
    // An ECCPUBLIC blob: its header, then X and Y.
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key.data(), key.size());
    unique_bcrypt_key publicKey;
    if (!Succeeded(Cng().BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                             publicKey.put(), blob, sizeof blob, 0))) {
        return false;
    }
    // Only STATUS_SUCCESS verifies; every other status, informational ones too, refuses.
    Sha256Digest hashed = digest;
    EcdsaSignature signed_ = signature;
    return Cng().BCryptVerifySignature(publicKey.get(), nullptr, hashed.data(),
                                       static_cast<ULONG>(hashed.size()), signed_.data(),
                                       static_cast<ULONG>(signed_.size()), 0) == 0;
}

}  // namespace ombrix
