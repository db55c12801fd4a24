#include "platform/win32/registry_win32.h"

#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace ombrix {
namespace {

unique_hkey CreateOrOpen(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(
        parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
        KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key, nullptr);
    return unique_hkey(status == ERROR_SUCCESS ? key : nullptr);
}

bool SetValue(HKEY key, const wchar_t* name, DWORD type, const std::vector<std::uint8_t>& data) {
    return RegSetValueExW(key, name, 0, type, data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

class Win32Key : public RegistryKey {
  public:
    explicit Win32Key(unique_hkey key) : key_(std::move(key)) {}

    bool setDefaultText(const std::wstring& subkey, const std::wstring& text) override {
        if (subkey.empty()) {
            return SetValue(key_.get(), nullptr, REG_SZ, RegistryTextBytes(text));
        }
        const unique_hkey sub = CreateOrOpen(key_.get(), subkey);
        return sub && SetValue(sub.get(), nullptr, REG_SZ, RegistryTextBytes(text));
    }

    std::optional<RegistryValue> queryValue(const std::wstring& name) override {
        // The value may change size between the two calls; try again then.
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0;
            DWORD size = 0;
            if (RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS) {
                return std::nullopt;
            }
            RegistryValue value{type, std::vector<std::uint8_t>(size)};
            const LSTATUS status = RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type,
                                                    value.data.data(), &size);
            if (status == ERROR_SUCCESS) {
                value.type = type;
                value.data.resize(size);
                return value;
            }
            if (status != ERROR_MORE_DATA) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    bool setValue(const std::wstring& name, const RegistryValue& value) override {
        return SetValue(key_.get(), name.c_str(), value.type, value.data);
    }

    bool deleteValue(const std::wstring& name) override {
        return RegDeleteValueW(key_.get(), name.c_str()) == ERROR_SUCCESS;
    }

  private:
    unique_hkey key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::createKey(RegistryRoot root, const std::wstring& path) {
    const HKEY rootKey = root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
    unique_hkey key = CreateOrOpen(rootKey, path);
    if (!key) {
        return nullptr;
    }
    return std::make_unique<Win32Key>(std::move(key));
}

}  // namespace ombrix
