#pragma once
#include <cstdlib>
#include <memory>
#include <string>

#include "updater/InstallFiles.h"
#include "updater/InstalledRecord.h"
#include "updater/Prompts.h"
#include "updater/Texts.h"
#include "updater/Services.h"

namespace ombrix::updater {

// How far the install step got, for the end of the run.
struct InstallProgress {
    // This folder's product was closed (or a new one failed): start it again at the end unless
    // a new product is in place.
    bool restartProduct = false;
    bool copied = false;    // the download is copied beside the product
    bool backedUp = false;  // the old product is copied to the backup (or there was none)
    bool newInPlace = false;
    // The copy, backup and rename are over, whichever way they went.
    bool replaceOver = false;
    // The session ends: nothing more is asked and nothing is started.
    bool sessionEnding = false;
};

// The state of one update run, shared by the main window and the install window.
struct Run {
    explicit Run(Services& services) : s(services), prompts(services.boxes) {}

    Services& s;
    Prompts prompts;
    Phase phase = Phase::Starting;
    // The download file while the chunk loop writes it, and its path once created.
    std::unique_ptr<OutputFile> download;
    std::wstring partialPath;
    // The checked download, held against changes until the install step has copied it.
    std::unique_ptr<HeldFile> heldDownload;
    // Its copy beside the product, held from its creation until it is renamed over the product.
    std::unique_ptr<NewFile> freshCopy;
    InstallProgress install;
    // The response completed while a box was open; it is taken up when the box is answered.
    bool responseHeld = false;
    // Known from the install window's load on; empty before, when there is nothing to put back.
    InstallFiles installFiles;
    // The record of the product in place: read at the start, written at the end.
    InstalledRecord record;

    // Closes and removes a download that is not complete; a complete one is left alone.
    void discardPartial() {
        heldDownload.reset();
        download.reset();
        if (!partialPath.empty()) {
            s.files.deleteFile(partialPath);
            partialPath.clear();
        }
    }

    // Every end of a run comes here: the transfer stops, a partial download and the copy of the
    // new product go, the backup goes back in place when the new product is not, and is removed
    // only when the run ends well (exit 0) with the new product in place; a product that was
    // closed for nothing is started again. Then the process ends.
    [[noreturn]] void end(int code);

    // Tells the user why the run stops and ends it with `code`, leaving no partial file.
    [[noreturn]] void fail(const std::wstring& message, int code = kExitFailed) {
        s.inet1.cancel();
        discardPartial();
        phase = Phase::Ended;
        s.taskbar.setState(TaskbarProgress::State::Error);
        prompts.show(message, std::wstring(texts::kNoticeTitle), kMbInformation);
        end(code);
    }
};

}  // namespace ombrix::updater
