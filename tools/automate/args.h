#pragma once
// Command-line options of one subcommand: "--name value" pairs, bare "--flag"s (a name followed
// by another option or by nothing) and positional words. Bad values throw a Failure with the
// usage exit code.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::automate {

struct Size {
    long width = 0;
    long height = 0;
};

class Args {
  public:
    Args(int argc, wchar_t** argv);

    bool has(const std::wstring& name) const { return options_.count(name) != 0; }
    std::optional<std::wstring> text(const std::wstring& name) const;
    std::wstring textOr(const std::wstring& name, const std::wstring& fallback) const;
    std::wstring required(const std::wstring& name) const;
    // Decimal, or hexadecimal with a 0x prefix; negative decimals allowed.
    std::optional<std::int64_t> number(const std::wstring& name) const;
    std::int64_t numberOr(const std::wstring& name, std::int64_t fallback) const;
    // "WxH"
    std::optional<Size> size(const std::wstring& name) const;
    const std::vector<std::wstring>& positional() const { return positional_; }

  private:
    std::map<std::wstring, std::wstring> options_;
    std::vector<std::wstring> positional_;
};

std::int64_t parseNumber(const std::wstring& text, const std::wstring& what);

}  // namespace ombrix::automate
