#include "updater/VersionRecord.h"

#include "updater/PeImage.h"

namespace ombrix::updater {
namespace {

constexpr std::uint32_t kVersionType = 16;  // RT_VERSION
constexpr std::uint32_t kSubdirectory = 0x80000000u;
constexpr std::size_t kDirectorySize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::uint32_t kMaxEntries = 4096;
// VS_VERSIONINFO: three 16-bit fields, the key L"VS_VERSION_INFO" with its NUL, padding to a
// 32-bit boundary, then VS_FIXEDFILEINFO.
constexpr std::size_t kFixedInfoAt = 40;
constexpr std::size_t kFixedInfoUsed = 16;  // signature, structure version, file version
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

class Resources {
  public:
    Resources(FileSystem& files, const std::wstring& path, const PeImage& image)
        : files_(files), path_(path), image_(image) {}

    std::vector<std::uint8_t> read(std::uint32_t rva, std::uint32_t size) {
        const auto at = image_.fileOffsetOf(rva, size);
        if (!at) {
            return {};
        }
        auto bytes = files_.read(path_, *at, size);
        return bytes.size() == size ? bytes : std::vector<std::uint8_t>();
    }

    // The entries of the directory at `offset` (from the resource directory's start), as
    // (name, target) pairs.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries(std::uint32_t offset) {
        const auto directory = read(image_.resourcesRva + offset, kDirectorySize);
        if (directory.empty()) {
            return {};
        }
        const std::uint32_t count = Little(directory, 12, 2) + Little(directory, 14, 2);
        if (count == 0 || count > kMaxEntries) {
            return {};
        }
        const auto table = read(image_.resourcesRva + offset + kDirectorySize,
                                static_cast<std::uint32_t>(count * kEntrySize));
        std::vector<std::pair<std::uint32_t, std::uint32_t>> found;
        for (std::size_t at = 0; at < table.size(); at += kEntrySize) {
            found.emplace_back(Little(table, at, 4), Little(table, at + 4, 4));
        }
        return found;
    }

  private:
    FileSystem& files_;
    const std::wstring& path_;
    const PeImage& image_;
};

// The directory that a subdirectory entry points to, or nothing.
std::optional<std::uint32_t> Subdirectory(std::uint32_t target) {
    if ((target & kSubdirectory) == 0) {
        return std::nullopt;
    }
    return target & ~kSubdirectory;
}

}  // namespace

std::optional<std::uint64_t> FileVersionOf(FileSystem& files, const std::wstring& path) {
    const auto image = ReadPeImage(files, path);
    if (!image || image->resourcesSize == 0) {
        return std::nullopt;
    }
    Resources resources(files, path, *image);
    // Type, then name, then language; the first record is the one Windows shows.
    std::optional<std::uint32_t> names;
    for (const auto& [name, target] : resources.entries(0)) {
        if (name == kVersionType) {
            names = Subdirectory(target);
            break;
        }
    }
    if (!names) {
        return std::nullopt;
    }
    const auto byName = resources.entries(*names);
    if (byName.empty()) {
        return std::nullopt;
    }
    const auto languages = Subdirectory(byName.front().second);
    if (!languages) {
        return std::nullopt;
    }
    const auto byLanguage = resources.entries(*languages);
    if (byLanguage.empty() || Subdirectory(byLanguage.front().second)) {
        return std::nullopt;
    }
    const auto data = resources.read(image->resourcesRva + byLanguage.front().second, 8);
    if (data.empty()) {
        return std::nullopt;
    }
    const std::uint32_t recordRva = Little(data, 0, 4);
    const std::uint32_t recordSize = Little(data, 4, 4);
    if (recordSize < kFixedInfoAt + kFixedInfoUsed) {
        return std::nullopt;
    }
    const auto record =
        resources.read(recordRva, static_cast<std::uint32_t>(kFixedInfoAt + kFixedInfoUsed));
    if (record.empty() || Little(record, kFixedInfoAt, 4) != kFixedInfoSignature) {
        return std::nullopt;
    }
    return (std::uint64_t{Little(record, kFixedInfoAt + 8, 4)} << 32) |
           Little(record, kFixedInfoAt + 12, 4);
}

}  // namespace ombrix::updater
