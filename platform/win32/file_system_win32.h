#pragma once
// Files and folders through the wide Win32 file API. Paths of any length and any characters
// work: every path is made absolute and given the extended-length prefix.
#include <windows.h>

#include <memory>

#include "platform/file_system.h"

namespace ombrix {

class Win32FileSystem : public FileSystem {
  public:
    bool folderExists(const std::wstring& path) override;
    bool createFolder(const std::wstring& path) override;
    bool fileExists(const std::wstring& path) override;
    // The file buffers writes (64 KiB) so that small writes do not each cost a system call;
    // its close() flushes and reports any failure, a full disk included.
    std::unique_ptr<OutputFile> createFile(const std::wstring& path) override;
    // Buffered likewise; made with CREATE_NEW and the private access (private_access_win32.h).
    std::unique_ptr<OutputFile> createPrivateFile(const std::wstring& path) override;
    NewFileResult createNew(const std::wstring& path) override;
    std::vector<std::uint8_t> read(const std::wstring& path, std::uint64_t offset,
                                   std::size_t size) override;
    bool deleteFile(const std::wstring& path) override;
    FileHold hold(const std::wstring& path) override;
    std::optional<FileFailure> copyFile(const std::wstring& source,
                                        const std::wstring& target) override;
    std::optional<FileFailure> moveFile(const std::wstring& from, const std::wstring& to) override;
    bool makeWritable(const std::wstring& path) override;
    // What GetDiskFreeSpaceEx reports as free for this user.
    std::optional<std::uint64_t> freeSpace(const std::wstring& folder) override;
    // Volume serial number and file index; CompareStringOrdinal ignoring case as the fallback.
    bool sameFile(const std::wstring& a, const std::wstring& b) override;
    bool sameName(const std::wstring& a, const std::wstring& b) override;
};

// The path in its extended-length form ("\\?\C:\...", "\\?\UNC\server\share\..."), absolute.
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace ombrix
