#pragma once
// Program files with real PE headers, for the checks that read them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/machines.h"

namespace ombrix::fakes {

using Bytes = std::vector<std::uint8_t>;

struct PeOptions {
    std::uint16_t machine = kMachineI386;
    std::uint16_t magic = 0x10B;            // PE32; 0x20B for PE32+
    std::uint16_t characteristics = 0x102;  // an executable for 32-bit machines
    std::uint16_t subsystem = 2;            // Windows GUI
    std::optional<std::uint64_t> version;   // a version record with this file version
    std::size_t certificates = 0;           // bytes of certificate table at the end of the file
};

// A program of `size` bytes (at least 0x300 for a valid one): headers, a code section filled
// with `fill` up to the optional version record's section and the certificate table.
inline Bytes PeBytes(std::size_t size, std::uint8_t fill, const PeOptions& o = {}) {
    constexpr std::size_t kHeaders = 0x200;
    constexpr std::size_t kResources = 0x100;
    constexpr std::uint32_t kCodeRva = 0x1000;
    constexpr std::uint32_t kResourceRva = 0x100000;
    Bytes bytes(size, fill);
    const std::size_t resources = o.version ? kResources : 0;
    if (size < kHeaders + resources + o.certificates + 1) {
        return bytes;
    }
    std::fill(bytes.begin(), bytes.begin() + kHeaders, 0);
    const auto put = [&](std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    const bool plus = o.magic == 0x20B;
    const std::size_t optionalSize = plus ? 240 : 224;
    const std::size_t directories = 0x98 + (plus ? 112 : 96);
    const std::size_t table = 0x98 + optionalSize;
    const std::size_t codeSize = size - kHeaders - resources - o.certificates;
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put(0x3C, 0x80, 4);
    bytes[0x80] = 'P';
    bytes[0x81] = 'E';
    put(0x84, o.machine, 2);
    put(0x86, o.version ? 2 : 1, 2);  // sections
    put(0x94, optionalSize, 2);
    put(0x96, o.characteristics, 2);
    put(0x98, o.magic, 2);
    put(0x98 + 68, o.subsystem, 2);
    put(directories - 4, 16, 4);  // data directories
    put(table + 8, codeSize, 4);
    put(table + 12, kCodeRva, 4);
    put(table + 16, codeSize, 4);
    put(table + 20, kHeaders, 4);
    if (o.certificates != 0) {
        put(directories + 4 * 8, size - o.certificates, 4);
        put(directories + 4 * 8 + 4, o.certificates, 4);
    }
    if (o.version) {
        const std::size_t at = kHeaders + codeSize;
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + kResources), 0);
        put(directories + 2 * 8, kResourceRva, 4);
        put(directories + 2 * 8 + 4, 0xB4, 4);
        put(table + 40 + 8, kResources, 4);
        put(table + 40 + 12, kResourceRva, 4);
        put(table + 40 + 16, kResources, 4);
        put(table + 40 + 20, at, 4);
        // Type 16 (version) -> name 1 -> language 0x804 -> the record.
        put(at + 0x0E, 1, 2);
        put(at + 0x10, 16, 4);
        put(at + 0x14, 0x80000018u, 4);
        put(at + 0x18 + 0x0E, 1, 2);
        put(at + 0x28, 1, 4);
        put(at + 0x2C, 0x80000030u, 4);
        put(at + 0x30 + 0x0E, 1, 2);
        put(at + 0x40, 0x804, 4);
        put(at + 0x44, 0x48, 4);
        put(at + 0x48, kResourceRva + 0x58, 4);
        put(at + 0x4C, 92, 4);
        const std::size_t record = at + 0x58;
        put(record, 92, 2);
        put(record + 2, 52, 2);
        const char16_t key[] = u"VS_VERSION_INFO";
        for (std::size_t i = 0; key[i] != 0; ++i) {
            put(record + 6 + 2 * i, key[i], 2);
        }
        put(record + 40, 0xFEEF04BD, 4);
        put(record + 44, 0x10000, 4);
        put(record + 48, *o.version >> 32, 4);
        put(record + 52, *o.version & 0xFFFFFFFFu, 4);
    }
    return bytes;
}

// A plain 32-bit Windows GUI program of `size` bytes.
inline Bytes ExecutableBytes(std::size_t size, std::uint8_t fill = 0x5A) {
    return PeBytes(size, fill);
}

// A file version as the version record writes it: major.minor.build.revision.
constexpr std::uint64_t Version(std::uint16_t major, std::uint16_t minor, std::uint16_t build = 0,
                                std::uint16_t revision = 0) {
    return (std::uint64_t{major} << 48) | (std::uint64_t{minor} << 32) |
           (std::uint64_t{build} << 16) | revision;
}

}  // namespace ombrix::fakes
