#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace ombrix::updater {

// Writes `bytes` to `path` whole or not at all: into `path` + ".new", renamed over `path` once
// closed. False (and no ".new" left) when that fails; whatever `path` held then stays.
bool WriteWholeFile(FileSystem& files, const std::wstring& path,
                    const std::vector<std::uint8_t>& bytes);

}  // namespace ombrix::updater
