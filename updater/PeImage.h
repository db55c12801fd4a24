#pragma once
// The headers of a Windows program file (PE image), as far as the updater looks at them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace ombrix::updater {

inline constexpr std::uint16_t kImageExecutable = 0x0002;  // IMAGE_FILE_EXECUTABLE_IMAGE
inline constexpr std::uint16_t kImageDll = 0x2000;         // IMAGE_FILE_DLL
inline constexpr std::uint16_t kPe32 = 0x10B;
inline constexpr std::uint16_t kPe32Plus = 0x20B;
inline constexpr std::uint16_t kSubsystemGui = 2;
inline constexpr std::uint16_t kSubsystemConsole = 3;

struct PeSection {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawAt = 0;
};

struct PeImage {
    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    std::uint16_t optionalMagic = 0;  // 0 without an optional header
    std::uint16_t subsystem = 0;
    std::vector<PeSection> sections;
    // Where the headers and the data of every section end in the file.
    std::uint64_t sectionsEnd = 0;
    // The resource directory (an address in the loaded image) and the certificate table (a
    // place in the file); size 0 when the image has none.
    std::uint32_t resourcesRva = 0;
    std::uint32_t resourcesSize = 0;
    std::uint32_t certificatesAt = 0;
    std::uint32_t certificatesSize = 0;

    // The file offset of `size` bytes at `rva`, when one section's file data holds them all.
    std::optional<std::uint64_t> fileOffsetOf(std::uint32_t rva, std::uint32_t size) const;
};

// The file's headers, or nothing when it does not start like a PE image ("MZ", then "PE\0\0"
// where the DOS header points, then a readable section table).
std::optional<PeImage> ReadPeImage(FileSystem& files, const std::wstring& path);

// Little-endian number of `width` bytes at `at`; the caller has checked the bounds.
std::uint32_t Little(const std::vector<std::uint8_t>& bytes, std::size_t at, int width);

}  // namespace ombrix::updater
