#pragma once
// The system's CNG primitives, loaded when the first release signature is checked rather than
// with the program: bcrypt.dll is no KnownDLL, so a static import could be taken from the
// program's own folder, and only a build with release keys needs it, once the download is whole.
#include <windows.h>

#include <bcrypt.h>

namespace ombrix {

struct BCryptLibrary {
    decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider = nullptr;
    decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider = nullptr;
    decltype(&::BCryptCreateHash) BCryptCreateHash = nullptr;
    decltype(&::BCryptHashData) BCryptHashData = nullptr;
    decltype(&::BCryptFinishHash) BCryptFinishHash = nullptr;
    decltype(&::BCryptDestroyHash) BCryptDestroyHash = nullptr;
    decltype(&::BCryptImportKeyPair) BCryptImportKeyPair = nullptr;
    decltype(&::BCryptVerifySignature) BCryptVerifySignature = nullptr;
    decltype(&::BCryptDestroyKey) BCryptDestroyKey = nullptr;
};

// The functions, from the copy in the system folder (never from the program's own folder).
// Loaded once and kept for the life of the process; null when the library or a function is
// missing.
const BCryptLibrary* LoadBCryptLibrary();

}  // namespace ombrix
