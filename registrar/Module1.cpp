#include "registrar/Module1.h"

namespace ombrix::registrar {
namespace {

// Creates or opens a key below the class root and sets its own default value.
bool SetClassDefault(Registry& registry, const std::wstring& keyName, const std::wstring& data) {
    const auto key = registry.createKey(RegistryRoot::ClassesRoot, keyName);
    return key && key->setDefaultText(L"", data);
}

}  // namespace

bool RegisterDocumentType(Registry& registry, ProgramFolder& folder) {
    bool ok = SetClassDefault(registry, L"OBX", L"OBX文档");
    ok = SetClassDefault(registry, L".obx", L"OBX") && ok;

    // The executable path is quoted: unquoted, a folder with blanks lets "C:\Program.exe" run
    // instead. "%1" stays bare, so the product receives the document path as it always has.
    const auto classKey = registry.createKey(RegistryRoot::ClassesRoot, L"OBX");
    if (!classKey) {
        // Without the class key the verb and icon would land nowhere sensible: skip them.
        return false;
    }
    const std::wstring command = L"\"" + folder.path() + L"\\Ombrix.exe\" %1";
    ok = classKey->setDefaultText(L"shell\\open\\command", command) && ok;
    ok = classKey->setDefaultText(L"DefaultIcon", folder.path() + L"\\Skin\\icon.ico") && ok;
    return ok;
}

}  // namespace ombrix::registrar
