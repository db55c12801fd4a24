#pragma once
// Files and folders of the program folder.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

// A file open for writing; closed (without error report) when the object goes away.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // Appends the bytes after the last byte written.
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    virtual bool close() = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool folderExists(const std::wstring& path) = 0;
    virtual bool createFolder(const std::wstring& path) = 0;
    virtual bool fileExists(const std::wstring& path) = 0;
    // Creates the file empty (an existing one is truncated). Null on failure.
    virtual std::unique_ptr<OutputFile> createFile(const std::wstring& path) = 0;
    // Up to `size` bytes from `offset`; shorter at the end of the file, empty on failure.
    virtual std::vector<std::uint8_t> read(const std::wstring& path, std::uint64_t offset,
                                           std::size_t size) = 0;
    virtual bool deleteFile(const std::wstring& path) = 0;
    // Replaces `target` by a copy of `source` atomically: through a temporary file in the
    // target's folder renamed over it. On failure the target keeps its old content (or stays
    // absent), no temporary file is left, and the system's reason is returned.
    virtual std::optional<std::wstring> replaceWithCopy(const std::wstring& source,
                                                        const std::wstring& target) = 0;
};

}  // namespace ombrix
