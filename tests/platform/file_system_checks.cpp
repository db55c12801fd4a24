// The file service on real files: created, truncated, written in small pieces, read back,
// replaced atomically, with long paths and Chinese names.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "checks.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/unique_handle.h"

namespace ombrix::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31 + seed + i / 997) & 0xFF);
    }
    return bytes;
}

// The checks look at the files with plain API calls, not through the service under test.
bool WriteRaw(const std::wstring& path, const Bytes& bytes) {
    const unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

Bytes ReadRaw(const std::wstring& path) {
    const unique_hfile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    Bytes bytes;
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        return bytes;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

std::int64_t SizeOnDisk(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(ExtendedLengthPath(folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring Join(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const auto& name : names) {
        text += (text.empty() ? L"" : L" | ") + name;
    }
    return text;
}

// Writes `bytes` through the service in pieces of `piece` bytes.
bool WriteInPieces(OutputFile& file, const Bytes& bytes, std::size_t piece) {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        if (!file.write(bytes.data() + at, std::min(piece, bytes.size() - at))) {
            return false;
        }
    }
    return true;
}

void CheckFolders(Win32FileSystem& fs, const std::wstring& root) {
    const std::wstring folder = root + L"\\下载 download";
    CHECK(!fs.folderExists(folder));
    CHECK(fs.createFolder(folder));
    CHECK(fs.folderExists(folder));
    CHECK(!fs.fileExists(folder));
    CHECK(!fs.createFolder(folder));  // already there
    CHECK(!fs.createFolder(root + L"\\missing\\deeper"));
}

void CheckWriteAndRead(Win32FileSystem& fs, const std::wstring& root) {
    const std::wstring path = root + L"\\ombrix 更新";
    // An older, longer file must be cut to what is written now.
    CHECK(WriteRaw(path, Pattern(900 * 1024, 7)));
    const Bytes body = Pattern(300 * 1024 + 476, 1);
    auto file = fs.createFile(path);
    ASSERT(file != nullptr);
    CHECK(SizeOnDisk(path) == 0);
    CHECK(WriteInPieces(*file, Bytes(body.begin(), body.begin() + 10 * 1024), 1024));
    // Ten small writes sit in the buffer: none of them cost a system call yet.
    CHECK(SizeOnDisk(path) == 0);
    CHECK(WriteInPieces(*file, Bytes(body.begin() + 10 * 1024, body.end()), 1024));
    CHECK(file->close());
    CHECK(!file->close());
    CHECK(!file->write(body.data(), 1));
    file.reset();
    CHECK(ReadRaw(path) == body);
    CHECK(fs.fileExists(path));
    CHECK(!fs.folderExists(path));

    CHECK(fs.read(path, 0, body.size()) == body);
    CHECK(fs.read(path, 1000, 50) == Bytes(body.begin() + 1000, body.begin() + 1050));
    CHECK(fs.read(path, body.size() - 10, 1024) == Bytes(body.end() - 10, body.end()));
    CHECK(fs.read(path, body.size(), 16).empty());
    CHECK(fs.read(root + L"\\absent", 0, 16).empty());

    // A piece larger than the buffer, between small ones, keeps its place.
    const Bytes mixed = Pattern(200 * 1024 + 3, 9);
    file = fs.createFile(path);
    if (CHECK(file != nullptr)) {
        CHECK(file->write(mixed.data(), 3));
        CHECK(file->write(mixed.data() + 3, 150 * 1024));
        CHECK(WriteInPieces(*file, Bytes(mixed.begin() + 3 + 150 * 1024, mixed.end()), 1000));
        CHECK(file->close());
        CHECK(ReadRaw(path) == mixed);
    }

    // Dropped without close: what was buffered still reaches the file.
    file = fs.createFile(path);
    if (CHECK(file != nullptr)) {
        CHECK(file->write(body.data(), 2048));
        file.reset();
        CHECK(ReadRaw(path) == Bytes(body.begin(), body.begin() + 2048));
    }

    CHECK(fs.createFile(root + L"\\no such folder\\file") == nullptr);

    // Private: made anew with an access of its own, which the system takes (Wine does not keep
    // it), in place of the file there; one that another program holds is not written through.
    file = fs.createPrivateFile(path);
    if (CHECK(file != nullptr)) {
        CHECK(SizeOnDisk(path) == 0);
        CHECK(WriteInPieces(*file, body, 1024));
        CHECK(file->close());
        CHECK(ReadRaw(path) == body);
    }
    {
        const unique_hfile other(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        CHECK(other && fs.createPrivateFile(path) == nullptr);
    }
    CHECK(ReadRaw(path) == body);
    CHECK(fs.createPrivateFile(root + L"\\no such folder\\file") == nullptr);
    CHECK(fs.deleteFile(path));
    CHECK(!fs.fileExists(path));
    CHECK(!fs.deleteFile(path));
}

void CheckCopyMoveAndIdentity(Win32FileSystem& fs, const std::wstring& root) {
    const std::wstring folder = root + L"\\Om ЖÄ 测试";
    CreateDirectoryW(ExtendedLengthPath(folder).c_str(), nullptr);
    const std::wstring source = folder + L"\\ombrix";
    const std::wstring target = folder + L"\\Ombrix.exe";
    const std::wstring backup = folder + L"\\Ombrix.exe.old";
    const Bytes fresh = Pattern(123457, 3);
    const Bytes old = Pattern(99999, 4);
    CHECK(WriteRaw(source, fresh));
    CHECK(WriteRaw(target, old));

    // A copy replaces what is there; a rename replaces its target, the source goes.
    const std::wstring copy = folder + L"\\Ombrix.exe.new";
    CHECK(!fs.copyFile(source, copy).has_value());
    CHECK(ReadRaw(copy) == fresh);
    CHECK(!fs.moveFile(target, backup).has_value());
    CHECK(!fs.moveFile(copy, target).has_value());
    CHECK(ReadRaw(target) == fresh && ReadRaw(backup) == old);
    CHECK_DETAIL(FolderEntries(folder).size() == 3, Join(FolderEntries(folder)));

    // Held without sharing: the failure says so, and nothing changed.
    {
        const unique_hfile holder(CreateFileW(ExtendedLengthPath(target).c_str(), GENERIC_READ, 0,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
        CHECK(static_cast<bool>(holder));
        const auto moved = fs.moveFile(backup, target);
        CHECK(moved.has_value() && moved->held && !moved->reason.empty());
        const auto copied = fs.copyFile(source, target);
        CHECK(copied.has_value() && copied->held);
        if (moved) {
            Note(L"rename over a held file: " + moved->reason);
        }
    }
    CHECK(ReadRaw(target) == fresh && ReadRaw(backup) == old);
    const auto missing = fs.copyFile(folder + L"\\absent", copy);
    CHECK(missing.has_value() && !missing->held);
    CHECK_DETAIL(FolderEntries(folder).size() == 3, Join(FolderEntries(folder)));

    // One file under two spellings that differ in the case of non-ASCII letters.
    const std::wstring otherCase = root + L"\\om жä 测试\\OMBRIX.EXE";
    CHECK(fs.sameName(L"Om ЖÄ 测试\\Ombrix.exe", L"om жä 测试\\OMBRIX.EXE"));
    CHECK(!fs.sameName(L"Ombrix.exe", L"Ombrix.exe.old"));
    CHECK(fs.sameFile(otherCase, target));
    CHECK(!fs.sameFile(backup, target));
    CHECK(fs.sameFile(folder + L"\\gone.exe", folder + L"\\GONE.EXE"));
}

void CheckLongPaths(Win32FileSystem& fs, const std::wstring& root) {
    // Well past MAX_PATH, each level with blanks and Chinese characters.
    std::wstring folder = root;
    for (int level = 0; level < 8; ++level) {
        folder +=
            L"\\第" + std::to_wstring(level) + L"层 a rather long folder name 很长的文件夹名字";
        ASSERT(fs.createFolder(folder));
    }
    CHECK(folder.size() > 300);
    CHECK(fs.folderExists(folder));
    const std::wstring path = folder + L"\\下载的文件 ombrix";
    const Bytes body = Pattern(5000, 5);
    auto file = fs.createFile(path);
    ASSERT(file != nullptr);
    CHECK(WriteInPieces(*file, body, 1024));
    CHECK(file->close());
    CHECK(fs.fileExists(path));
    CHECK(fs.read(path, 0, 10000) == body);
    const std::wstring target = folder + L"\\Ombrix.exe";
    CHECK(!fs.copyFile(path, target).has_value());
    CHECK(fs.read(target, 0, 10000) == body);
    CHECK(fs.deleteFile(path));
    CHECK(!fs.fileExists(path));
    // Relative pieces resolve like any other path.
    CHECK(fs.fileExists(folder + L"\\..\\" + folder.substr(folder.rfind(L'\\') + 1) +
                        L"\\Ombrix.exe"));
}

}  // namespace

// A held file can be read and copied, but neither written nor deleted, until it is let go; a
// file another program holds without sharing is reported in use.
void CheckHold(Win32FileSystem& fs, const std::wstring& root) {
    const std::wstring path = root + L"\\held 文件";
    const Bytes body = Pattern(5000, 3);
    CHECK(WriteRaw(path, body));
    FileHold held = fs.hold(path);
    if (!CHECK(held.outcome == FileHold::Outcome::Held && held.file != nullptr)) {
        return;
    }
    CHECK(fs.read(path, 0, body.size()) == body);
    CHECK(CopyFileW(ExtendedLengthPath(path).c_str(), ExtendedLengthPath(path + L".copy").c_str(),
                    FALSE));
    CHECK(ReadRaw(path + L".copy") == body);
    CHECK(!WriteRaw(path, Pattern(10, 4)));
    CHECK(!fs.deleteFile(path));
    CHECK(fs.hold(path).outcome == FileHold::Outcome::Held);  // others may read it too
    held.file.reset();
    {
        const unique_hfile exclusive(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, 0,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                 nullptr));
        CHECK(static_cast<bool>(exclusive));
        CHECK(fs.hold(path).outcome == FileHold::Outcome::InUse);
    }
    CHECK(fs.deleteFile(path));
    CHECK(fs.deleteFile(path + L".copy"));
    CHECK(fs.hold(path).outcome == FileHold::Outcome::NotFound);
}

// A new file is made only where no name is, is held against writes, deletes and renames by
// others, and is renamed through its handle over a product, a read-only one once made writable.
void CheckNewFile(Win32FileSystem& fs, const std::wstring& root) {
    const std::wstring fresh = root + L"\\新 Ombrix.exe.new";
    const std::wstring product = root + L"\\新 Ombrix.exe";
    const Bytes body = Pattern(70000, 6);
    CHECK(WriteRaw(product, Pattern(100, 7)));
    CHECK(SetFileAttributesW(ExtendedLengthPath(product).c_str(), FILE_ATTRIBUTE_READONLY));
    CHECK(WriteRaw(fresh, Pattern(10, 8)));
    NewFileResult taken = fs.createNew(fresh);
    CHECK(taken.file == nullptr && !taken.failure.held);
    CHECK(fs.deleteFile(fresh));
    NewFileResult made = fs.createNew(fresh);
    ASSERT(made.file != nullptr);
    CHECK(made.file->write(body.data(), body.size()) && made.file->flush());
    CHECK(fs.read(fresh, 0, body.size()) == body);  // others may read it, sharing writes
    CHECK(!WriteRaw(fresh, Pattern(10, 9)));
    CHECK(!fs.deleteFile(fresh));
    CHECK(fs.moveFile(fresh, root + L"\\elsewhere").has_value());

    // Windows refuses a rename onto a read-only file (Wine allows it through a handle).
    CHECK(fs.makeWritable(product));
    CHECK((GetFileAttributesW(ExtendedLengthPath(product).c_str()) & FILE_ATTRIBUTE_READONLY) == 0);
    CHECK(fs.makeWritable(root + L"\\absent"));
    const auto renamed = made.file->renameOver(product);
    CHECK_DETAIL(!renamed.has_value(), renamed ? renamed->reason : L"");
    CHECK(fs.read(product, 0, body.size()) == body);
    // Still held under its new name: the rename went through the handle.
    CHECK(!fs.deleteFile(product));
    made.file.reset();
    CHECK(fs.deleteFile(product));

    const auto free = fs.freeSpace(root);
    CHECK(free.has_value() && *free > 0);
    CHECK(!fs.freeSpace(L"Q:\\no such drive").has_value());
}

void CheckFileSystem(const std::wstring& workFolder) {
    Section(L"file system");
    Win32FileSystem fs;
    CreateDirectoryW(workFolder.c_str(), nullptr);
    CheckFolders(fs, workFolder);
    CheckWriteAndRead(fs, workFolder);
    CheckCopyMoveAndIdentity(fs, workFolder);
    CheckLongPaths(fs, workFolder);
    CheckHold(fs, workFolder);
    CheckNewFile(fs, workFolder);
}

}  // namespace ombrix::test
