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

// A file held open for reading: others may still read it, but neither change, rename nor delete
// it while this object lives.
class HeldFile {
  public:
    virtual ~HeldFile() = default;
    // The file's length; nothing when it cannot be told.
    virtual std::optional<std::uint64_t> size() = 0;
    // Up to `size` bytes from `offset`, read through the hold itself; shorter at the end of the
    // file, empty on failure.
    virtual std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t size) = 0;
};

// Why a file operation failed: the system's reason, and whether another program held the file
// (sharing or lock violation, access denied), which may pass.
struct FileFailure {
    std::wstring reason;
    bool held = false;
};

// A file this program created new and holds open: others may read it, but neither write,
// rename nor delete it while this object lives. Closed when the object goes away; the file
// stays under the name it has then.
class NewFile {
  public:
    virtual ~NewFile() = default;
    // Appends the bytes after the last byte written.
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    // Everything written is on the disk.
    virtual bool flush() = 0;
    // Renames the file, still held, over `target` (replaced when it exists) on the same volume,
    // written through to the disk.
    virtual std::optional<FileFailure> renameOver(const std::wstring& target) = 0;
};

struct NewFileResult {
    std::unique_ptr<NewFile> file;  // set when created
    FileFailure failure;            // why not, otherwise
};

struct FileHold {
    enum class Outcome {
        Held,
        NotFound,
        InUse,   // another program has it open in a way that excludes ours; may pass later
        Failed,  // any other reason (no right to read it, say)
    };
    Outcome outcome = Outcome::Failed;
    std::unique_ptr<HeldFile> file;  // set when held
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool folderExists(const std::wstring& path) = 0;
    virtual bool createFolder(const std::wstring& path) = 0;
    virtual bool fileExists(const std::wstring& path) = 0;
    // Creates the file empty (an existing one is truncated). Null on failure.
    virtual std::unique_ptr<OutputFile> createFile(const std::wstring& path) = 0;
    // Creates the file empty as createFile does, but with an access of its own: full access for
    // the system, the administrators and this program's account, none for anyone else, so that
    // no other user can open it at all. An existing file is removed first (it would keep its
    // own access); null when it cannot be, or on any other failure.
    virtual std::unique_ptr<OutputFile> createPrivateFile(const std::wstring& path) = 0;
    // Creates the file where no file (nor link) of that name exists, and holds it; fails
    // otherwise.
    virtual NewFileResult createNew(const std::wstring& path) = 0;
    // Up to `size` bytes from `offset`; shorter at the end of the file, empty on failure.
    virtual std::vector<std::uint8_t> read(const std::wstring& path, std::uint64_t offset,
                                           std::size_t size) = 0;
    virtual bool deleteFile(const std::wstring& path) = 0;
    // Opens the file for reading, sharing only reading with others.
    virtual FileHold hold(const std::wstring& path) = 0;
    // Copies `source` to `target` (replaced when it exists) and flushes the copy to the disk.
    // On failure no partial target is left.
    virtual std::optional<FileFailure> copyFile(const std::wstring& source,
                                                const std::wstring& target) = 0;
    // Renames `from` to `to` on the same volume, replacing `to`, written through to the disk.
    virtual std::optional<FileFailure> moveFile(const std::wstring& from,
                                                const std::wstring& to) = 0;
    // True when both paths name one existing file (same volume and file index); when either
    // cannot be opened, when the paths are equal ignoring the case of every letter.
    virtual bool sameFile(const std::wstring& a, const std::wstring& b) = 0;
    // Clears the read-only attribute of an existing file; false when it is still read-only.
    virtual bool makeWritable(const std::wstring& path) = 0;
    // Bytes free for this program on the volume that holds `folder`; nothing when unknown.
    virtual std::optional<std::uint64_t> freeSpace(const std::wstring& folder) = 0;
    // File names compared as the file system does: ignoring the case of every letter.
    virtual bool sameName(const std::wstring& a, const std::wstring& b) = 0;
};

}  // namespace ombrix
