#include "updater/WholeFile.h"

namespace ombrix::updater {

bool WriteWholeFile(FileSystem& files, const std::wstring& path,
                    const std::vector<std::uint8_t>& bytes) {
    const std::wstring partial = path + L".new";
    auto file = files.createFile(partial);
    const bool written = file && file->write(bytes.data(), bytes.size()) && file->close();
    file.reset();
    if (!written || files.moveFile(partial, path)) {
        files.deleteFile(partial);
        return false;
    }
    return true;
}

}  // namespace ombrix::updater
