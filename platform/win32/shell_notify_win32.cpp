#include "platform/win32/shell_notify_win32.h"

#include <windows.h>
#include <shlobj.h>

namespace ombrix {
namespace {
// Longest wait for one window; a hung window is skipped at once.
constexpr UINT kPerWindowTimeoutMs = 5000;
}  // namespace

void Win32ShellNotifier::broadcastSettingChange() {
    static const wchar_t kNoSection[] = L"";
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kNoSection),
                        SMTO_ABORTIFHUNG | SMTO_NORMAL, kPerWindowTimeoutMs, &result);
}

void Win32ShellNotifier::notifyAssociationsChanged() {
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace ombrix
