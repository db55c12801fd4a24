#include "updater/DownloadChecks.h"

#include <cstdint>
#include <vector>

#include "updater/Executable.h"
#include "updater/PublisherPin.h"
#include "updater/VersionRecord.h"
#include "updater/Wait.h"

namespace ombrix::updater {
namespace {

constexpr std::size_t kCompareBlock = 256 * 1024;

// Removes the download and ends the run with `message`; a file we hold must be let go first.
[[noreturn]] void Refuse(Run& run, const std::wstring& download, const wchar_t* message,
                         int code = kExitFailed) {
    run.heldDownload.reset();
    run.s.files.deleteFile(download);
    run.partialPath.clear();
    run.fail(message, code);
}

// Holds the file, waiting (and answering the user) while another program keeps it open.
FileHold HoldWaiting(Services& s, const std::wstring& path) {
    FileHold hold;
    WaitUntil(s.clock, kInUseWaitMs, kInUseRetryMs, [&] {
        hold = s.files.hold(path);
        return hold.outcome != FileHold::Outcome::InUse;
    });
    return hold;
}

bool SameContent(FileSystem& files, const std::wstring& a, const std::wstring& b) {
    for (std::uint64_t at = 0;; at += kCompareBlock) {
        const auto left = files.read(a, at, kCompareBlock);
        if (left != files.read(b, at, kCompareBlock)) {
            return false;
        }
        if (left.size() < kCompareBlock) {
            return true;
        }
    }
}

}  // namespace

bool HoldDownload(Run& run, const std::wstring& download, const ReleaseStatement* statement) {
    Services& s = run.s;
    FileHold held = HoldWaiting(s, download);
    if (!held.file) {
        Refuse(run, download, texts::kCannotSave);
    }
    run.heldDownload = std::move(held.file);
    if (!statement) {
        return true;
    }
    // Until its digest is the stated one, the download is only bytes from the network.
    const auto digest = s.ecdsa ? HashHeldFile(*s.ecdsa, *run.heldDownload) : std::nullopt;
    return digest && *digest == statement->sha256;
}

void CheckDownload(Run& run, const std::wstring& download, const std::wstring& installed,
                   const ReleaseStatement* statement) {
    Services& s = run.s;
    switch (CheckProgram(s.files, s.machines, download)) {
        case ProgramCheck::Program:
            break;
        case ProgramCheck::Incomplete:
            Refuse(run, download, texts::kIncomplete);
        case ProgramCheck::NotAProgram:
            Refuse(run, download, texts::kNotAProgram);
    }
    if (statement && FileVersionOf(s.files, download) != statement->version) {
        Refuse(run, download, texts::kBadSignature);
    }

    // The installed product is held too while it is compared, so that it cannot change between
    // the checks; it is let go before anything is terminated.
    const FileHold product = HoldWaiting(s, installed);
    if (product.outcome == FileHold::Outcome::NotFound) {
        return;  // nothing installed: nothing to compare with or to pin to
    }
    if (!product.file) {
        Refuse(run, download, texts::kCannotReadInstalled);
    }
    if (SameContent(s.files, download, installed)) {
        Refuse(run, download, texts::kAlreadyNewest, kExitAlreadyNewest);
    }
    const auto offered = FileVersionOf(s.files, download);
    const auto current = FileVersionOf(s.files, installed);
    if (offered && current && *offered < *current) {
        Refuse(run, download, texts::kOlderVersion);
    }
    switch (CheckPublisher(s.signatures, installed, download)) {
        case PinVerdict::Accepted:
            return;
        case PinVerdict::OtherPublisher:
            Refuse(run, download, texts::kBadSignature);
        case PinVerdict::InstalledUnreadable:
            Refuse(run, download, texts::kCannotReadInstalled);
        case PinVerdict::InstalledUnnamed:
            Refuse(run, download, texts::kInstalledSignatureInvalid);
    }
}

}  // namespace ombrix::updater
