#include "updater/Form1.h"

#include <vector>

#include "updater/DeltaUpdate.h"
#include "updater/DownloadChecks.h"
#include "platform/decimal_text.h"
#include "platform/http_response.h"
#include "updater/Executable.h"
#include "updater/Leftovers.h"
#include "updater/ProgressScale.h"
#include "updater/RecordText.h"
#include "updater/Resume.h"
#include "updater/Texts.h"
#include "updater/UrlFileName.h"
#include "updater/VersionRecord.h"
#include "updater/Wait.h"

namespace ombrix::updater {
namespace {
constexpr std::size_t kChunkSize = 1024;
constexpr int kWholeBodyStatus = 200;
constexpr int kPartialStatus = 206;
constexpr int kProxyLoginStatus = 407;
constexpr int kNotModifiedStatus = 304;
// In the download folder, which only those who may update the program folder can write to.
constexpr wchar_t kInstanceLockName[] = L"Update.lock";

// Thrown where the delta path fails, caught where it began: the run goes on with the program.
struct DeltaAbandoned {};

}  // namespace

Form1::Form1(Services& services) : s_(services), run_(services), form2_(run_), budget_(services) {}

std::wstring Form1::ProgramFile(const std::wstring& name) {
    return s_.folder.path() + L"\\" + name;
}

std::wstring Form1::DownloadFolder() {
    const std::wstring folder = ProgramFile(L"download");
    if (!s_.files.folderExists(folder)) {
        s_.files.createFolder(folder);
    }
    return folder;
}

void Form1::Load() {
    // A running updater of this folder holds the lock, so its download folder exists already:
    // making sure of it first creates nothing beside another instance.
    const InstanceClaim claim = s_.app.claimInstance(DownloadFolder() + L"\\" + kInstanceLockName);
    if (claim == InstanceClaim::AnotherRunning) {
        // No title of its own: the box bears the application's.
        run_.prompts.show(s_.form1.text(form1::Label4) + texts::kAlreadyRunningSuffix, std::nullopt,
                          kMbOk);
        s_.app.exitNow(kExitAnotherInstance);
    }
    if (claim == InstanceClaim::Failed) {
        // Nobody here may write to the program folder: no update could be saved.
        run_.fail(texts::kCannotSave);
    }
    // Only now: another updater may be in the middle of its install step.
    if (const auto kept = PutRightLeftovers(s_)) {
        // Nothing is installed over a product whose last good copy is not back yet.
        run_.fail(texts::kRollbackFailed + *kept);
    }
    StartDownload(s_.form1.text(form1::Text1));
}

void Form1::StartDownload(std::wstring url) {
    DownloadFolder();
    const std::wstring fileName = FileNameFromUrl(url);
    s_.form1.setText(form1::Text2, ProgramFile(fileName));
    if (!IsUsableFileName(fileName)) {
        run_.fail(texts::kInvalidAddress);
    }
    run_.phase = Phase::Downloading;
    url_ = url;
    if (!s_.releaseKeys.empty()) {
        // The signed statement first: it alone says what is newest, and nothing of the program
        // is asked for before it has been checked.
        request_ = Request::Statement;
        s_.inet1.execute(url + L".release", L"get", L"");
        return;
    }
    run_.record = InstalledRecordOf(s_);
    bodyUrl_ = url;
    s_.inet1.execute(url, L"get", QuietRequestHeaders(s_, run_.record));
}

void Form1::onTransferState(TransferState state) {
    const int number = static_cast<int>(state);
    if (number < static_cast<int>(TransferState::Resolving) ||
        number > static_cast<int>(TransferState::ResponseCompleted) || bodyComplete_) {
        return;
    }
    if (state == TransferState::ResponseCompleted) {
        if (run_.prompts.anyOpen()) {
            // Nothing is checked, closed or terminated before the user has answered the box.
            run_.responseHeld = true;
            return;
        }
        if (run_.phase == Phase::Downloading && request_ == Request::Statement) {
            if (!statementTaken_) {
                statementTaken_ = true;
                TakeStatement();
            }
            return;
        }
        if (run_.phase == Phase::Downloading && request_ == Request::Delta) {
            if (!deltaTaken_) {
                deltaTaken_ = true;
                TakeDelta();
            }
            return;
        }
        // The whole download runs inside this one call; a repeated report must not start it
        // again from a nested pump.
        if (run_.phase == Phase::Downloading && !run_.download && run_.partialPath.empty()) {
            DownloadBody();
        }
        return;
    }
    if (run_.phase != Phase::Starting && run_.phase != Phase::Downloading) {
        return;
    }
    if (state == TransferState::Error && request_ == Request::Delta && !deltaTaken_) {
        FallBackToProgram();  // the delta could not be had: the program can, or fails as such
        return;
    }
    s_.form1.setText(form1::Label3, texts::kStateTexts[number - 1]);
    if (state == TransferState::Error) {
        run_.fail(s_.inet1.certificateRejected() ? texts::kUntrustedServer : texts::kCannotConnect);
    }
}

void Form1::TakeStatement() {
    const int status = s_.inet1.httpStatus();
    if (status == kProxyLoginStatus) {
        run_.fail(texts::kProxyLogin);
    }
    const auto bytes =
        status == kWholeBodyStatus ? ReadSmallBody(s_.inet1, kMaxStatementBytes) : std::nullopt;
    const auto statement =
        bytes && s_.ecdsa != nullptr
            ? ReadReleaseStatement(*bytes, *s_.ecdsa, s_.releaseKeys, s_.form1.text(form1::Label7),
                                   s_.maxDownloadBytes)
            : std::nullopt;
    if (!statement) {
        run_.fail(texts::kBadSignature);
    }
    const std::wstring product = InstallFilesOf(s_).product;
    const auto installed = s_.hashing.sha256OfFile(product);
    switch (JudgeStatement(*statement, installed, FileVersionOf(s_.files, product))) {
        case StatementVerdict::AlreadyNewest:
            run_.fail(texts::kAlreadyNewest, kExitAlreadyNewest);
        case StatementVerdict::NotNewer:
            run_.fail(texts::kNotNewer);
        case StatementVerdict::Download:
            break;
    }
    statement_ = *statement;
    const FileHold held = s_.files.hold(product);
    delta_ = DeltaFor(*statement_, installed, held.file ? held.file->size() : std::nullopt,
                      s_.maxDeltaBytes);
    if (!delta_) {
        RequestProgram();
        return;
    }
    request_ = Request::Delta;
    DownloadFolder();
    deltaPath_ = InstallFilesOf(s_).delta;
    const std::string hex = DigestHex(delta_->from);
    bodyUrl_ = url_ + L".delta/" + std::wstring(hex.begin(), hex.end());
    s_.inet1.execute(bodyUrl_, L"get", L"");
}

void Form1::RequestProgram() {
    request_ = Request::Program;
    bodyUrl_ = url_;
    s_.inet1.execute(url_, L"get", L"");
}

void Form1::TakeDelta() {
    const std::wstring target = s_.form1.text(form1::Text2);
    try {
        TakeBody(deltaPath_);
        // The result goes where the program would have.
        run_.partialPath = target;
        if (!ApplyStatedDelta(s_, deltaPath_, *delta_, InstallFilesOf(s_).product, *statement_,
                              target)) {
            throw DeltaAbandoned{};
        }
        s_.files.deleteFile(deltaPath_);
        if (!HoldDownload(run_, target, &*statement_)) {
            throw DeltaAbandoned{};
        }
    } catch (const DeltaAbandoned&) {
        FallBackToProgram();
        return;
    }
    Finish(target);
}

void Form1::FallBackToProgram() {
    // Nothing is kept of a delta that failed, so nothing can go round again: this run takes
    // the whole program, once, as a run without a delta would.
    run_.discardPartial();
    if (s_.files.fileExists(deltaPath_)) {
        s_.files.deleteFile(deltaPath_);
    }
    delta_.reset();
    s_.progressBar1.setIndeterminate(false);
    s_.progressBar1.setValue(0);
    RequestProgram();
}

std::optional<std::uint64_t> Form1::StatedLength() const {
    if (delta_) {
        return delta_->size;
    }
    if (statement_) {
        return statement_->size;
    }
    return std::nullopt;
}

[[noreturn]] void Form1::FailBody(const std::wstring& message) {
    if (request_ == Request::Delta) {
        throw DeltaAbandoned{};
    }
    run_.fail(message);
}

void Form1::KeepValidators() {
    if (!statement_) {
        run_.record.delivered =
            Validators{s_.inet1.header(L"ETag"), s_.inet1.header(L"Last-Modified")};
        run_.record.deliveredDate = s_.inet1.header(L"Date");
    }
}

void Form1::DownloadBody() {
    const std::wstring target = s_.form1.text(form1::Text2);
    TakeBody(target);
    Finish(target);
}

void Form1::TakeBody(const std::wstring& target) {
    const int status = s_.inet1.httpStatus();
    if (status == kNotModifiedStatus && run_.record.asked) {
        // Nothing but the product in place: nothing is written or closed, the record stays.
        run_.fail(texts::kAlreadyNewest, kExitAlreadyNewest);
    }
    if (status == kProxyLoginStatus) {
        FailBody(texts::kProxyLogin);
    }
    if (status == kPartialStatus) {
        // Asked for the whole body, answered with a part (a broken cache): never the whole.
        FailBody(texts::kIncomplete);
    }
    if (status != kWholeBodyStatus) {
        FailBody(texts::kServerErrorPrefix + DecimalText(status) + texts::kServerErrorSuffix);
    }
    KeepValidators();
    auto announced = AnnouncedLength();

    // Made new, so nothing of an older download survives behind the body, and private, so
    // that no other user can open it and keep the checks from holding it.
    run_.download = s_.files.createPrivateFile(target);
    if (!run_.download) {
        FailBody(texts::kCannotSave);
    }
    run_.partialPath = target;
    ShowLength(announced);

    std::uint64_t written = 0;
    WriteChunks(written, announced);
    ResumeBrokenBody(target, written, announced);

    const bool closed = run_.download->close();
    run_.download.reset();
    if (!closed) {
        FailBody(texts::kCannotSave);
    }
    const bool complete = !s_.inet1.failed() && s_.inet1.bodyEnded() &&
                          (!announced || static_cast<std::uint64_t>(*announced) == written);
    if (!complete) {
        FailBody(texts::kIncomplete);
    }
    if (StatedLength() && written != *StatedLength()) {
        FailBody(texts::kBadSignature);
    }
    if (!announced) {
        const ProgressScale full(static_cast<std::int64_t>(written));
        s_.progressBar1.setIndeterminate(false);
        s_.progressBar1.setMaximum(full.maximum());
        s_.progressBar1.setValue(full.position(static_cast<std::int64_t>(written)));
    }
}

void Form1::Finish(const std::wstring& target) {
    bodyComplete_ = true;
    s_.form1.setText(form1::Label3, texts::kDownloadComplete);
    // The window answers, and shows the text, before the checks, which take a moment of their
    // own; what came while the file was closed waits no longer.
    s_.app.pumpEvents();

    // Checked before anything is terminated; the download stays held until it is copied.
    const ReleaseStatement* statement = statement_ ? &*statement_ : nullptr;
    if (!run_.heldDownload && !HoldDownload(run_, target, statement)) {
        run_.fail(texts::kBadSignature);
    }
    CheckDownload(run_, target, InstallFilesOf(s_).product, statement);
    run_.partialPath.clear();  // complete: from here on it is kept whatever happens
    run_.phase = Phase::Waiting;
    form2_.Show();
}

std::optional<std::int64_t> Form1::AnnouncedLength() {
    const LengthField field = ReadContentLength(s_.inet1.header(L"Content-Length"));
    if (!field.usable) {
        FailBody(texts::kIncomplete);  // where the body ends cannot be told
    }
    const auto stated = StatedLength();
    if (stated && field.length && static_cast<std::uint64_t>(*field.length) != *stated) {
        FailBody(texts::kBadSignature);  // not the stated body: nothing of it is written
    }
    budget_.restart();
    if (field.length) {
        // A delta's result and its copies take the room of the program.
        const std::uint64_t result = delta_ ? statement_->size : 0;
        CheckRoom(budget_.announced(static_cast<std::uint64_t>(*field.length) + result));
    }
    return field.length;
}

void Form1::CheckRoom(Room room) {
    if (room == Room::TooLarge) {
        FailBody(texts::kTooLarge);
    }
    if (room == Room::NoSpace) {
        FailBody(texts::kCannotSave);
    }
}

void Form1::WriteChunks(std::uint64_t& written, const std::optional<std::int64_t>& announced) {
    const ProgressScale scale(announced.value_or(0));
    const auto stated = StatedLength();
    std::vector<std::uint8_t> chunk;  // the chunk read last, replaced by each read
    s_.inet1.getChunkInto(kChunkSize, chunk);
    s_.app.pumpEvents();
    // One write, one read, one pump and one progress update per chunk. The loop ends with the
    // body (an empty read), or as soon as more arrived than was announced.
    while (!chunk.empty()) {
        if (!announced) {
            CheckRoom(budget_.grow(written, chunk.size()));
        }
        if (!run_.download->write(chunk.data(), chunk.size())) {
            FailBody(texts::kCannotSave);
        }
        written += chunk.size();
        if (stated && written > *stated) {
            FailBody(texts::kBadSignature);
        }
        s_.inet1.getChunkInto(kChunkSize, chunk);
        s_.app.pumpEvents();
        if (announced) {
            s_.progressBar1.setValue(scale.position(static_cast<std::int64_t>(written)));
            if (written > static_cast<std::uint64_t>(*announced)) {
                FailBody(texts::kIncomplete);
            }
        }
    }
}

void Form1::ShowLength(const std::optional<std::int64_t>& announced) {
    if (announced) {
        s_.progressBar1.setMaximum(ProgressScale(*announced).maximum());
    } else {
        s_.progressBar1.setIndeterminate(true);
    }
}

void Form1::ResumeBrokenBody(const std::wstring& target, std::uint64_t& written,
                             std::optional<std::int64_t>& announced) {
    const auto identity = [this] {
        return BodyIdentity{ReadContentLength(s_.inet1.header(L"Content-Length")).length,
                            s_.inet1.header(L"ETag"), s_.inet1.header(L"Last-Modified")};
    };
    BodyIdentity body = identity();
    // Only a body with a length can be seen to have broken off; without one its close is its
    // end.
    for (int resumes = 0;
         resumes < kMaxResumes && announced && written < static_cast<std::uint64_t>(*announced);
         ++resumes) {
        // The pause handles events, so the window answers and a cancel ends the run.
        PauseFor(s_.clock, ResumePauseMs(resumes));
        s_.inet1.resume(bodyUrl_, ResumeRequestHeaders(body, written));
        if (!s_.inet1.awaitResponse()) {
            continue;  // no answer this time: the next pause, or the end
        }
        const ResumeResponse response{s_.inet1.httpStatus(), s_.inet1.header(L"Content-Range"),
                                      s_.inet1.header(L"ETag"), s_.inet1.header(L"Last-Modified")};
        const ResumeStep step = DecideResume(body, written, response);
        if (step == ResumeStep::Incomplete) {
            return;
        }
        if (step == ResumeStep::Restart) {
            announced = AnnouncedLength();  // a new body, looked at as the first one was
            run_.download.reset();
            run_.download = s_.files.createPrivateFile(target);
            if (!run_.download) {
                FailBody(texts::kCannotSave);
            }
            written = 0;
            body = identity();
            KeepValidators();
            ShowLength(announced);
            s_.progressBar1.setValue(0);
        }
        WriteChunks(written, announced);
    }
}

void Form1::refreshSkin() {
    s_.form1.showPictureOf(form1::close1, form1::closenor);
}

void Form1::onMouseDown(int control, MouseButton button) {
    if (control == form1::close1) {
        s_.form1.showPictureOf(form1::close1, form1::closedown);
        return;
    }
    if ((control == form1::Label4 || control == form1::Picture1) && button == MouseButton::Left) {
        s_.form1.beginDrag();
    }
}

void Form1::onMouseMove(int control) {
    if (control == form1::close1) {
        s_.form1.showPictureOf(form1::close1, form1::closemove);
    } else if (control == form1::Picture1) {
        refreshSkin();
    }
}

void Form1::onClick(int control) {
    if (control == form1::close1) {
        ConfirmExit();
    } else if (control == form1::Command2) {
        EndCancelled();
    }
}

void Form1::onCloseRequest() {
    ConfirmExit();
}

void Form1::ConfirmExit() {
    if (run_.phase == Phase::Installing || run_.phase == Phase::Ended) {
        return;  // past the point of no return; the install step ends the run itself
    }
    const int answer = run_.prompts.show(s_.form1.text(form1::Label5) + texts::kConfirmExitSuffix,
                                         std::wstring(texts::kConfirmTitle), kMbYesNo);
    if (answer == kAnswerYes) {
        EndCancelled();
    }
    if (run_.responseHeld && !run_.prompts.anyOpen()) {
        run_.responseHeld = false;
        onTransferState(TransferState::ResponseCompleted);
    }
}

void Form1::EndCancelled() {
    if (run_.phase == Phase::Installing || run_.phase == Phase::Ended) {
        return;
    }
    // A partial download goes; a complete one waiting for the install step stays.
    run_.phase = Phase::Ended;
    s_.form1.close();
    run_.end(kExitCancelled);
}

bool Form1::onQueryEndSession() {
    return form2_.onQueryEndSession();
}

void Form1::onEndSession(bool ending) {
    form2_.onEndSession(ending);
}

void Form1::onClosed() {
    // Closed from outside (the system, another program): the same as a cancel.
    EndCancelled();
}

}  // namespace ombrix::updater
