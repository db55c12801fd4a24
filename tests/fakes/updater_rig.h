#pragma once
// One updater wired to fakes, with the designed captions and a program folder.
#include "fakes/fake_updater.h"
#include "platform/taskbar_mirror.h"
#include "updater/Controls.h"
#include "updater/Form1.h"

namespace ombrix::fakes {

inline constexpr wchar_t kRigFolder[] = L"C:\\Program Files\\Ombrix 程序";
inline constexpr wchar_t kRigUrl[] = L"http://127.0.0.1:47631/soft/updates/ombrix/ombrix";

struct UpdaterRig {
    Log log;
    FakeApp app{log};
    FakeClock clock;
    FakeBoxes boxes{log};
    FakeFiles files{log};
    FakeProgramFolder folder{kRigFolder};
    FakeProcesses processes{log};
    FakeWindow form1Window{log, L"Form1"};
    FakeWindow* form2Window = nullptr;
    FakeProgressBar progress;
    FakeTaskbar taskbarButton;
    TaskbarMirror taskbar{progress, taskbarButton};  // the bar as the logic sees it
    FakeTransfer inet{log};
    FakeSignatures signatures;
    FakeMachines machines;
    FakeLauncher launcher{log};
    FakeHashing hashing{files};
    WindowEvents* form2Events = nullptr;
    updater::Services services{app,
                               clock,
                               boxes,
                               files,
                               folder,
                               processes,
                               form1Window,
                               taskbar,
                               taskbar,
                               inet,
                               signatures,
                               machines,
                               launcher,
                               hashing,
                               [this](WindowEvents& events) {
                                   auto window = std::make_unique<FakeWindow>(log, L"Form2");
                                   form2Window = window.get();
                                   form2Events = &events;
                                   log.push_back(L"load Form2");
                                   return window;
                               }};
    updater::Form1 form1{services};

    UpdaterRig() {
        auto& t = form1Window.texts;
        t[form1::Text1] = kRigUrl;
        t[form1::Text2] = L".\\";
        t[form1::Label4] = L"Ombrix Update";
        t[form1::Label5] = L"Ombrix";
        t[form1::Label7] = L"ombrix";
        files.folders.insert(kRigFolder);
        form1Window.onClose = [this] { form1.onClosed(); };
    }

    std::wstring path(const std::wstring& name) const {
        return std::wstring(kRigFolder) + L"\\" + name;
    }
    std::wstring status() { return form1Window.texts[form1::Label3]; }

    // Runs `step` and returns the exit code it ended the program with, or -1 when it returned.
    template <typename Step>
    int exitCodeOf(Step step) {
        try {
            step();
        } catch (const ExitRequested& e) {
            return e.code;
        }
        return -1;
    }

    // Serves `body` with an announced length (or none) and runs the run up to the hand-over.
    int download(const Bytes& body, std::optional<std::wstring> contentLength) {
        inet.body = body;
        if (contentLength) {
            inet.headers[L"Content-Length"] = *contentLength;
        }
        return exitCodeOf([&] {
            form1.Load();
            // Each request reports its states; the statement's response starts the program's.
            for (int handled = 0; handled < inet.executes; ++handled) {
                for (int state = 1; state <= 8; ++state) {
                    form1.onTransferState(static_cast<TransferState>(state));
                }
                form1.onTransferState(TransferState::ResponseCompleted);
            }
        });
    }
    int download(const Bytes& body) { return download(body, std::to_wstring(body.size())); }

    int tick() {
        return exitCodeOf([&] { form2Events->onTimer(form2::Timer1); });
    }
};

}  // namespace ombrix::fakes
