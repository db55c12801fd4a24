#include "platform/win32/private_access_win32.h"

#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/private_access.h"

namespace ombrix {
namespace {

// The SID of the user the process runs as, in its text form.
std::optional<std::wstring> ProcessAccountSid() {
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return std::nullopt;
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) {
        return std::nullopt;
    }
    // Sized in pointers, so that the structure's alignment holds.
    std::vector<void*> buffer((size + sizeof(void*) - 1) / sizeof(void*));
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    unique_hlocal_string text;
    if (!ConvertSidToStringSidW(
            static_cast<TOKEN_USER*>(static_cast<void*>(buffer.data()))->User.Sid, text.put())) {
        return std::nullopt;
    }
    return std::wstring(text.get());
}

}  // namespace

PrivateAccess::PrivateAccess() {
    const auto account = ProcessAccountSid();
    const auto sddl = account ? PrivateAccessDescriptor(*account) : std::nullopt;
    if (!sddl || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                     sddl->c_str(), SDDL_REVISION_1, descriptor_.put(), nullptr)) {
        descriptor_.reset();
        return;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_.get();
    attributes_.bInheritHandle = FALSE;
}

}  // namespace ombrix
