#pragma once
// An in-memory registry and shell notifier that record what the logic did, in order.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_basics.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "platform/shell_notify.h"

namespace ombrix::fakes {

class FakeRegistry : public Registry {
  public:
    struct Key {
        std::map<std::wstring, RegistryValue> values;  // by lower-cased name; "" is the default
    };

    // Full paths ("HKCR\OBX\shell\open\command") that cannot be created or written.
    std::set<std::wstring> failingCreates;
    std::set<std::wstring> failingWrites;
    // Every operation, in order: "create HKCR\OBX", "set HKCR\OBX\DefaultIcon[] = ...".
    std::vector<std::wstring> log;
    int openHandles = 0;

    static std::wstring RootName(RegistryRoot root) {
        return root == RegistryRoot::ClassesRoot ? L"HKCR" : L"HKCU";
    }

    bool hasKey(const std::wstring& path) const { return keys_.count(Lower(path)) != 0; }

    std::optional<RegistryValue> value(const std::wstring& path, const std::wstring& name) const {
        const auto key = keys_.find(Lower(path));
        if (key == keys_.end()) {
            return std::nullopt;
        }
        const auto v = key->second.values.find(Lower(name));
        if (v == key->second.values.end()) {
            return std::nullopt;
        }
        return v->second;
    }

    std::optional<std::wstring> text(const std::wstring& path,
                                     const std::wstring& name = L"") const {
        const auto v = value(path, name);
        return v ? RegistryTextOf(*v) : std::nullopt;
    }

    void put(const std::wstring& path, const std::wstring& name, const RegistryValue& v) {
        createPath(path);
        keys_[Lower(path)].values[Lower(name)] = v;
    }

    std::unique_ptr<RegistryKey> createKey(RegistryRoot root, const std::wstring& path) override {
        const std::wstring full = RootName(root) + L"\\" + path;
        log.push_back(L"create " + full);
        if (failingCreates.count(full)) {
            return nullptr;
        }
        createPath(full);
        return std::make_unique<FakeKey>(*this, full);
    }

  private:
    class FakeKey : public RegistryKey {
      public:
        FakeKey(FakeRegistry& owner, std::wstring path) : owner_(owner), path_(std::move(path)) {
            ++owner_.openHandles;
        }
        ~FakeKey() override { --owner_.openHandles; }

        bool setDefaultText(const std::wstring& subkey, const std::wstring& text) override {
            const std::wstring full = subkey.empty() ? path_ : path_ + L"\\" + subkey;
            owner_.log.push_back(L"set " + full + L"[] = " + text);
            if (owner_.failingWrites.count(full)) {
                return false;
            }
            owner_.put(full, L"", RegistryValue{kRegSz, RegistryTextBytes(text)});
            return true;
        }
        std::optional<RegistryValue> queryValue(const std::wstring& name) override {
            owner_.log.push_back(L"query " + path_ + L"[" + name + L"]");
            return owner_.value(path_, name);
        }
        bool setValue(const std::wstring& name, const RegistryValue& value) override {
            const auto text = RegistryTextOf(value);
            owner_.log.push_back(L"set " + path_ + L"[" + name + L"] = " +
                                 text.value_or(L"<binary>"));
            if (owner_.failingWrites.count(path_)) {
                return false;
            }
            owner_.put(path_, name, value);
            return true;
        }
        bool deleteValue(const std::wstring& name) override {
            owner_.log.push_back(L"delete " + path_ + L"[" + name + L"]");
            auto& values = owner_.keys_[Lower(path_)].values;
            return values.erase(Lower(name)) != 0;
        }

      private:
        FakeRegistry& owner_;
        std::wstring path_;
    };

    void createPath(const std::wstring& full) {
        for (std::size_t pos = full.find(L'\\'); pos != std::wstring::npos;
             pos = full.find(L'\\', pos + 1)) {
            keys_[Lower(full.substr(0, pos))];
        }
        keys_[Lower(full)];
    }

    std::map<std::wstring, Key> keys_;
};

// Records each broadcast together with what "Shell Icon Size" read at that moment.
class FakeShellNotifier : public ShellNotifier {
  public:
    explicit FakeShellNotifier(FakeRegistry& registry) : registry_(registry) {}

    void broadcastSettingChange() override {
        const auto v =
            registry_.text(L"HKCU\\Control Panel\\Desktop\\WindowMetrics", L"Shell Icon Size");
        registry_.log.push_back(L"broadcast");
        sizeAtBroadcast.push_back(v.value_or(L"<absent>"));
    }
    void notifyAssociationsChanged() override {
        registry_.log.push_back(L"assoc-changed");
        ++associationNotices;
    }

    std::vector<std::wstring> sizeAtBroadcast;
    int associationNotices = 0;

  private:
    FakeRegistry& registry_;
};

class FakeProgramFolder : public ProgramFolder {
  public:
    explicit FakeProgramFolder(std::wstring path) : path_(std::move(path)) {}
    std::wstring path() override {
        ++reads;
        return path_;
    }
    void moveTo(std::wstring path) { path_ = std::move(path); }
    int reads = 0;

  private:
    std::wstring path_;
};

}  // namespace ombrix::fakes
