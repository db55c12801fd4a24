#pragma once
#include <cstdlib>
#include <memory>
#include <string>

#include "updater/Prompts.h"
#include "updater/Texts.h"
#include "updater/Services.h"

namespace ombrix::updater {

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

    // Closes and removes a download that is not complete; a complete one is left alone.
    void discardPartial() {
        heldDownload.reset();
        download.reset();
        if (!partialPath.empty()) {
            s.files.deleteFile(partialPath);
            partialPath.clear();
        }
    }

    // Tells the user why the run stops and ends it with `code`, leaving no partial file.
    [[noreturn]] void fail(const std::wstring& message, int code = kExitFailed) {
        s.inet1.cancel();
        discardPartial();
        phase = Phase::Ended;
        prompts.show(message, std::wstring(texts::kNoticeTitle), kMbInformation);
        s.app.exitNow(code);
        std::abort();  // exitNow does not return
    }
};

}  // namespace ombrix::updater
