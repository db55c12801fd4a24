#include "platform/win32/taskbar_win32.h"

namespace ombrix {
namespace {

constexpr CLSID kTaskbarListClass{
    0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};

TBPFLAG FlagOf(TaskbarProgress::State state) {
    switch (state) {
        case TaskbarProgress::State::Indeterminate:
            return TBPF_INDETERMINATE;
        case TaskbarProgress::State::Normal:
            return TBPF_NORMAL;
        case TaskbarProgress::State::Error:
            return TBPF_ERROR;
        case TaskbarProgress::State::None:
            break;
    }
    return TBPF_NOPROGRESS;
}

}  // namespace

ITaskbarList3* Win32TaskbarProgress::taskbar() {
    if (!tried_) {
        tried_ = true;
        unique_com<ITaskbarList3> made;
        if (SUCCEEDED(CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER,
                                       __uuidof(ITaskbarList3),
                                       reinterpret_cast<void**>(made.put()))) &&
            SUCCEEDED(made.get()->HrInit())) {
            taskbar_ = std::move(made);
        }
    }
    return taskbar_.get();
}

void Win32TaskbarProgress::setState(State state) {
    HWND window = window_();
    if (ITaskbarList3* list = window ? taskbar() : nullptr) {
        list->SetProgressState(window, FlagOf(state));
    }
}

void Win32TaskbarProgress::setValue(std::uint64_t done, std::uint64_t total) {
    HWND window = window_();
    if (ITaskbarList3* list = window ? taskbar() : nullptr) {
        list->SetProgressValue(window, done, total);
    }
}

}  // namespace ombrix
