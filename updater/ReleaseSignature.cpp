#include "updater/ReleaseSignature.h"

#include "platform/http_response.h"
#include "updater/DerSignature.h"
#include "updater/Texts.h"

namespace ombrix::updater {
namespace {

constexpr std::size_t kHashBlock = 256 * 1024;
constexpr int kStatusOk = 200;

// Removes the download and ends the run; the hold on it goes first.
[[noreturn]] void Refuse(Run& run, const std::wstring& download) {
    run.heldDownload.reset();
    run.s.files.deleteFile(download);
    run.partialPath.clear();
    run.fail(texts::kBadSignature);
}

}  // namespace

std::optional<std::vector<std::uint8_t>> FetchSignature(Transfer& inet, const std::wstring& url) {
    // Another GET on the component that brought the download: the worker thread does it, and
    // this thread handles window events while it waits.
    inet.resume(url, L"");
    if (!inet.awaitResponse() || inet.httpStatus() != kStatusOk) {
        return std::nullopt;
    }
    const auto announced = ParseContentLength(inet.header(L"Content-Length"));
    if (announced && *announced > static_cast<std::int64_t>(kMaxSignatureBytes)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body;
    for (;;) {
        const auto chunk = inet.getChunk(kMaxSignatureBytes + 1 - body.size());
        if (chunk.empty()) {
            break;
        }
        body.insert(body.end(), chunk.begin(), chunk.end());
        if (body.size() > kMaxSignatureBytes) {
            return std::nullopt;
        }
    }
    if (!inet.bodyEnded()) {
        return std::nullopt;
    }
    return body;
}

std::optional<Sha256Digest> HashHeldFile(Ecdsa& ecdsa, HeldFile& file) {
    const std::unique_ptr<Sha256> hash = ecdsa.startSha256();
    if (!hash) {
        return std::nullopt;
    }
    for (std::uint64_t at = 0;; at += kHashBlock) {
        const std::vector<std::uint8_t> block = file.read(at, kHashBlock);
        if (!block.empty() && !hash->add(block.data(), block.size())) {
            return std::nullopt;
        }
        if (block.size() < kHashBlock) {
            // The end. A read that failed ends the hash early too: a digest of part of the file
            // matches no signature of a whole release.
            break;
        }
    }
    return hash->finish();
}

bool SignedByAny(Ecdsa& ecdsa, const std::vector<EcdsaKey>& keys, const Sha256Digest& digest,
                 const std::vector<std::uint8_t>& der) {
    const std::optional<EcdsaSignature> signature = SignatureFromDer(der);
    if (!signature) {
        return false;
    }
    for (const EcdsaKey& key : keys) {
        if (ecdsa.verify(key, digest, *signature)) {
            return true;
        }
    }
    return false;
}

void CheckReleaseSignature(Run& run, const std::wstring& updateUrl, const std::wstring& download) {
    Services& s = run.s;
    if (s.releaseKeys.empty()) {
        return;  // built without release keys, on purpose
    }
    const auto signature = FetchSignature(s.inet1, updateUrl + L".sig");
    if (!signature || s.ecdsa == nullptr || !run.heldDownload) {
        Refuse(run, download);
    }
    const std::optional<Sha256Digest> digest = HashHeldFile(*s.ecdsa, *run.heldDownload);
    if (!digest || !SignedByAny(*s.ecdsa, s.releaseKeys, *digest, *signature)) {
        Refuse(run, download);
    }
}

}  // namespace ombrix::updater
