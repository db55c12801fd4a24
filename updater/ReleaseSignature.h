#pragma once
// The vendor's signature of a release: `<update URL>.sig`, an ECDSA P-256 signature over the
// SHA-256 of the whole program, made with the vendor's own key. A build with release keys
// installs nothing that one of them has not signed, whatever the network in between.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ecdsa.h"
#include "platform/file_system.h"
#include "platform/transfer.h"
#include "updater/Run.h"

namespace ombrix::updater {

// A signature is a few dozen bytes; a longer answer is not read further than this.
inline constexpr std::size_t kMaxSignatureBytes = 1024;

// The signature file's bytes: a 200 answer to a GET of `url` on the update's own transfer
// component (the same worker, TLS, proxy and redirect rules), read whole. Nothing when there is
// no such answer, when it is longer than kMaxSignatureBytes (reading stops at the first byte
// beyond), or when it broke off.
std::optional<std::vector<std::uint8_t>> FetchSignature(Transfer& inet, const std::wstring& url);

// The SHA-256 of everything `file` holds, read through the hold; nothing when it cannot be read.
std::optional<Sha256Digest> HashHeldFile(Ecdsa& ecdsa, HeldFile& file);

// True when `der` is a well-formed signature of `digest` that verifies under any of `keys`.
bool SignedByAny(Ecdsa& ecdsa, const std::vector<EcdsaKey>& keys, const Sha256Digest& digest,
                 const std::vector<std::uint8_t>& der);

// With release keys built in, the complete, held download at `download` stands only when
// `updateUrl` + ".sig" signs it under one of them. Otherwise the download is removed and the run
// ends ("下载的文件签名无效，升级未完成！", exit 1) before anything is closed.
void CheckReleaseSignature(Run& run, const std::wstring& updateUrl, const std::wstring& download);

}  // namespace ombrix::updater
