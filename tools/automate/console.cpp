#include "tools/automate/console.h"

#include <windows.h>

#include "tools/automate/json_line.h"

namespace ombrix::automate {
namespace {

void writeBytes(DWORD which, const std::string& bytes) {
    HANDLE out = GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        return;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

}  // namespace

void writeLine(const std::string& utf8) {
    writeBytes(STD_OUTPUT_HANDLE, utf8 + "\n");
}

void writeError(const std::wstring& message) {
    writeBytes(STD_ERROR_HANDLE, "automate: " + toUtf8(message) + "\n");
}

}  // namespace ombrix::automate
