#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace ombrix::updater {

// The numeric file version of the program's version record (VS_FIXEDFILEINFO: the major,
// minor, build and revision numbers, 16 bits each, major first, so that a larger number is a
// later version), or nothing when the file carries no readable version record.
std::optional<std::uint64_t> FileVersionOf(FileSystem& files, const std::wstring& path);

}  // namespace ombrix::updater
