#include "platform/win32/bcrypt_library.h"

#include "platform/win32/system_library.h"

namespace ombrix {
namespace {

bool Load(BCryptLibrary& l) {
    HMODULE cng = LoadSystemLibrary(L"bcrypt.dll");
    return FindFunction(cng, "BCryptOpenAlgorithmProvider", l.BCryptOpenAlgorithmProvider) &&
           FindFunction(cng, "BCryptCloseAlgorithmProvider", l.BCryptCloseAlgorithmProvider) &&
           FindFunction(cng, "BCryptCreateHash", l.BCryptCreateHash) &&
           FindFunction(cng, "BCryptHashData", l.BCryptHashData) &&
           FindFunction(cng, "BCryptFinishHash", l.BCryptFinishHash) &&
           FindFunction(cng, "BCryptDestroyHash", l.BCryptDestroyHash) &&
           FindFunction(cng, "BCryptImportKeyPair", l.BCryptImportKeyPair) &&
           FindFunction(cng, "BCryptVerifySignature", l.BCryptVerifySignature) &&
           FindFunction(cng, "BCryptDestroyKey", l.BCryptDestroyKey);
}

}  // namespace

const BCryptLibrary* LoadBCryptLibrary() {
    // Only the UI thread checks signatures; the static's own guard covers any other caller.
    static BCryptLibrary library;
    static const bool loaded = Load(library);
    return loaded ? &library : nullptr;
}

}  // namespace ombrix
