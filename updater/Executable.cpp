#include "updater/Executable.h"

#include <cstdint>

namespace ombrix::updater {

bool IsWindowsExecutable(FileSystem& files, const std::wstring& path) {
    constexpr std::size_t kDosHeaderSize = 64;
    constexpr std::size_t kNewHeaderOffsetAt = 0x3C;
    const auto dos = files.read(path, 0, kDosHeaderSize);
    if (dos.size() < kDosHeaderSize || dos[0] != 'M' || dos[1] != 'Z') {
        return false;
    }
    std::uint32_t peOffset = 0;
    for (int i = 3; i >= 0; --i) {
        peOffset = (peOffset << 8) | dos[kNewHeaderOffsetAt + i];
    }
    const auto signature = files.read(path, peOffset, 4);
    return signature == std::vector<std::uint8_t>{'P', 'E', 0, 0};
}

}  // namespace ombrix::updater
