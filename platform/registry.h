#pragma once
// The Windows registry, as the registrar uses it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

enum class RegistryRoot { ClassesRoot, CurrentUser };

// Value types as the registry numbers them.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegDword = 4;

// A value exactly as stored: its type and its bytes (text as UTF-16LE).
struct RegistryValue {
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;
    bool operator==(const RegistryValue&) const = default;
};

// An open key; closed when the object goes away.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // Sets the default value of `subkey` (created with every missing level; "" is this key
    // itself) to `text` as REG_SZ, terminating NUL counted.
    virtual bool setDefaultText(const std::wstring& subkey, const std::wstring& text) = 0;
    // A named value of this key, or nothing when it is absent or unreadable.
    virtual std::optional<RegistryValue> queryValue(const std::wstring& name) = 0;
    virtual bool setValue(const std::wstring& name, const RegistryValue& value) = 0;
    virtual bool deleteValue(const std::wstring& name) = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // Creates the key path below `root`, or opens it when it exists. Null on failure.
    virtual std::unique_ptr<RegistryKey> createKey(RegistryRoot root, const std::wstring& path) = 0;
};

// REG_SZ bytes of a text, terminating NUL included.
std::vector<std::uint8_t> RegistryTextBytes(const std::wstring& text);
// The text of REG_SZ/REG_EXPAND_SZ bytes, cut at the first NUL; nothing for other types.
std::optional<std::wstring> RegistryTextOf(const RegistryValue& value);

}  // namespace ombrix
