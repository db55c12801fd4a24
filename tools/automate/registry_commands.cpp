// Registry values byte for byte. `reg export` cannot show whether a string carries its
// terminating zero, and `reg add`/`reg import` always append one.
//   reg-value --key KEY [--name NAME]                  type, byte count and bytes
//   reg-set --key KEY [--name NAME] --type N --hex HEX  stores exactly those bytes
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/json_line.h"

namespace ombrix::automate {
namespace {

struct RootName {
    const wchar_t* shortName;
    const wchar_t* longName;
    HKEY root;
};
const RootName kRoots[] = {
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKU", L"HKEY_USERS", HKEY_USERS},
};

// "HKCU\Control Panel\Desktop" -> HKEY_CURRENT_USER, "Control Panel\Desktop"
std::pair<HKEY, std::wstring> splitKey(const std::wstring& path) {
    const size_t slash = path.find(L'\\');
    const std::wstring head = path.substr(0, slash);
    const std::wstring rest = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
    for (const auto& root : kRoots) {
        if (_wcsicmp(head.c_str(), root.shortName) == 0 ||
            _wcsicmp(head.c_str(), root.longName) == 0) {
            return {root.root, rest};
        }
    }
    throw Failure{Usage, L"unknown registry root in " + path};
}

// The bytes as a JSON string of hexadecimal digit pairs.
std::string hexJson(const std::vector<BYTE>& bytes) {
    std::string out = "\"";
    for (BYTE b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        out += pair;
    }
    return out + "\"";
}

std::vector<BYTE> parseHex(const std::wstring& text) {
    std::vector<BYTE> bytes;
    std::wstring digits;
    for (wchar_t c : text) {
        if (iswxdigit(c)) {
            digits += c;
        } else if (c != L' ' && c != L',') {
            throw Failure{Usage, L"--hex: not a hexadecimal digit in " + text};
        }
    }
    if (digits.size() % 2 != 0) {
        throw Failure{Usage, L"--hex: odd number of digits in " + text};
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<BYTE>(std::wcstoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

int registrySet(const Args& args) {
    const auto [root, subKey] = splitKey(args.required(L"key"));
    const std::wstring name = args.textOr(L"name", L"");
    const auto type = args.number(L"type");
    if (!type) {
        throw Failure{Usage, L"reg-set needs --type"};
    }
    const std::vector<BYTE> data = parseHex(args.textOr(L"hex", L""));
    HKEY created = nullptr;
    LONG status = RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &created, nullptr);
    if (status != ERROR_SUCCESS) {
        throw Failure{Failed, L"cannot create the key: error " + std::to_wstring(status)};
    }
    const unique_hkey key(created);
    status =
        RegSetValueExW(key.get(), name.empty() ? nullptr : name.c_str(), 0,
                       static_cast<DWORD>(*type), data.data(), static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS) {
        throw Failure{Failed, L"cannot set the value: error " + std::to_wstring(status)};
    }
    writeLine(JsonLine()
                  .addInt("type", *type)
                  .addInt("size", static_cast<std::int64_t>(data.size()))
                  .str());
    return Ok;
}

int registryValue(const Args& args) {
    const auto [root, subKey] = splitKey(args.required(L"key"));
    const std::wstring name = args.textOr(L"name", L"");
    HKEY opened = nullptr;
    JsonLine line;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        writeLine(line.addBool("key_exists", false).addBool("exists", false).str());
        return Ok;
    }
    const unique_hkey key(opened);
    line.addBool("key_exists", true);
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        writeLine(line.addBool("exists", false).str());
        return Ok;
    }
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
        throw Failure{Failed, L"cannot read the value " + name};
    }
    data.resize(size);
    line.addBool("exists", true)
        .addInt("type", type)
        .addInt("size", size)
        .addRaw("hex", hexJson(data));
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        // Every UTF-16 unit as stored, terminating zeros included.
        line.addText("text", std::wstring(reinterpret_cast<const wchar_t*>(data.data()),
                                          data.size() / sizeof(wchar_t)));
    }
    writeLine(line.str());
    return Ok;
}

}  // namespace ombrix::automate
