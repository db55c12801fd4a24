#include "platform/private_access.h"

namespace ombrix {
namespace {

// The longest SID: revision, a 48-bit authority and 15 sub-authorities of 32 bits.
constexpr std::size_t kMaxSidChars = 4 + 15 + 16 * 11;

// "S-1-" followed by decimal numbers, one dash between each: nothing that could end the entry
// it is placed in.
bool IsSidText(const std::wstring& text) {
    if (text.size() > kMaxSidChars || text.rfind(L"S-1-", 0) != 0) {
        return false;
    }
    bool digitBefore = false;
    for (std::size_t i = 4; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= L'0' && c <= L'9') {
            digitBefore = true;
        } else if (c == L'-' && digitBefore) {
            digitBefore = false;
        } else {
            return false;
        }
    }
    return digitBefore;
}

}  // namespace

std::optional<std::wstring> PrivateAccessDescriptor(const std::wstring& accountSid) {
    if (!IsSidText(accountSid)) {
        return std::nullopt;
    }
    // D:P a protected list; FA all file access; SY the system; BA the administrators.
    return L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + accountSid + L")";
}

}  // namespace ombrix
