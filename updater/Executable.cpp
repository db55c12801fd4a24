#include "updater/Executable.h"

#include "updater/PeImage.h"

namespace ombrix::updater {
namespace {

bool Reaches(FileSystem& files, const std::wstring& path, std::uint64_t end) {
    return end == 0 || !files.read(path, end - 1, 1).empty();
}

std::uint16_t OptionalHeaderFor(std::uint16_t machine) {
    switch (machine) {
        case kMachineI386:
            return kPe32;
        case kMachineAmd64:
        case kMachineArm64:
            return kPe32Plus;
        default:
            return 0;  // no machine this updater installs programs for
    }
}

// A body cut short can still start with valid headers: the file must reach the end of every
// section's data, as the headers describe it.
bool Whole(FileSystem& files, const std::wstring& path, const std::optional<PeImage>& image) {
    return image && Reaches(files, path, image->sectionsEnd);
}

}  // namespace

bool IsWindowsExecutable(FileSystem& files, const std::wstring& path) {
    return Whole(files, path, ReadPeImage(files, path));
}

ProgramCheck CheckProgram(FileSystem& files, Machines& machines, const std::wstring& path) {
    const auto image = ReadPeImage(files, path);
    if (!Whole(files, path, image)) {
        return ProgramCheck::NotAProgram;
    }
    if (image->certificatesSize != 0 &&
        !Reaches(files, path, std::uint64_t{image->certificatesAt} + image->certificatesSize)) {
        return ProgramCheck::Incomplete;
    }
    const bool executable = (image->characteristics & kImageExecutable) != 0 &&
                            (image->characteristics & kImageDll) == 0;
    const bool windowsProgram =
        image->subsystem == kSubsystemGui || image->subsystem == kSubsystemConsole;
    const std::uint16_t magic = OptionalHeaderFor(image->machine);
    if (!executable || !windowsProgram || magic == 0 || image->optionalMagic != magic) {
        return ProgramCheck::NotAProgram;
    }
    return machines.runs(image->machine) ? ProgramCheck::Program : ProgramCheck::NotAProgram;
}

}  // namespace ombrix::updater
