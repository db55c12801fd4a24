#include "updater/DownloadBudget.h"

namespace ombrix::updater {

Room DownloadBudget::announced(std::uint64_t length) {
    if (length > s_.maxDownloadBytes) {
        return Room::TooLarge;
    }
    return spaceFor(length, 0) ? Room::Fits : Room::NoSpace;
}

Room DownloadBudget::grow(std::uint64_t written, std::size_t more) {
    const std::uint64_t total = written + more;
    if (total > s_.maxDownloadBytes) {
        return Room::TooLarge;
    }
    if (total <= spaceFor_) {
        return Room::Fits;
    }
    if (!spaceFor(written + kSpaceStep, written)) {
        return Room::NoSpace;
    }
    spaceFor_ = written + kSpaceStep;
    return Room::Fits;
}

bool DownloadBudget::spaceFor(std::uint64_t total, std::uint64_t onDisk) {
    const auto free = s_.files.freeSpace(s_.folder.path());
    if (!free) {
        return true;  // a volume that does not tell is left to the writes' own failures
    }
    // The download, its copy beside the product and the backup, each about as large.
    const std::uint64_t needed = 3 * total + kSpaceReserve;
    return onDisk >= needed || *free >= needed - onDisk;
}

}  // namespace ombrix::updater
