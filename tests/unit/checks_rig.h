#pragma once
// Shared by the tests of the checks a download passes before anything is closed.
#include <gtest/gtest.h>

#include "fakes/updater_rig.h"

namespace ombrix::fakes {

// One run of the checks against an installed product that runs as process 7.
struct ChecksRig : UpdaterRig {
    Bytes installed = PeBytes(3000, 0x11);
    ChecksRig() { processes.procs.push_back({7, L"Ombrix.exe", path(L"Ombrix.exe")}); }
    int run(const Bytes& offered) {
        files.files[path(L"Ombrix.exe")] = installed;
        return download(offered);
    }
    // Refused before anything was closed: the product as it was, running, the download gone.
    void expectRefused(int code, int expectedCode, const wchar_t* text) {
        EXPECT_EQ(code, expectedCode);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, text);
        EXPECT_EQ(boxes.shown[0].title, L"提示：");
        EXPECT_EQ(boxes.shown[0].style, kMbInformation);
        EXPECT_FALSE(files.fileExists(path(L"ombrix")));
        EXPECT_EQ(files.files[path(L"Ombrix.exe")], installed);
        EXPECT_TRUE(processes.isRunning(7));
        EXPECT_EQ(form2Window, nullptr);
    }
};

}  // namespace ombrix::fakes
