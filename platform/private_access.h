#pragma once
// The access of the files that decide whether an update can run (the instance lock, the
// download): full access for the system, the administrators and the account that runs the
// program, nothing for anyone else, whatever the folder would hand down to them.
#include <optional>
#include <string>

namespace ombrix {

// The security descriptor, as SDDL, that gives `accountSid` ("S-1-5-21-...", as the system
// spells a SID) and no one but the system and the administrators access: a protected list,
// so that nothing is inherited from the folder. Nothing when `accountSid` is not a SID's text.
std::optional<std::wstring> PrivateAccessDescriptor(const std::wstring& accountSid);

}  // namespace ombrix
