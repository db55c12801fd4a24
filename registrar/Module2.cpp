#include "registrar/Module2.h"

#include "platform/decimal_text.h"

namespace ombrix::registrar {
namespace {

std::unique_ptr<RegistryKey> OpenWindowMetrics(Registry& registry) {
    return registry.createKey(RegistryRoot::CurrentUser, kWindowMetricsKey);
}

}  // namespace

std::optional<RegistryValue> ReadShellIconSize(Registry& registry) {
    const auto key = OpenWindowMetrics(registry);
    if (!key) {
        return std::nullopt;
    }
    return key->queryValue(kShellIconSizeValue);
}

void SetShellIconSize(Registry& registry, ShellNotifier& notifier, const std::wstring& value) {
    if (const auto key = OpenWindowMetrics(registry)) {
        key->setValue(kShellIconSizeValue, RegistryValue{kRegSz, RegistryTextBytes(value)});
    }
    // A failed write does not hold back the broadcast.
    notifier.broadcastSettingChange();
}

void RestoreShellIconSize(Registry& registry, ShellNotifier& notifier,
                          const std::optional<RegistryValue>& saved) {
    if (const auto key = OpenWindowMetrics(registry)) {
        if (saved) {
            key->setValue(kShellIconSizeValue, *saved);
        } else {
            key->deleteValue(kShellIconSizeValue);
        }
    }
    notifier.broadcastSettingChange();
}

void RefreshShellIcons(Registry& registry, ShellNotifier& notifier) {
    const auto saved = ReadShellIconSize(registry);
    // The passing value must differ from the user's, or the shell sees no change.
    const bool userHas30 = saved && RegistryTextOf(*saved) == L"30";
    SetShellIconSize(registry, notifier, DecimalText(userHas30 ? 31 : 30));
    RestoreShellIconSize(registry, notifier, saved);
    notifier.notifyAssociationsChanged();
}

}  // namespace ombrix::registrar
