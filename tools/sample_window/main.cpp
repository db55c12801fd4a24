// A small frameless window with nested controls, shaped like the updater's main window, on
// which the tests check the automation tool itself: control IDs at any depth, Chinese texts,
// a progress bar with a large range, a marquee bar, a button that asks a question, a panel
// that can be dragged and that answers a right click.
#include <windows.h>
#include <commctrl.h>

namespace ombrix {
namespace {

enum Control : int {
    Cancel = 1002,
    PathField = 1003,
    Panel = 1005,
    Progress = 1006,
    HiddenName = 1007,
    Status = 1015,
    Marquee = 1020,
};

constexpr wchar_t kClassName[] = L"OmbrixSampleWindow";
constexpr wchar_t kCaption[] = L"Ombrix 示例窗口";
constexpr UINT_PTR kPanelSubclass = 1;

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y,
           int width, int height, int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void setStatus(HWND window, const wchar_t* text) {
    SetWindowTextW(GetDlgItem(GetDlgItem(window, Panel), Status), text);
}

// The panel moves the window like a title bar, as the updater's skinned panel does.
LRESULT CALLBACK panelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR) {
    if (message == WM_LBUTTONDOWN) {
        ReleaseCapture();
        SendMessageW(GetParent(panel), WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    }
    if (message == WM_RBUTTONDOWN) {
        setStatus(GetParent(panel), L"右键");
        return 0;
    }
    return DefSubclassProc(panel, message, wParam, lParam);
}

void createControls(HWND window) {
    HWND panel = child(window, L"Static", L"", WS_VISIBLE | SS_NOTIFY, 0, 0, 345, 113, Panel);
    SetWindowSubclass(panel, panelProc, kPanelSubclass, 0);
    HWND bar = child(panel, PROGRESS_CLASSW, L"", WS_VISIBLE, 16, 48, 305, 17, Progress);
    SendMessageW(bar, PBM_SETRANGE32, 0, 5000000);
    SendMessageW(bar, PBM_SETPOS, 1500000, 0);
    HWND marquee =
        child(panel, PROGRESS_CLASSW, L"", WS_VISIBLE | PBS_MARQUEE, 16, 30, 100, 10, Marquee);
    SendMessageW(marquee, PBM_SETMARQUEE, TRUE, 50);
    child(panel, L"Static", L"正在下载所需文件，请耐心等待 ......", WS_VISIBLE, 16, 72, 305, 17,
          Status);
    child(panel, L"Static", L"ombrix", 0, 160, 32, 65, 17, HiddenName);
    child(window, L"Edit", L".\\", WS_VISIBLE | WS_TABSTOP | WS_BORDER, 208, 200, 233, 18,
          PathField);
    child(window, L"Button", L"取消下载", WS_VISIBLE | WS_TABSTOP, 320, 232, 65, 33, Cancel);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls(window);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == Cancel) {
                const int answer = MessageBoxW(window, L"你确定要退出吗？", L"提示：",
                                               MB_YESNO | MB_ICONINFORMATION);
                setStatus(window, answer == IDYES ? L"是" : L"否");
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace
}  // namespace ombrix

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSW cls{};
    cls.lpfnWndProc = ombrix::windowProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = ombrix::kClassName;
    RegisterClassW(&cls);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, ombrix::kClassName,
                                  ombrix::kCaption, WS_POPUP, 211, 218, 340, 100, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    SetFocus(GetDlgItem(window, ombrix::PathField));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
