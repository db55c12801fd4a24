#pragma once
// Fakes of the services the updater's logic uses. Each records what the logic did, in order,
// in one shared log, so that a test reads like the algorithm.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_registry.h"
#include "fakes/pe_bytes.h"
#include "updater/Services.h"

namespace ombrix::fakes {

using Bytes = std::vector<std::uint8_t>;

// Windows file names ignore letter case.
struct NoCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return Lower(a) < Lower(b);
    }
};

// What ends the process at once in the real program; tests catch it.
struct ExitRequested {
    int code;
};

using Log = std::vector<std::wstring>;

class FakeApp : public Application {
  public:
    explicit FakeApp(Log& log) : log_(log) {}
    bool otherInstance = false;
    int pumps = 0;
    // Events that arrive during a given pump (1-based), as a user or the system would cause.
    std::map<int, std::vector<std::function<void()>>> duringPump;

    bool anotherInstanceRunning() override { return otherInstance; }
    void pumpEvents() override {
        ++pumps;
        const auto due = duringPump.find(pumps);
        if (due != duringPump.end()) {
            auto events = std::move(due->second);
            duringPump.erase(due);
            for (auto& event : events) {
                event();
            }
        }
    }
    [[noreturn]] void exitNow(int code) override {
        log_.push_back(L"exit " + std::to_wstring(code));
        throw ExitRequested{code};
    }

  private:
    Log& log_;
};

class FakeClock : public Clock {
  public:
    std::uint64_t now = 0;
    int idles = 0;
    std::function<void()> onIdle;
    std::uint64_t nowMs() override { return now; }
    void idle(unsigned maxMs) override {
        ++idles;
        now += maxMs;
        if (onIdle) {
            onIdle();
        }
    }
};

class FakeBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::wstring text;
        std::optional<std::wstring> title;
        int style;
    };
    explicit FakeBoxes(Log& log) : log_(log) {}
    std::vector<Shown> shown;
    std::deque<int> answers;  // answers in order; OK (1) when none is left
    std::function<void()> whileOpen;

    int show(const std::wstring& text, const std::optional<std::wstring>& title,
             int style) override {
        log_.push_back(L"box " + text);
        shown.push_back({text, title, style});
        if (whileOpen) {
            auto event = std::move(whileOpen);
            whileOpen = nullptr;
            event();
        }
        if (answers.empty()) {
            return 1;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

  private:
    Log& log_;
};

class FakeFiles : public FileSystem {
  public:
    explicit FakeFiles(Log& log) : log_(log) {}
    std::map<std::wstring, Bytes, NoCaseLess> files;
    std::set<std::wstring, NoCaseLess> folders;
    std::set<std::wstring, NoCaseLess> unwritable;   // createFile fails
    std::set<std::wstring, NoCaseLess> undeletable;  // deleteFile fails
    std::optional<std::size_t> diskFullAfter;        // writes fail past this many bytes in a file
    // Copies and renames that touch the file fail as held by another program this many times.
    std::map<std::wstring, int, NoCaseLess> heldFor;
    std::optional<FileFailure> moveFailure;  // every rename fails so

    bool folderExists(const std::wstring& path) override { return folders.count(path) != 0; }
    bool createFolder(const std::wstring& path) override {
        log_.push_back(L"mkdir " + path);
        folders.insert(path);
        return true;
    }
    bool fileExists(const std::wstring& path) override { return files.count(path) != 0; }
    std::unique_ptr<OutputFile> createFile(const std::wstring& path) override {
        log_.push_back(L"create " + path);
        if (unwritable.count(path)) {
            return nullptr;
        }
        files[path].clear();
        return std::make_unique<File>(*this, path);
    }
    Bytes read(const std::wstring& path, std::uint64_t offset, std::size_t size) override {
        const auto file = files.find(path);
        if (file == files.end() || offset >= file->second.size()) {
            return {};
        }
        const auto begin = file->second.begin() + static_cast<std::ptrdiff_t>(offset);
        const auto count = std::min<std::size_t>(size, file->second.size() - offset);
        return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
    }
    bool deleteFile(const std::wstring& path) override {
        log_.push_back(L"delete " + path);
        if (undeletable.count(path) || holds[path] > 0) {
            return false;
        }
        return files.erase(path) != 0;
    }
    std::optional<FileFailure> copyFile(const std::wstring& source,
                                        const std::wstring& target) override {
        log_.push_back(L"copy " + source + L" -> " + target);
        if (held(source) || held(target)) {
            return FileFailure{L"Sharing violation.", true};
        }
        const auto file = files.find(source);
        if (file == files.end()) {
            return FileFailure{L"File not found."};
        }
        files[target] = file->second;
        return std::nullopt;
    }
    std::optional<FileFailure> moveFile(const std::wstring& from, const std::wstring& to) override {
        log_.push_back(L"move " + from + L" -> " + to);
        if (held(from) || held(to)) {
            return FileFailure{L"Sharing violation.", true};
        }
        if (moveFailure) {
            return moveFailure;
        }
        const auto file = files.find(from);
        if (file == files.end()) {
            return FileFailure{L"File not found."};
        }
        auto bytes = std::move(file->second);
        files.erase(file);
        files[to] = std::move(bytes);
        return std::nullopt;
    }
    bool sameFile(const std::wstring& a, const std::wstring& b) override { return sameName(a, b); }
    bool sameName(const std::wstring& a, const std::wstring& b) override {
        return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
    }

    // hold() finds the file in use this many more times (-1: always); fails for `unholdable`.
    std::map<std::wstring, int, NoCaseLess> inUseFor;
    std::set<std::wstring, NoCaseLess> unholdable;
    std::map<std::wstring, int, NoCaseLess> holds;  // open holds; a held file cannot be deleted
    int holdAttempts = 0;
    FileHold hold(const std::wstring& path) override {
        ++holdAttempts;
        if (auto busy = inUseFor.find(path); busy != inUseFor.end() && busy->second != 0) {
            busy->second -= busy->second > 0 ? 1 : 0;
            return {FileHold::Outcome::InUse, nullptr};
        }
        if (unholdable.count(path)) {
            return {FileHold::Outcome::Failed, nullptr};
        }
        if (!files.count(path)) {
            return {FileHold::Outcome::NotFound, nullptr};
        }
        return {FileHold::Outcome::Held, std::make_unique<Held>(*this, path)};
    }

    int openFiles = 0;

  private:
    class Held : public HeldFile {
      public:
        Held(FakeFiles& owner, std::wstring path) : owner_(owner), path_(std::move(path)) {
            ++owner_.holds[path_];
        }
        ~Held() override { --owner_.holds[path_]; }

      private:
        FakeFiles& owner_;
        std::wstring path_;
    };

    bool held(const std::wstring& path) {
        const auto found = heldFor.find(path);
        if (found == heldFor.end() || found->second == 0) {
            return false;
        }
        --found->second;
        return true;
    }

    class File : public OutputFile {
      public:
        File(FakeFiles& owner, std::wstring path) : owner_(owner), path_(std::move(path)) {
            ++owner_.openFiles;
        }
        ~File() override {
            if (open_) {
                --owner_.openFiles;
            }
        }
        bool write(const std::uint8_t* data, std::size_t size) override {
            auto& bytes = owner_.files[path_];
            if (owner_.diskFullAfter && bytes.size() + size > *owner_.diskFullAfter) {
                return false;
            }
            bytes.insert(bytes.end(), data, data + size);
            ++owner_.writes;
            return true;
        }
        bool close() override {
            if (open_) {
                open_ = false;
                --owner_.openFiles;
            }
            return true;
        }

      private:
        FakeFiles& owner_;
        std::wstring path_;
        bool open_ = true;
    };

  public:
    int writes = 0;

  private:
    Log& log_;
};

class FakeProcesses : public Processes {
  public:
    struct Proc {
        std::uint32_t id;
        std::wstring exeName;
        std::wstring imagePath;
        bool openable = true;
        bool running = true;
        int exitAfterChecks = 0;  // hasExited turns true only after this many looks
        std::vector<WindowId> windows;
        enum class Answer { Agrees, Refuses, Hangs } answer = Answer::Agrees;
        std::uint32_t exitStatus = 0;
    };
    explicit FakeProcesses(Log& log) : log_(log) {}
    std::vector<Proc> procs;
    bool snapshotFails = false;
    int snapshots = 0;
    int openHandles = 0;

    std::optional<std::vector<ProcessEntry>> snapshot() override {
        ++snapshots;
        if (snapshotFails) {
            return std::nullopt;
        }
        std::vector<ProcessEntry> entries;
        for (const auto& p : procs) {
            if (p.running) {
                entries.push_back({p.id, p.exeName});
            }
        }
        return entries;
    }
    std::unique_ptr<ProcessHandle> open(std::uint32_t id) override {
        for (auto& p : procs) {
            if (p.id == id && p.openable) {
                return std::make_unique<Handle>(*this, p);
            }
        }
        return nullptr;
    }
    std::vector<WindowId> windowsOf(std::uint32_t id) override {
        for (const auto& p : procs) {
            if (p.id == id && p.running) {
                return p.windows;
            }
        }
        return {};
    }
    bool askToEnd(WindowId window, unsigned) override {
        log_.push_back(L"ask " + std::to_wstring(window));
        Proc* p = owner(window);
        return p && p->answer == Proc::Answer::Agrees;
    }
    // A program told that the session ends saves and ends; one told it goes on stays.
    void tellEnd(WindowId window, bool ending, unsigned) override {
        log_.push_back(L"tell " + std::to_wstring(window) + (ending ? L" ending" : L" goes on"));
        if (Proc* p = owner(window); p && ending) {
            p->running = false;
        }
    }
    // Only a program that would end anyway closes when asked.
    void close(WindowId window) override {
        log_.push_back(L"close " + std::to_wstring(window));
        if (Proc* p = owner(window); p && p->answer == Proc::Answer::Agrees) {
            p->running = false;
        }
    }
    bool windowExists(WindowId window) override { return owner(window) != nullptr; }

    bool isRunning(std::uint32_t id) const {
        for (const auto& p : procs) {
            if (p.id == id) {
                return p.running;
            }
        }
        return false;
    }

  private:
    Proc* owner(WindowId window) {
        for (auto& p : procs) {
            if (p.running &&
                std::find(p.windows.begin(), p.windows.end(), window) != p.windows.end()) {
                return &p;
            }
        }
        return nullptr;
    }

    class Handle : public ProcessHandle {
      public:
        Handle(FakeProcesses& owner, Proc& proc) : owner_(owner), proc_(proc) {
            ++owner_.openHandles;
        }
        ~Handle() override { --owner_.openHandles; }
        std::optional<std::wstring> imagePath() override { return proc_.imagePath; }
        bool terminate(std::uint32_t) override {
            owner_.log_.push_back(L"terminate " + std::to_wstring(proc_.id));
            proc_.running = false;
            return true;
        }
        bool hasExited() override {
            if (proc_.exitAfterChecks > 0) {
                --proc_.exitAfterChecks;
                return false;
            }
            return !proc_.running;
        }
        std::optional<std::uint32_t> exitCode() override {
            return proc_.running ? std::nullopt : std::optional(proc_.exitStatus);
        }
        bool waitingForInput() override { return proc_.running; }

      private:
        FakeProcesses& owner_;
        Proc& proc_;
    };
    Log& log_;
};

class FakeWindow : public Window {
  public:
    FakeWindow(Log& log, std::wstring name) : log_(log), name_(std::move(name)) {}
    std::map<int, std::wstring> texts;
    std::map<int, int> pictureOf;  // image control -> the control whose picture it shows
    std::map<int, unsigned> timers;
    bool open = true;
    bool visible = false;
    int drags = 0;
    std::function<void()> onClose;

    std::wstring text(int control) override { return open ? texts[control] : L""; }
    void setText(int control, const std::wstring& text) override {
        if (!open) {
            log_.push_back(L"setText on closed " + name_);
            return;
        }
        texts[control] = text;
    }
    void showPictureOf(int target, int source) override { pictureOf[target] = source; }
    void beginDrag() override { ++drags; }
    void show() override { visible = true; }
    void hide() override { visible = false; }
    void close() override {
        log_.push_back(L"close " + name_);
        open = false;
        if (onClose) {
            onClose();
        }
    }
    void startTimer(int timer, unsigned ms) override {
        log_.push_back(L"timer on " + std::to_wstring(ms));
        timers[timer] = ms;
    }
    void stopTimer(int timer) override {
        log_.push_back(L"timer off");
        timers.erase(timer);
    }
    void blockSessionEnd(const std::optional<std::wstring>& reason) override {
        sessionBlock = reason;
    }
    std::optional<std::wstring> sessionBlock;

  private:
    Log& log_;
    std::wstring name_;
};

class FakeProgressBar : public ProgressBar {
  public:
    std::int32_t max = 100;
    std::int32_t val = 0;
    bool indeterminate = false;
    int updates = 0;
    void setMaximum(std::int32_t m) override { max = m; }
    std::int32_t maximum() override { return max; }
    void setValue(std::int32_t v) override {
        val = v;
        ++updates;
    }
    std::int32_t value() override { return val; }
    void setIndeterminate(bool on) override { indeterminate = on; }
};

class FakeTransfer : public Transfer {
  public:
    explicit FakeTransfer(Log& log) : log_(log) {}
    // One request's answer. The first request's is the fields below; each resume takes the
    // next of `resumes`, and gets no answer when none is left.
    struct Answer {
        bool answers = true;
        int status = 206;
        std::map<std::wstring, std::wstring> headers;
        Bytes body;
        bool breaksOff = false;
    };
    int status = 200;
    std::map<std::wstring, std::wstring> headers;
    Bytes body;
    bool breaksOff = false;  // the body stops early with an error instead of ending cleanly
    bool answers = true;
    std::deque<Answer> resumes;
    std::vector<std::wstring> resumeHeaders;  // what each resume asked with
    std::size_t delivered = 0;
    bool cancelled = false;
    int reads = 0;
    std::vector<std::wstring> requests;

    void execute(const std::wstring& url, const std::wstring& operation) override {
        log_.push_back(L"execute " + url + L" " + operation);
        requests.push_back(url);
    }
    void resume(const std::wstring& url, const std::wstring& requestHeaders) override {
        log_.push_back(L"resume " + url);
        requests.push_back(url);
        resumeHeaders.push_back(requestHeaders);
        Answer next;
        next.answers = false;
        if (!resumes.empty()) {
            next = std::move(resumes.front());
            resumes.pop_front();
        }
        answers = next.answers;
        status = next.answers ? next.status : 0;
        headers = std::move(next.headers);
        body = std::move(next.body);
        breaksOff = next.breaksOff || !next.answers;
        delivered = 0;
    }
    bool awaitResponse() override { return answers && !cancelled; }
    std::wstring header(const std::wstring& name) override {
        const auto h = headers.find(name);
        return h == headers.end() ? L"" : h->second;
    }
    int httpStatus() override { return status; }
    Bytes getChunk(std::size_t maxBytes) override {
        ++reads;
        if (cancelled) {
            return {};
        }
        const std::size_t n = std::min(maxBytes, body.size() - delivered);
        Bytes chunk(body.begin() + static_cast<std::ptrdiff_t>(delivered),
                    body.begin() + static_cast<std::ptrdiff_t>(delivered + n));
        delivered += n;
        return chunk;
    }
    bool bodyEnded() override { return delivered == body.size() && !breaksOff && !cancelled; }
    bool failed() override { return delivered == body.size() && breaksOff; }
    bool certificateRejected() override { return certRejected; }
    bool certRejected = false;
    void cancel() override {
        if (!cancelled) {
            log_.push_back(L"cancel transfer");
        }
        cancelled = true;
    }

  private:
    Log& log_;
};

// Starts programs that run on, or end at once with the next of `crashes`.
class FakeLauncher : public Launcher {
  public:
    explicit FakeLauncher(Log& log) : log_(log) {}
    LaunchContext ctx;
    std::optional<std::wstring> startFailure;
    bool shellStartFails = false;
    std::deque<std::optional<std::uint32_t>> crashes;  // per start; empty: it runs
    std::vector<std::wstring> started;

    LaunchContext context() override { return ctx; }
    Started start(const std::wstring& path, bool asShellUser) override {
        log_.push_back((asShellUser ? L"start as shell user " : L"start ") + path);
        if (startFailure || (asShellUser && shellStartFails)) {
            return {nullptr, startFailure.value_or(L"Privilege not held.")};
        }
        started.push_back(path);
        std::optional<std::uint32_t> crash;
        if (!crashes.empty()) {
            crash = crashes.front();
            crashes.pop_front();
        }
        return {std::make_unique<Process>(crash), L""};
    }

  private:
    class Process : public ProcessHandle {
      public:
        explicit Process(std::optional<std::uint32_t> status) : status_(status) {}
        std::optional<std::wstring> imagePath() override { return std::nullopt; }
        bool terminate(std::uint32_t) override { return false; }
        bool hasExited() override { return status_.has_value(); }
        std::optional<std::uint32_t> exitCode() override { return status_; }
        bool waitingForInput() override { return !status_; }

      private:
        std::optional<std::uint32_t> status_;
    };
    Log& log_;
};

// Signatures by file path; a file not listed is unsigned. Looked up ignoring letter case.
class FakeSignatures : public Signatures {
  public:
    std::map<std::wstring, Signature, NoCaseLess> byPath;
    std::vector<std::wstring> checked;
    Signature check(const std::wstring& path) override {
        checked.push_back(path);
        const auto found = byPath.find(path);
        return found == byPath.end() ? Signature{} : found->second;
    }
};

class FakeMachines : public Machines {
  public:
    std::set<std::uint16_t> runnable{kMachineI386, kMachineAmd64};
    bool runs(std::uint16_t machine) override { return runnable.count(machine) != 0; }
};

}  // namespace ombrix::fakes
