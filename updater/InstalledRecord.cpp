#include "updater/InstalledRecord.h"

#include "updater/Controls.h"
#include "updater/InstallFiles.h"
#include "updater/WholeFile.h"

namespace ombrix::updater {

InstalledRecord InstalledRecordOf(Services& s) {
    const std::wstring folder = s.folder.path();
    const std::wstring base = s.form1.text(form1::Label7);
    InstalledRecord record;
    record.path = folder + L"\\download\\" + base + L".validator";
    record.product = InstallFilesOf(s).product;
    return record;
}

std::wstring QuietRequestHeaders(Services& s, InstalledRecord& record) {
    const auto parsed = ParseValidatorRecord(s.files.read(record.path, 0, kMaxRecordBytes + 1));
    if (!parsed) {
        return {};
    }
    const auto usable = UsableValidators(parsed->validators, s.clock.utcSeconds());
    if (!usable) {
        return {};
    }
    const auto installed = s.hashing.sha256OfFile(record.product);
    if (!installed || *installed != parsed->product) {
        return {};
    }
    record.asked = true;
    return ConditionalRequestHeaders(*usable);
}

void RecordInstalled(Services& s, const InstalledRecord& record) {
    if (!record.delivered) {
        return;
    }
    const auto validators =
        RecordableValidators(*record.delivered, record.deliveredDate, s.clock.utcSeconds());
    const auto installed = validators ? s.hashing.sha256OfFile(record.product) : std::nullopt;
    if (!installed) {
        if (s.files.fileExists(record.path)) {
            s.files.deleteFile(record.path);
        }
        return;
    }
    // A record that fails to be written leaves the old one, which names other bytes or older
    // validators: at worst the next run downloads the product once more.
    WriteWholeFile(s.files, record.path, FormatValidatorRecord({*installed, *validators}));
}

}  // namespace ombrix::updater
