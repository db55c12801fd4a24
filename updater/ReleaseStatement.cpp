#include "updater/ReleaseStatement.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/http_response.h"
#include "updater/DerSignature.h"
#include "updater/RecordText.h"

namespace ombrix::updater {
namespace {

constexpr std::size_t kHashBlock = 256 * 1024;
// A DER signature of two 32-byte integers, each with a sign byte, is at most 72 bytes.
constexpr std::size_t kMaxSignatureBytes = 72;
// A size or version number of more digits cannot be in range.
constexpr std::size_t kMaxNumberDigits = 15;
constexpr std::size_t kMaxProductChars = 64;

// A decimal number written one way: digits only, no leading zero (but "0"), in range.
std::optional<std::uint64_t> Number(std::string_view text, std::uint64_t max) {
    if (text.empty() || text.size() > kMaxNumberDigits || (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> Version(std::string_view text) {
    std::uint64_t version = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos) {
            return std::nullopt;
        }
        const auto number = Number(text.substr(0, dot), 65535);
        if (!number) {
            return std::nullopt;
        }
        version = (version << 16) | *number;
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return version;
}

std::optional<StatedDelta> Delta(std::string_view text) {
    // <64 hex> <size> <64 hex>
    const std::size_t first = text.find(' ');
    const std::size_t last = text.rfind(' ');
    if (first == std::string_view::npos || first == last) {
        return std::nullopt;
    }
    const auto from = ParseDigestHex(text.substr(0, first));
    const auto size = Number(text.substr(first + 1, last - first - 1), UINT64_MAX);
    const auto sha256 = ParseDigestHex(text.substr(last + 1));
    if (!from || !size || *size == 0 || !sha256) {
        return std::nullopt;
    }
    return StatedDelta{*from, *size, *sha256};
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// Standard base64 with its padding, one spelling only: no line breaks, no blanks, the unused
// bits of the last group zero.
std::optional<std::vector<std::uint8_t>> Base64(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) {
        return std::nullopt;
    }
    const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
    if (padding > 2) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint32_t bits = 0;
    int held = 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const int value = Base64Value(text[i]);
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> held));
            bits &= (1u << held) - 1;
        }
    }
    if (bits != 0) {
        return std::nullopt;
    }
    return bytes;
}

char AsciiLower(wchar_t c) {
    return static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
}

bool SameProduct(std::string_view stated, const std::wstring& product) {
    if (stated.size() != product.size()) {
        return false;
    }
    for (std::size_t i = 0; i < stated.size(); ++i) {
        if (product[i] > 0x7E ||
            AsciiLower(static_cast<wchar_t>(stated[i])) != AsciiLower(product[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<ReleaseStatement> ParseReleaseStatement(const std::vector<std::uint8_t>& bytes,
                                                      std::uint64_t maxSize) {
    if (bytes.size() > kMaxStatementBytes) {
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const char c : text) {
        // Printable ASCII and LF: no CR, no tab, nothing that reads two ways.
        if (c != '\n' && (c < 0x20 || c > 0x7E)) {
            return std::nullopt;
        }
    }
    RecordLines lines(text);
    ReleaseStatement statement;
    if (lines.next() != "ombrix-release 1") {
        return std::nullopt;
    }
    const auto product = lines.field("product ");
    if (!product || product->empty() || product->size() > kMaxProductChars ||
        product->find(' ') != std::string_view::npos) {
        return std::nullopt;
    }
    statement.product = std::string(*product);
    const auto versionText = lines.field("version ");
    const auto version = versionText ? Version(*versionText) : std::nullopt;
    const auto sizeText = version ? lines.field("size ") : std::nullopt;
    const auto size = sizeText ? Number(*sizeText, maxSize) : std::nullopt;
    const auto hashText = size ? lines.field("sha256 ") : std::nullopt;
    const auto sha256 = hashText ? ParseDigestHex(*hashText) : std::nullopt;
    if (!version || !size || !sha256 || *size == 0) {
        return std::nullopt;
    }
    statement.version = *version;
    statement.size = *size;
    statement.sha256 = *sha256;
    while (lines.startsWith("delta ")) {
        const auto deltaText = lines.field("delta ");
        const auto delta = deltaText ? Delta(*deltaText) : std::nullopt;
        if (!delta) {
            return std::nullopt;
        }
        statement.deltas.push_back(*delta);
    }
    statement.signedBytes = lines.consumed(text);
    const auto signatureText = lines.field("signature ");
    if (!signatureText || !lines.atEnd()) {
        return std::nullopt;
    }
    const auto der = Base64(*signatureText);
    if (!der || der->size() > kMaxSignatureBytes) {
        return std::nullopt;
    }
    const auto signature = SignatureFromDer(*der);
    if (!signature) {
        return std::nullopt;
    }
    statement.signature = *signature;
    return statement;
}

bool SignedByAny(Ecdsa& ecdsa, const std::vector<EcdsaKey>& keys, const Sha256Digest& digest,
                 const EcdsaSignature& signature) {
    for (const EcdsaKey& key : keys) {
        if (ecdsa.verify(key, digest, signature)) {
            return true;
        }
    }
    return false;
}

std::optional<ReleaseStatement> ReadReleaseStatement(const std::vector<std::uint8_t>& bytes,
                                                     Ecdsa& ecdsa,
                                                     const std::vector<EcdsaKey>& keys,
                                                     const std::wstring& product,
                                                     std::uint64_t maxSize) {
    auto statement = ParseReleaseStatement(bytes, maxSize);
    if (!statement) {
        return std::nullopt;
    }
    const auto digest = Sha256Of(ecdsa, bytes.data(), statement->signedBytes);
    if (!digest || !SignedByAny(ecdsa, keys, *digest, statement->signature) ||
        !SameProduct(statement->product, product)) {
        return std::nullopt;
    }
    return statement;
}

StatementVerdict JudgeStatement(const ReleaseStatement& statement,
                                const std::optional<Sha256Digest>& installed,
                                const std::optional<std::uint64_t>& installedVersion) {
    if (installed && *installed == statement.sha256) {
        return StatementVerdict::AlreadyNewest;
    }
    if (installedVersion && statement.version <= *installedVersion) {
        return StatementVerdict::NotNewer;
    }
    return StatementVerdict::Download;
}

std::optional<StatedDelta> DeltaFor(const ReleaseStatement& statement,
                                    const std::optional<Sha256Digest>& installed,
                                    std::optional<std::uint64_t> installedSize,
                                    std::uint64_t maxDeltaBytes) {
    if (!installed || !installedSize || *installedSize > maxDeltaBytes ||
        statement.size > maxDeltaBytes) {
        return std::nullopt;
    }
    for (const StatedDelta& delta : statement.deltas) {
        if (delta.from == *installed && delta.size < statement.size) {
            return delta;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ReadSmallBody(Transfer& inet, std::size_t maxBytes) {
    const auto announced = ParseContentLength(inet.header(L"Content-Length"));
    if (announced && *announced > static_cast<std::int64_t>(maxBytes)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> body;
    for (;;) {
        const auto chunk = inet.getChunk(maxBytes + 1 - body.size());
        if (chunk.empty()) {
            break;
        }
        body.insert(body.end(), chunk.begin(), chunk.end());
        if (body.size() > maxBytes) {
            return std::nullopt;
        }
    }
    if (!inet.bodyEnded()) {
        return std::nullopt;
    }
    return body;
}

std::optional<Sha256Digest> Sha256Of(Ecdsa& ecdsa, const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<Sha256> hash = ecdsa.startSha256();
    if (!hash || (size != 0 && !hash->add(data, size))) {
        return std::nullopt;
    }
    return hash->finish();
}

std::optional<Sha256Digest> HashHeldFile(Ecdsa& ecdsa, HeldFile& file) {
    const auto size = file.size();
    const std::unique_ptr<Sha256> hash = ecdsa.startSha256();
    if (!size || !hash) {
        return std::nullopt;
    }
    for (std::uint64_t at = 0; at < *size; at += kHashBlock) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kHashBlock, *size - at));
        const std::vector<std::uint8_t> block = file.read(at, want);
        // Every byte or none: a digest of part of the file must never stand for the whole.
        if (block.size() != want || !hash->add(block.data(), block.size())) {
            return std::nullopt;
        }
    }
    return hash->finish();
}

}  // namespace ombrix::updater
