// Writes one registry value and ends, showing nothing: the yardstick for the registrar's whole
// run. The value goes below HKEY_CLASSES_ROOT, where the registrar writes too.
#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace {

constexpr wchar_t kValue[] = L"OmbrixBench";

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L".ombrixbench", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    const ombrix::unique_hkey key(opened);
    const LONG result = RegSetValueExW(key.get(), nullptr, 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(kValue), sizeof kValue);
    return result == ERROR_SUCCESS ? 0 : 1;
}
