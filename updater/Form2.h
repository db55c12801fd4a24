#pragma once
#include <memory>
#include <string>
#include <vector>

#include "updater/Run.h"

namespace ombrix::updater {

// The install window's logic: closes the running product (asking first), then, on its timer,
// replaces the product executable with the download, offers to start it and watches its start.
class Form2 : public WindowEvents {
  public:
    // How long the product is given to close when asked.
    static constexpr unsigned kCloseWaitMs = 15000;
    // How long the install step waits for terminated processes to release their executable.
    static constexpr unsigned kExitWaitMs = 5000;
    // A tick that came under an open message box is retried this soon after.
    static constexpr unsigned kHeldTickRetryMs = 100;

    explicit Form2(Run& run) : run_(run), s_(run.s) {}

    // Loads the window on first use (running the load handler), then shows it.
    void Show();
    void Load();
    // Terminates every process of this name (letter case ignored) whose executable is the
    // program folder's copy: an installation elsewhere is not the one being replaced.
    void KillProcessByName(const std::wstring& name);

    void onTimer(int timer) override;
    void onClosed() override;
    // From the closing of the product to the end of the replace the session is asked to wait;
    // when it ends anyway, the replace is finished first.
    bool onQueryEndSession() override;
    void onEndSession(bool ending) override;

  private:
    void KillPasses();
    void Install();
    void Relaunch();
    [[noreturn]] void EndInstalled();
    [[noreturn]] void FinishForSessionEnd();
    bool ReplaceUnderWay() const;
    std::wstring ProgramFile(const std::wstring& name) { return s_.folder.path() + L"\\" + name; }

    Run& run_;
    Services& s_;
    std::unique_ptr<Window> window_;
    std::vector<std::unique_ptr<ProcessHandle>> terminated_;
    bool started_ = false;
    // Set once the product is closed and the kill passes are over: the timer counts from there.
    bool armed_ = false;
};

}  // namespace ombrix::updater
