#include "updater/PeImage.h"

#include <algorithm>

namespace ombrix::updater {
namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetAt = 0x3C;
constexpr std::size_t kFileHeaderSize = 24;  // "PE\0\0" and the COFF file header
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kMaxSections = 96;
constexpr std::size_t kSubsystemAt = 68;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kCertificateDirectory = 4;

// Where the optional header counts its data directories, and where they start.
struct DirectoryLayout {
    std::size_t countAt;
    std::size_t firstAt;
};

std::optional<DirectoryLayout> LayoutOf(std::uint16_t magic) {
    if (magic == kPe32) {
        return DirectoryLayout{92, 96};
    }
    if (magic == kPe32Plus) {
        return DirectoryLayout{108, 112};
    }
    return std::nullopt;
}

void ReadOptionalHeader(const std::vector<std::uint8_t>& header, PeImage& image) {
    if (header.size() < 2) {
        return;
    }
    image.optionalMagic = static_cast<std::uint16_t>(Little(header, 0, 2));
    const auto layout = LayoutOf(image.optionalMagic);
    if (!layout || header.size() < layout->firstAt) {
        return;
    }
    image.subsystem = static_cast<std::uint16_t>(Little(header, kSubsystemAt, 2));
    const std::uint32_t count = Little(header, layout->countAt, 4);
    const auto directory = [&](std::uint32_t index, std::uint32_t& first, std::uint32_t& size) {
        const std::size_t at = layout->firstAt + index * 8;
        if (index < count && at + 8 <= header.size()) {
            first = Little(header, at, 4);
            size = Little(header, at + 4, 4);
        }
    };
    directory(kResourceDirectory, image.resourcesRva, image.resourcesSize);
    directory(kCertificateDirectory, image.certificatesAt, image.certificatesSize);
}

}  // namespace

std::uint32_t Little(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

std::optional<std::uint64_t> PeImage::fileOffsetOf(std::uint32_t rva, std::uint32_t size) const {
    for (const PeSection& section : sections) {
        const std::uint64_t from = section.virtualAddress;
        if (rva >= from && std::uint64_t{rva} + size <= from + section.rawSize) {
            return std::uint64_t{section.rawAt} + (rva - from);
        }
    }
    return std::nullopt;
}

std::optional<PeImage> ReadPeImage(FileSystem& files, const std::wstring& path) {
    const auto dos = files.read(path, 0, kDosHeaderSize);
    if (dos.size() < kDosHeaderSize || dos[0] != 'M' || dos[1] != 'Z') {
        return std::nullopt;
    }
    const std::uint64_t peOffset = Little(dos, kNewHeaderOffsetAt, 4);
    const auto header = files.read(path, peOffset, kFileHeaderSize);
    if (header.size() < kFileHeaderSize || header[0] != 'P' || header[1] != 'E' || header[2] != 0 ||
        header[3] != 0) {
        return std::nullopt;
    }
    PeImage image;
    image.machine = static_cast<std::uint16_t>(Little(header, 4, 2));
    const std::uint32_t sections = Little(header, 6, 2);
    const std::uint32_t optionalHeaderSize = Little(header, 20, 2);
    image.characteristics = static_cast<std::uint16_t>(Little(header, 22, 2));
    if (sections > kMaxSections) {
        return std::nullopt;
    }
    const std::uint64_t optionalAt = peOffset + kFileHeaderSize;
    const auto optional = files.read(path, optionalAt, optionalHeaderSize);
    if (optional.size() < optionalHeaderSize) {
        return std::nullopt;
    }
    ReadOptionalHeader(optional, image);

    const std::uint64_t tableAt = optionalAt + optionalHeaderSize;
    const auto table = files.read(path, tableAt, sections * kSectionHeaderSize);
    if (table.size() < sections * kSectionHeaderSize) {
        return std::nullopt;
    }
    image.sectionsEnd = tableAt + table.size();
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::size_t entry = i * kSectionHeaderSize;
        PeSection section{Little(table, entry + 12, 4), Little(table, entry + 8, 4),
                          Little(table, entry + 16, 4), Little(table, entry + 20, 4)};
        if (section.rawSize != 0) {
            image.sectionsEnd =
                std::max(image.sectionsEnd, std::uint64_t{section.rawAt} + section.rawSize);
        }
        image.sections.push_back(section);
    }
    return image;
}

}  // namespace ombrix::updater
