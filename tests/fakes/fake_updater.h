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
    std::optional<std::wstring> startFailure;
    std::vector<std::wstring> started;

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
    std::optional<std::wstring> startProgram(const std::wstring& path) override {
        log_.push_back(L"start " + path);
        started.push_back(path);
        return startFailure;
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
    std::optional<std::wstring> replaceFailure;

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
        if (undeletable.count(path)) {
            return false;
        }
        return files.erase(path) != 0;
    }
    std::optional<std::wstring> replaceWithCopy(const std::wstring& source,
                                                const std::wstring& target) override {
        log_.push_back(L"replace " + target + L" <- " + source);
        if (replaceFailure) {
            return replaceFailure;
        }
        const auto file = files.find(source);
        if (file == files.end()) {
            return std::wstring(L"file not found");
        }
        files[target] = file->second;
        return std::nullopt;
    }
    std::wstring lastErrorText() override { return L"fake error"; }

    int openFiles = 0;

  private:
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
    bool isRunning(std::uint32_t id) const {
        for (const auto& p : procs) {
            if (p.id == id) {
                return p.running;
            }
        }
        return false;
    }

  private:
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
    bool isOpen() override { return open; }
    void startTimer(int timer, unsigned ms) override {
        log_.push_back(L"timer on " + std::to_wstring(ms));
        timers[timer] = ms;
    }
    void stopTimer(int timer) override {
        log_.push_back(L"timer off");
        timers.erase(timer);
    }

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

// A minimal Windows executable image of `size` bytes (at least 0xC0 for a valid one): "MZ",
// the PE offset, "PE\0\0", one section whose data runs to the end of the file.
inline Bytes ExecutableBytes(std::size_t size, std::uint8_t fill = 0x5A) {
    Bytes bytes(size, fill);
    if (size < 0xC0) {
        return bytes;
    }
    const auto put = [&](std::size_t at, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put(0x3C, 0x80, 4);
    bytes[0x80] = 'P';
    bytes[0x81] = 'E';
    put(0x82, 0, 2);
    put(0x86, 1, 2);                                             // one section
    put(0x94, 0, 2);                                             // no optional header
    put(0x98 + 16, static_cast<std::uint32_t>(size - 0xC0), 4);  // its data's size
    put(0x98 + 20, 0xC0, 4);                                     // and place
    return bytes;
}

}  // namespace ombrix::fakes
