#pragma once
// The public keys that releases must be signed with, built into Update.exe from the PEM file
// named by UPDATE_SIGNING_KEYS (the source is generated at build time); none in a build made
// with UPDATE_ALLOW_UNSIGNED.
#include <vector>

#include "platform/ecdsa.h"

namespace ombrix {

std::vector<EcdsaKey> BuiltInReleaseKeys();

}  // namespace ombrix
