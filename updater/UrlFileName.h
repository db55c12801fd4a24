#pragma once
#include <string>

namespace ombrix::updater {

// Everything after the last "/" of the URL, unchanged (the whole URL when it has none).
std::wstring FileNameFromUrl(const std::wstring& url);

// True when `name` can name a file in the program folder: not empty, no path separators or
// characters Windows forbids (a query part brings "?"), no reserved device name, no trailing
// blank or full stop.
bool IsUsableFileName(const std::wstring& name);

}  // namespace ombrix::updater
