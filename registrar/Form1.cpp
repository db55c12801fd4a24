#include "registrar/Form1.h"

#include "registrar/Module1.h"
#include "registrar/Module2.h"

namespace ombrix::registrar {

int Form1Load(Registry& registry, ShellNotifier& notifier, ProgramFolder& folder) {
    const bool registered = RegisterDocumentType(registry, folder);
    RefreshShellIcons(registry, notifier);
    return registered ? kExitRegistered : kExitRegistrationFailed;
}

}  // namespace ombrix::registrar
