#pragma once
// An in-memory file system that logs every change and fails where a test says.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "fakes/fake_basics.h"
#include "platform/file_system.h"

namespace ombrix::fakes {

class FakeFiles : public FileSystem {
  public:
    explicit FakeFiles(Log& log) : log_(log) {}
    std::map<std::wstring, Bytes, NoCaseLess> files;
    std::set<std::wstring, NoCaseLess> folders;
    std::set<std::wstring, NoCaseLess> unwritable;   // createFile fails
    std::set<std::wstring, NoCaseLess> undeletable;  // deleteFile fails
    std::optional<std::size_t> diskFullAfter;        // writes fail past this many bytes in a file
    // Copies and renames that touch the file fail as held by another program this many times.
    std::map<std::wstring, int, NoCaseLess> heldFor;
    std::optional<FileFailure> moveFailure;       // every rename fails so
    std::set<std::wstring, NoCaseLess> readOnly;  // renames onto them are refused, as Windows does
    std::optional<std::uint64_t> capacity;        // the volume's size; free is what files leave

    bool folderExists(const std::wstring& path) override { return folders.count(path) != 0; }
    bool createFolder(const std::wstring& path) override {
        log_.push_back(L"mkdir " + path);
        folders.insert(path);
        return true;
    }
    bool fileExists(const std::wstring& path) override { return files.count(path) != 0; }
    std::unique_ptr<OutputFile> createFile(const std::wstring& path) override {
        log_.push_back(L"create " + path);
        if (unwritable.count(path)) {
            return nullptr;
        }
        files[path].clear();
        privateFiles.erase(path);
        return std::make_unique<File>(*this, path);
    }
    // Made as createFile makes them; the paths made private are kept here.
    std::set<std::wstring, NoCaseLess> privateFiles;
    std::unique_ptr<OutputFile> createPrivateFile(const std::wstring& path) override {
        auto file = createFile(path);
        if (file) {
            privateFiles.insert(path);
        }
        return file;
    }
    NewFileResult createNew(const std::wstring& path) override {
        log_.push_back(L"create-new " + path);
        if (files.count(path) || unwritable.count(path)) {
            return {nullptr, FileFailure{L"File exists."}};
        }
        files[path].clear();
        return {std::make_unique<New>(*this, path), {}};
    }
    bool makeWritable(const std::wstring& path) override {
        log_.push_back(L"writable " + path);
        readOnly.erase(path);
        return true;
    }
    std::optional<std::uint64_t> freeSpace(const std::wstring&) override {
        if (!capacity) {
            return std::nullopt;
        }
        std::uint64_t used = 0;
        for (const auto& file : files) {
            used += file.second.size();
        }
        return used >= *capacity ? 0 : *capacity - used;
    }
    Bytes read(const std::wstring& path, std::uint64_t offset, std::size_t size) override {
        const auto file = files.find(path);
        if (file == files.end() || offset >= file->second.size()) {
            return {};
        }
        const auto begin = file->second.begin() + static_cast<std::ptrdiff_t>(offset);
        const auto count = std::min<std::size_t>(size, file->second.size() - offset);
        return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
    }
    bool deleteFile(const std::wstring& path) override {
        log_.push_back(L"delete " + path);
        if (undeletable.count(path) || holds[path] > 0) {
            return false;
        }
        return files.erase(path) != 0;
    }
    std::optional<FileFailure> copyFile(const std::wstring& source,
                                        const std::wstring& target) override {
        log_.push_back(L"copy " + source + L" -> " + target);
        if (held(source) || held(target)) {
            return FileFailure{L"Sharing violation.", true};
        }
        const auto file = files.find(source);
        if (file == files.end()) {
            return FileFailure{L"File not found."};
        }
        files[target] = file->second;
        return std::nullopt;
    }
    std::optional<FileFailure> moveFile(const std::wstring& from, const std::wstring& to) override {
        log_.push_back(L"move " + from + L" -> " + to);
        if (held(from) || held(to)) {
            return FileFailure{L"Sharing violation.", true};
        }
        if (moveFailure) {
            return moveFailure;
        }
        if (readOnly.count(to)) {
            return FileFailure{L"Access denied.", true};
        }
        const auto file = files.find(from);
        if (file == files.end()) {
            return FileFailure{L"File not found."};
        }
        auto bytes = std::move(file->second);
        files.erase(file);
        files[to] = std::move(bytes);
        return std::nullopt;
    }
    bool sameFile(const std::wstring& a, const std::wstring& b) override { return sameName(a, b); }
    bool sameName(const std::wstring& a, const std::wstring& b) override {
        return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
    }

    // hold() finds the file in use this many more times (-1: always); fails for `unholdable`.
    std::map<std::wstring, int, NoCaseLess> inUseFor;
    std::set<std::wstring, NoCaseLess> unholdable;
    std::map<std::wstring, int, NoCaseLess> holds;  // open holds; a held file cannot be deleted
    int holdAttempts = 0;
    FileHold hold(const std::wstring& path) override {
        ++holdAttempts;
        if (auto busy = inUseFor.find(path); busy != inUseFor.end() && busy->second != 0) {
            busy->second -= busy->second > 0 ? 1 : 0;
            return {FileHold::Outcome::InUse, nullptr};
        }
        if (unholdable.count(path)) {
            return {FileHold::Outcome::Failed, nullptr};
        }
        if (!files.count(path)) {
            return {FileHold::Outcome::NotFound, nullptr};
        }
        return {FileHold::Outcome::Held, std::make_unique<Held>(*this, path)};
    }

    int openFiles = 0;

  private:
    // Reads what the file held when it was held: nobody can change it meanwhile.
    class Held : public HeldFile {
      public:
        Held(FakeFiles& owner, std::wstring path)
            : owner_(owner), path_(std::move(path)), bytes_(owner_.files[path_]) {
            ++owner_.holds[path_];
        }
        ~Held() override { --owner_.holds[path_]; }
        std::optional<std::uint64_t> size() override { return bytes_.size(); }
        Bytes read(std::uint64_t offset, std::size_t size) override {
            if (offset >= bytes_.size()) {
                return {};
            }
            const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
            const auto count = std::min<std::size_t>(size, bytes_.size() - offset);
            return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
        }

      private:
        FakeFiles& owner_;
        std::wstring path_;
        Bytes bytes_;
    };

    // A new file, renamed as moveFile renames (same log line, same failures).
    class New : public NewFile {
      public:
        New(FakeFiles& owner, std::wstring path) : owner_(owner), path_(std::move(path)) {}
        bool write(const std::uint8_t* data, std::size_t size) override {
            auto& bytes = owner_.files[path_];
            bytes.insert(bytes.end(), data, data + size);
            return true;
        }
        bool flush() override { return true; }
        std::optional<FileFailure> renameOver(const std::wstring& target) override {
            auto failure = owner_.moveFile(path_, target);
            if (!failure) {
                path_ = target;
            }
            return failure;
        }

      private:
        FakeFiles& owner_;
        std::wstring path_;
    };

    bool held(const std::wstring& path) {
        const auto found = heldFor.find(path);
        if (found == heldFor.end() || found->second == 0) {
            return false;
        }
        --found->second;
        return true;
    }

    class File : public OutputFile {
      public:
        File(FakeFiles& owner, std::wstring path) : owner_(owner), path_(std::move(path)) {
            ++owner_.openFiles;
        }
        ~File() override {
            if (open_) {
                --owner_.openFiles;
            }
        }
        bool write(const std::uint8_t* data, std::size_t size) override {
            auto& bytes = owner_.files[path_];
            if (owner_.diskFullAfter && bytes.size() + size > *owner_.diskFullAfter) {
                return false;
            }
            bytes.insert(bytes.end(), data, data + size);
            ++owner_.writes;
            return true;
        }
        bool close() override {
            if (open_) {
                open_ = false;
                --owner_.openFiles;
            }
            return true;
        }

      private:
        FakeFiles& owner_;
        std::wstring path_;
        bool open_ = true;
    };

  public:
    int writes = 0;

  private:
    Log& log_;
};

}  // namespace ombrix::fakes
