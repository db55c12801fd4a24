#include "updater/RollbackRecord.h"

#include <string_view>

#include "updater/Controls.h"
#include "updater/RecordText.h"
#include "updater/WholeFile.h"

namespace ombrix::updater {
namespace {

constexpr std::string_view kHeading = "ombrix-rollback 1\nsha256 ";

}  // namespace

std::wstring RollbackRecordPath(Services& s) {
    return s.folder.path() + L"\\download\\" + s.form1.text(form1::Label7) + L".rollback";
}

std::vector<std::uint8_t> FormatRollbackRecord(const Sha256Digest& product) {
    std::vector<std::uint8_t> out(kHeading.begin(), kHeading.end());
    const std::string hex = DigestHex(product);
    out.insert(out.end(), hex.begin(), hex.end());
    out.push_back('\n');
    return out;
}

bool RecordFailedRollback(Services& s, const std::wstring& product) {
    const auto digest = s.hashing.sha256OfFile(product);
    return digest && WriteWholeFile(s.files, RollbackRecordPath(s), FormatRollbackRecord(*digest));
}

bool RollbackRecordNames(Services& s, const std::wstring& product) {
    // One spelling only: the record is compared whole with the one these bytes would have.
    const auto expected = FormatRollbackRecord(Sha256Digest{});
    const auto record = s.files.read(RollbackRecordPath(s), 0, expected.size() + 1);
    if (record.size() != expected.size()) {
        return false;
    }
    const auto digest = s.hashing.sha256OfFile(product);
    return digest && record == FormatRollbackRecord(*digest);
}

}  // namespace ombrix::updater
