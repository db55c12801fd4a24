#include "updater/Executable.h"

#include <algorithm>
#include <cstdint>

namespace ombrix::updater {
namespace {

std::uint32_t Little(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetAt = 0x3C;
constexpr std::size_t kFileHeaderSize = 24;  // "PE\0\0" and the COFF file header
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kMaxSections = 96;

}  // namespace

bool IsWindowsExecutable(FileSystem& files, const std::wstring& path) {
    const auto dos = files.read(path, 0, kDosHeaderSize);
    if (dos.size() < kDosHeaderSize || dos[0] != 'M' || dos[1] != 'Z') {
        return false;
    }
    const std::uint64_t peOffset = Little(dos, kNewHeaderOffsetAt, 4);
    const auto header = files.read(path, peOffset, kFileHeaderSize);
    if (header.size() < kFileHeaderSize || header[0] != 'P' || header[1] != 'E' || header[2] != 0 ||
        header[3] != 0) {
        return false;
    }
    // A body cut short can still start with valid headers: the file must reach the end of
    // every section's data, as the headers describe it.
    const std::uint32_t sections = Little(header, 6, 2);
    const std::uint32_t optionalHeaderSize = Little(header, 20, 2);
    if (sections > kMaxSections) {
        return false;
    }
    const std::uint64_t tableAt = peOffset + kFileHeaderSize + optionalHeaderSize;
    const auto table = files.read(path, tableAt, sections * kSectionHeaderSize);
    if (table.size() < sections * kSectionHeaderSize) {
        return false;
    }
    std::uint64_t end = tableAt + table.size();
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::size_t entry = i * kSectionHeaderSize;
        const std::uint64_t rawSize = Little(table, entry + 16, 4);
        const std::uint64_t rawAt = Little(table, entry + 20, 4);
        if (rawSize != 0) {
            end = std::max(end, rawAt + rawSize);
        }
    }
    return !files.read(path, end - 1, 1).empty();
}

}  // namespace ombrix::updater
