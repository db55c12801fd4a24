#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "updater/Controls.h"
#include "updater/DownloadBudget.h"
#include "updater/Form2.h"
#include "updater/ReleaseStatement.h"
#include "updater/Run.h"

namespace ombrix::updater {

// The main window's logic: start-up, the transfer states and the download, and the chrome.
class Form1 : public WindowEvents, public TransferEvents {
  public:
    explicit Form1(Services& services);

    // The load handler: the previous-instance test, then the download request.
    void Load();
    void StartDownload(std::wstring url);
    // The close button's normal look.
    void refreshSkin();

    void onTransferState(TransferState state) override;
    void onMouseDown(int control, MouseButton button) override;
    void onMouseMove(int control) override;
    void onClick(int control) override;
    // Esc and Alt+F4 are the close button.
    void onCloseRequest() override;
    void onClosed() override;
    bool onQueryEndSession() override;
    void onEndSession(bool ending) override;

    Phase phase() const { return run_.phase; }

  private:
    // What the request under way asks for.
    enum class Request { Statement, Delta, Program };

    // The statement's response is in: read, checked and judged before the program (or a delta
    // from the installed bytes) is asked for.
    void TakeStatement();
    void RequestProgram();
    // The delta's response is in: downloaded, applied to the installed bytes and checked as the
    // program would be; on any failure the same run takes the whole program instead.
    void TakeDelta();
    void FallBackToProgram();
    // The program's response is in.
    void DownloadBody();
    // Takes the response's body into `target`, complete; a refusal ends the run, or with a delta
    // falls back to the program.
    void TakeBody(const std::wstring& target);
    // The complete download at `target`: the checks, then the install window.
    void Finish(const std::wstring& target);
    [[noreturn]] void FailBody(const std::wstring& message);
    // The length the body under way must have, where the statement names it.
    std::optional<std::uint64_t> StatedLength() const;
    // Keeps the validators the response came with, for the record of an unsigned build.
    void KeepValidators();
    void WriteChunks(std::uint64_t& written, const std::optional<std::int64_t>& announced);
    // The response's announced length, once it is known to be usable, within the ceiling and
    // with room on the volume; ends the run otherwise.
    std::optional<std::int64_t> AnnouncedLength();
    void CheckRoom(Room room);
    void ShowLength(const std::optional<std::int64_t>& announced);
    // Goes on with a body that broke off before its announced length, from the file's end or
    // from byte 0; returns when it is complete, or when it cannot go on.
    void ResumeBrokenBody(const std::wstring& target, std::uint64_t& written,
                          std::optional<std::int64_t>& announced);
    void ConfirmExit();
    void EndCancelled();
    std::wstring ProgramFile(const std::wstring& name);
    // The program folder's download folder, created when missing.
    std::wstring DownloadFolder();

    Services& s_;
    Run run_;
    Form2 form2_;
    DownloadBudget budget_;
    std::wstring url_;      // the update URL
    std::wstring bodyUrl_;  // what the request under way asks for, asked again for a resume
    Request request_ = Request::Program;
    bool statementTaken_ = false;
    bool deltaTaken_ = false;
    // The signed statement the download must match; none in a build without release keys.
    std::optional<ReleaseStatement> statement_;
    // The delta under way, and where it is downloaded to.
    std::optional<StatedDelta> delta_;
    std::wstring deltaPath_;
    // The body is in and shown as done: the transfer's last reports change nothing any more.
    bool bodyComplete_ = false;
};

}  // namespace ombrix::updater
