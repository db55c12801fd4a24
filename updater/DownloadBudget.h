#pragma once
// No server can fill the disk: the download has a ceiling fixed at build time, and the program
// folder's volume must keep room for it, its copy beside the product and the backup of the old
// product, plus a reserve.
#include <cstddef>
#include <cstdint>

#include "updater/Services.h"

namespace ombrix::updater {

inline constexpr std::uint64_t kSpaceReserve = 1024 * 1024;
// A body without a length looks at the free space again after this many bytes.
inline constexpr std::uint64_t kSpaceStep = 1024 * 1024;

enum class Room { Fits, TooLarge, NoSpace };

class DownloadBudget {
  public:
    explicit DownloadBudget(Services& services) : s_(services) {}

    // Before the download file is created, for a body of the announced length.
    Room announced(std::uint64_t length);
    // Before a body without a length grows from `written` bytes by `more`.
    Room grow(std::uint64_t written, std::size_t more);
    // The body starts again from its first byte.
    void restart() { spaceFor_ = 0; }

  private:
    // Whether the volume has room for a body of `total` bytes of which `onDisk` are written.
    bool spaceFor(std::uint64_t total, std::uint64_t onDisk);

    Services& s_;
    std::uint64_t spaceFor_ = 0;  // the body may grow this far before the next look
};

}  // namespace ombrix::updater
