#pragma once
#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/shell_notify.h"

namespace ombrix::registrar {

inline constexpr wchar_t kWindowMetricsKey[] = L"Control Panel\\Desktop\\WindowMetrics";
inline constexpr wchar_t kShellIconSizeValue[] = L"Shell Icon Size";

// The user's "Shell Icon Size" exactly as stored, or nothing when it is absent.
std::optional<RegistryValue> ReadShellIconSize(Registry& registry);

// Stores `value` as "Shell Icon Size" and tells every top-level window that settings changed.
void SetShellIconSize(Registry& registry, ShellNotifier& notifier, const std::wstring& value);

// Puts back what ReadShellIconSize returned (deleting the value when there was none) and tells
// every top-level window that settings changed.
void RestoreShellIconSize(Registry& registry, ShellNotifier& notifier,
                          const std::optional<RegistryValue>& saved);

// Makes the shell reload its icons: a passing change of "Shell Icon Size" and back to the
// user's own setting, one broadcast after each write.
void RefreshShellIcons(Registry& registry, ShellNotifier& notifier);

}  // namespace ombrix::registrar
