#include "platform/win32/file_system_win32.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <tuple>
#include <utility>

#include "platform/decimal_text.h"
#include "platform/win32/new_file_win32.h"
#include "platform/win32/private_access_win32.h"
#include "platform/win32/system_error_text.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {

namespace {

constexpr std::size_t kWriteBuffer = 64 * 1024;
// Larger requests are split: ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kMaxIo = 1u << 30;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Writes through a 64 KiB buffer; the first failure sticks, and close() reports it.
class BufferedOutputFile : public OutputFile {
  public:
    explicit BufferedOutputFile(unique_hfile file) : file_(std::move(file)) {
        buffer_.reserve(kWriteBuffer);
    }
    // Goes away without reporting: what is buffered is still written if it can be.
    ~BufferedOutputFile() override { flush(); }
    BufferedOutputFile(const BufferedOutputFile&) = delete;
    BufferedOutputFile& operator=(const BufferedOutputFile&) = delete;

    bool write(const std::uint8_t* data, std::size_t size) override {
        if (!file_) {
            return fail();
        }
        if (failed_) {
            return false;
        }
        if (size > kWriteBuffer - buffer_.size() && !flush()) {
            return false;
        }
        if (size >= kWriteBuffer) {
            return writeAll(data, size);
        }
        buffer_.insert(buffer_.end(), data, data + size);
        return true;
    }

    bool close() override {
        if (!file_) {
            return fail();
        }
        bool ok = flush();
        if (!CloseHandle(file_.release())) {
            ok = fail();
        }
        return ok && !failed_;
    }

  private:
    bool flush() {
        if (buffer_.empty() || !file_ || failed_) {
            return !failed_;
        }
        const bool ok = writeAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }

    bool writeAll(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            DWORD written = 0;
            const auto want = static_cast<DWORD>(std::min(size, kMaxIo));
            if (!WriteFile(file_.get(), data, want, &written, nullptr)) {
                return fail();
            }
            if (written == 0) {  // a full disk
                return fail();
            }
            data += written;
            size -= written;
        }
        return true;
    }

    bool fail() {
        failed_ = true;
        return false;
    }

    unique_hfile file_;
    std::vector<std::uint8_t> buffer_;
    bool failed_ = false;
};

// Up to `size` bytes of an open file from `offset`; shorter at its end, empty on failure.
std::vector<std::uint8_t> ReadAt(HANDLE file, std::uint64_t offset, std::size_t size) {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length)) {
        return {};
    }
    const auto fileSize = static_cast<std::uint64_t>(length.QuadPart);
    if (offset >= fileSize) {
        return {};
    }
    // Sized by what the file holds, not by what was asked.
    std::vector<std::uint8_t> data(
        static_cast<std::size_t>(std::min<std::uint64_t>(size, fileSize - offset)));
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        return {};
    }
    std::size_t got = 0;
    while (got < data.size()) {
        DWORD count = 0;
        const auto want = static_cast<DWORD>(std::min(data.size() - got, kMaxIo));
        if (!ReadFile(file, data.data() + got, want, &count, nullptr)) {
            return {};
        }
        if (count == 0) {
            break;
        }
        got += count;
    }
    data.resize(got);
    return data;
}

class HeldHandle : public HeldFile {
  public:
    explicit HeldHandle(unique_hfile file) : file_(std::move(file)) {}

    std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t size) override {
        return ReadAt(file_.get(), offset, size);
    }

    std::optional<std::uint64_t> size() override {
        LARGE_INTEGER length{};
        if (!GetFileSizeEx(file_.get(), &length)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(length.QuadPart);
    }

  private:
    unique_hfile file_;
};

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\")) {
        return path;
    }
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return path;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    full.resize(length);
    if (StartsWith(full, L"\\\\.\\")) {
        return full;  // a device path is used as it is
    }
    if (StartsWith(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

bool Win32FileSystem::folderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::createFolder(const std::wstring& path) {
    return CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr) != FALSE;
}

bool Win32FileSystem::fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::unique_ptr<OutputFile> Win32FileSystem::createFile(const std::wstring& path) {
    // Made new where there is no file rather than truncated: under Wine a truncated file is
    // truncated on the Linux side too, and ext4 then writes it out when it is closed, which
    // holds the closing thread for tens of milliseconds after a large download.
    const std::wstring name = ExtendedLengthPath(path);
    const auto open = [&name](DWORD disposition) {
        return unique_hfile(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    unique_hfile file = open(CREATE_NEW);
    if (!file && GetLastError() == ERROR_FILE_EXISTS) {
        file = open(CREATE_ALWAYS);
    }
    if (!file) {
        return nullptr;
    }
    return std::make_unique<BufferedOutputFile>(std::move(file));
}

std::unique_ptr<OutputFile> Win32FileSystem::createPrivateFile(const std::wstring& path) {
    PrivateAccess access;
    if (!access) {
        return nullptr;
    }
    // Always made new: a file that is opened keeps the access it has, whatever is asked. A link
    // of that name is removed itself, never followed.
    const std::wstring name = ExtendedLengthPath(path);
    const auto create = [&] {
        return unique_hfile(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        access.attributes(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
    };
    unique_hfile file = create();
    if (!file && GetLastError() == ERROR_FILE_EXISTS && DeleteFileW(name.c_str())) {
        file = create();
    }
    if (!file) {
        return nullptr;
    }
    return std::make_unique<BufferedOutputFile>(std::move(file));
}

std::vector<std::uint8_t> Win32FileSystem::read(const std::wstring& path, std::uint64_t offset,
                                                std::size_t size) {
    const unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    return ReadAt(file.get(), offset, size);
}

NewFileResult Win32FileSystem::createNew(const std::wstring& path) {
    return CreateHeldNewFile(ExtendedLengthPath(path));
}

bool Win32FileSystem::makeWritable(const std::wstring& path) {
    const std::wstring name = ExtendedLengthPath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return true;
    }
    const DWORD rest = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(name.c_str(), rest == 0 ? FILE_ATTRIBUTE_NORMAL : rest) != FALSE;
}

std::optional<std::uint64_t> Win32FileSystem::freeSpace(const std::wstring& folder) {
    std::wstring name = ExtendedLengthPath(folder);
    if (name.empty() || name.back() != L'\\') {
        name += L'\\';
    }
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(name.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

bool Win32FileSystem::deleteFile(const std::wstring& path) {
    return DeleteFileW(ExtendedLengthPath(path).c_str()) != FALSE;
}

FileHold Win32FileSystem::hold(const std::wstring& path) {
    unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        return {FileHold::Outcome::Held, std::make_unique<HeldHandle>(std::move(file))};
    }
    const DWORD error = GetLastError();
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return {FileHold::Outcome::NotFound, nullptr};
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return {FileHold::Outcome::InUse, nullptr};
        default:
            return {FileHold::Outcome::Failed, nullptr};
    }
}

namespace {

// Identity of an existing file: its volume's serial number and its index on that volume.
std::optional<std::tuple<DWORD, DWORD, DWORD>> IdentityOf(const std::wstring& path) {
    // No access asked: a running program's image opens this way too.
    const unique_hfile file(CreateFileW(
        ExtendedLengthPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.get(), &info)) {
        return std::nullopt;
    }
    return std::tuple{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace

std::optional<FileFailure> Win32FileSystem::copyFile(const std::wstring& source,
                                                     const std::wstring& target) {
    const std::wstring to = ExtendedLengthPath(target);
    if (!CopyFileW(ExtendedLengthPath(source).c_str(), to.c_str(), FALSE)) {
        const DWORD reason = GetLastError();
        // A copy of a read-only source is read-only too, and would not go away.
        SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(to.c_str());
        return FileFailureOf(reason);
    }
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    // On the disk before anything is renamed onto it: a power cut must not leave a product of
    // zeros behind a completed rename.
    const unique_hfile copy(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy || !FlushFileBuffers(copy.get())) {
        const DWORD reason = GetLastError();
        DeleteFileW(to.c_str());
        return FileFailureOf(reason);
    }
    return std::nullopt;
}

std::optional<FileFailure> Win32FileSystem::moveFile(const std::wstring& from,
                                                     const std::wstring& to) {
    if (!MoveFileExW(ExtendedLengthPath(from).c_str(), ExtendedLengthPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return FileFailureOf(GetLastError());
    }
    return std::nullopt;
}

bool Win32FileSystem::sameFile(const std::wstring& a, const std::wstring& b) {
    const auto first = IdentityOf(a);
    const auto second = first ? IdentityOf(b) : std::nullopt;
    if (first && second) {
        return *first == *second;
    }
    return sameName(ExtendedLengthPath(a), ExtendedLengthPath(b));
}

bool Win32FileSystem::sameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace ombrix
