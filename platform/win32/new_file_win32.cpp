#include "platform/win32/new_file_win32.h"

#include <cstring>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/win32/file_system_win32.h"
#include "platform/win32/system_error_text.h"
#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

using FileIdentity = std::tuple<DWORD, DWORD, DWORD>;

std::optional<FileIdentity> IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// Errors of a system that cannot rename through a handle, as opposed to a rename that failed.
bool RenameUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED ||
           error == ERROR_INVALID_NAME;
}

class HeldNewFile : public NewFile {
  public:
    HeldNewFile(unique_hfile file, std::wstring name)
        : file_(std::move(file)), name_(std::move(name)) {}

    bool write(const std::uint8_t* data, std::size_t size) override {
        while (size > 0 && file_) {
            DWORD written = 0;
            const auto want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
            if (!WriteFile(file_.get(), data, want, &written, nullptr) || written == 0) {
                return false;
            }
            data += written;
            size -= written;
        }
        return size == 0;
    }

    bool flush() override { return file_ && FlushFileBuffers(file_.get()); }

    std::optional<FileFailure> renameOver(const std::wstring& target) override {
        const std::wstring to = ExtendedLengthPath(target);
        if (file_) {
            // The NT form of the name ("\??\C:\..."), which every Windows and Wine take as it is.
            const std::wstring ntName =
                to.rfind(L"\\\\?\\", 0) == 0 ? L"\\??\\" + to.substr(4) : to;
            const std::size_t nameBytes = ntName.size() * sizeof(wchar_t);
            std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
            auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
            info->ReplaceIfExists = TRUE;
            info->RootDirectory = nullptr;
            info->FileNameLength = static_cast<DWORD>(nameBytes);
            std::memcpy(info->FileName, ntName.data(), nameBytes);  // the zero follows
            if (SetFileInformationByHandle(file_.get(), FileRenameInfo, info,
                                           static_cast<DWORD>(buffer.size()))) {
                name_ = to;
                FlushFileBuffers(file_.get());  // the rename too, as far as the file can
                return std::nullopt;
            }
            const DWORD error = GetLastError();
            if (!RenameUnsupported(error)) {
                return FileFailureOf(error);
            }
            // A system without the rename by handle: by name, and then it must be this file.
            identity_ = IdentityOf(file_.get());
            file_.reset();
        }
        if (!MoveFileExW(name_.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return FileFailureOf(GetLastError());
        }
        const unique_hfile renamed(
            CreateFileW(to.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr));
        if (!identity_ || !renamed || IdentityOf(renamed.get()) != identity_) {
            return FileFailure{SystemErrorText(ERROR_FILE_INVALID), false};
        }
        return std::nullopt;
    }

  private:
    unique_hfile file_;
    std::wstring name_;
    std::optional<FileIdentity> identity_;
};

}  // namespace

NewFileResult CreateHeldNewFile(const std::wstring& extendedName) {
    // CREATE_NEW opens nothing that exists and follows no link. DELETE access lets the file be
    // renamed through this handle; neither writes nor a delete or rename are shared.
    unique_hfile file(CreateFileW(extendedName.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) {
        return {nullptr, FileFailureOf(GetLastError())};
    }
    return {std::make_unique<HeldNewFile>(std::move(file), extendedName), {}};
}

FileFailure FileFailureOf(DWORD code) {
    const bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
                      code == ERROR_ACCESS_DENIED;
    return {SystemErrorText(code), held};
}

}  // namespace ombrix
