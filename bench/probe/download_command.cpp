// The updater's download, timed from its start to the moment its status line first shows the
// final text; message boxes it asks meanwhile are answered, and the run is followed to its end
// so that the peak working set covers all of it.
#include <algorithm>
#include <optional>
#include <string>

#include "bench/probe/answer_watch.h"
#include "bench/probe/commands.h"
#include "bench/probe/thread_windows.h"
#include "bench/probe/watched_process.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/json_line.h"

namespace ombrix::bench {
namespace {

using automate::Args;
using automate::Failure;
using automate::JsonLine;
using automate::WindowQuery;

constexpr int kBoxTextId = 0xFFFF;
// Message boxes are looked for less often than the status line: a lookup reads every window
// of the thread. A run timed to its box asks for shorter intervals (--box-every MS).
constexpr double kBoxLookSeconds = 0.02;

struct ButtonName {
    const wchar_t* name;
    int id;
};
constexpr ButtonName kButtons[] = {{L"ok", IDOK}, {L"yes", IDYES}, {L"no", IDNO}};

int buttonId(const std::wstring& name) {
    for (const auto& button : kButtons) {
        if (name == button.name) {
            return button.id;
        }
    }
    throw Failure{automate::Usage, L"unknown button " + name};
}

// The text as the system keeps it for a window of another process: reading it sends nothing
// to the window, so a busy window cannot delay the moment it is seen.
std::wstring storedText(HWND window) {
    std::wstring text(512, L'\0');
    const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

struct Answer {
    std::wstring caption;
    std::wstring text;
    int button = 0;
};

// Presses `preferred` when the box has it (the question), else its OK button (a notice).
std::optional<Answer> answerBox(DWORD threadId, int preferred) {
    WindowQuery query;
    query.className = L"#32770";
    query.visibleOnly = true;
    HWND box = findThreadWindow(threadId, query);
    if (box == nullptr) {
        return std::nullopt;
    }
    HWND button = GetDlgItem(box, preferred);
    if (button == nullptr) {
        button = GetDlgItem(box, IDOK);
    }
    if (button == nullptr) {
        return std::nullopt;  // still being built
    }
    HWND text = GetDlgItem(box, kBoxTextId);
    Answer answer{automate::windowText(box), text ? automate::windowText(text) : L"",
                  GetDlgCtrlID(button)};
    if (answer.text.empty()) {
        return std::nullopt;  // its text is not set yet
    }
    PostMessageW(button, BM_CLICK, 0, 0);
    return answer;
}

}  // namespace

int downloadRun(const Args& args) {
    const std::wstring expected = args.required(L"text");
    const int statusId = static_cast<int>(args.number(L"id").value_or(0));
    const int preferred = buttonId(args.textOr(L"answer", L"no"));
    const auto boxEvery = args.number(L"box-every");
    const double boxLook = boxEvery ? static_cast<double>(*boxEvery) / 1000 : kBoxLookSeconds;
    WindowQuery mainWindow = WindowQuery::fromArgs(args);
    const automate::Deadline deadline(automate::timeoutOf(args, kDefaultTimeoutMs));

    WatchedProcess program(args);
    const DWORD thread = program.mainThreadId();
    HWND top = nullptr;
    HWND status = nullptr;
    std::optional<double> windowSeconds;
    std::optional<double> textSeconds;
    std::uint64_t peakAtText = 0;
    std::optional<Answer> answer;
    std::optional<double> boxSeconds;  // when the box was found, within one look's interval
    double lastBoxLook = 0;
    AnswerWatch answers;
    while (!program.waitEnd(1)) {
        program.sampleMemory(kMemorySampleMs);
        if (deadline.passed()) {
            program.terminate();
            throw Failure{automate::TimedOut, L"the program still runs after the timeout"};
        }
        if (top == nullptr) {
            top = findThreadWindow(thread, mainWindow);
        }
        if (top != nullptr && !windowSeconds && IsWindowVisible(top)) {
            windowSeconds = program.elapsedSeconds();
            answers.start(top);
        }
        if (top != nullptr && status == nullptr) {
            status = automate::findControl(top, statusId);
        } else if (status != nullptr && !textSeconds && storedText(status) == expected) {
            textSeconds = program.elapsedSeconds();
            peakAtText = program.peakWorkingSet();
            answers.markEnded();
        }
        if (!answer && program.elapsedSeconds() - lastBoxLook >= boxLook) {
            lastBoxLook = program.elapsedSeconds();
            answer = answerBox(thread, preferred);
            if (answer) {
                boxSeconds = program.elapsedSeconds();
            }
        }
    }

    const AnswerWatch::Waits waits = answers.stop();
    JsonLine line;
    line.addInt("pid", program.pid()).addInt("exit_code", program.exitCode().value_or(-1));
    const auto addTime = [&line](const char* key, const std::optional<double>& seconds) {
        if (seconds) {
            line.addInt(key, micros(*seconds));
        } else {
            line.addNull(key);
        }
    };
    addTime("us_to_window", windowSeconds);
    addTime("us_to_text", textSeconds);
    addTime("us_to_box", boxSeconds);
    addTime("us_first_answer", waits.first);
    addTime("us_slowest_answer", waits.slowest);
    addTime("us_end_answer", waits.atEnd);
    line.addInt("us_to_end", micros(program.endSeconds().value_or(0)))
        .addInt("peak_working_set", static_cast<std::int64_t>(program.peakWorkingSet()))
        .addInt("peak_working_set_at_text", static_cast<std::int64_t>(peakAtText));
    if (answer) {
        line.addText("box_caption", answer->caption)
            .addText("box_text", answer->text)
            .addInt("box_button", answer->button);
    } else {
        line.addNull("box_text");
    }
    automate::writeLine(line.str());
    return automate::Ok;
}

}  // namespace ombrix::bench
