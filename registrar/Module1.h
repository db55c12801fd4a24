#pragma once
#include "platform/program_folder.h"
#include "platform/registry.h"

namespace ombrix::registrar {

// Registers ".obx" files as documents of the class "OBX" that open with the product executable
// of the program folder and show its icon. True when all four entries were written.
bool RegisterDocumentType(Registry& registry, ProgramFolder& folder);

}  // namespace ombrix::registrar
