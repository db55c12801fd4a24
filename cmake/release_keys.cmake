# The release keys of Update.exe: the PEM file UPDATE_SIGNING_KEYS becomes a generated source
# (UPDATE_RELEASE_KEYS_SOURCE) at build time. An updater without keys installs whatever the
# network hands it, so a build without them must be asked for by name.
set(UPDATE_SIGNING_KEYS "" CACHE FILEPATH
    "PEM file with the ECDSA P-256 public keys (current first, then backups) releases are signed with")
option(UPDATE_ALLOW_UNSIGNED "Build Update.exe without release keys (it then installs unsigned releases)"
       OFF)

if(NOT UPDATE_SIGNING_KEYS AND NOT UPDATE_ALLOW_UNSIGNED)
  message(FATAL_ERROR
    "UPDATE_SIGNING_KEYS is not set. Update.exe installs only releases signed with one of the "
    "vendor's keys, so that nobody between the update server and the user (an open Wi-Fi, a "
    "hostile router, a compromised mirror) can slip in a program of their own. Build with "
    "-DUPDATE_SIGNING_KEYS=release-keys.pem (public keys as `openssl ec -pubout` writes them; "
    "docs/signing.md), or, for tests and demos only, ask for an updater that installs unsigned "
    "releases with -DUPDATE_ALLOW_UNSIGNED=ON.")
endif()

set(UPDATE_RELEASE_KEYS_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/release_keys.cpp)
set(generator ${CMAKE_SOURCE_DIR}/cmake/release_keys.py)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
if(UPDATE_SIGNING_KEYS)
  if(NOT EXISTS "${UPDATE_SIGNING_KEYS}")
    message(FATAL_ERROR "UPDATE_SIGNING_KEYS names no file: ${UPDATE_SIGNING_KEYS}")
  endif()
  add_custom_command(OUTPUT ${UPDATE_RELEASE_KEYS_SOURCE}
    COMMAND ${Python3_EXECUTABLE} ${generator} ${UPDATE_SIGNING_KEYS} ${UPDATE_RELEASE_KEYS_SOURCE}
    DEPENDS ${UPDATE_SIGNING_KEYS} ${generator}
    COMMENT "Building the release keys of ${UPDATE_SIGNING_KEYS} into Update.exe"
    VERBATIM)
else()
  add_custom_command(OUTPUT ${UPDATE_RELEASE_KEYS_SOURCE}
    COMMAND ${Python3_EXECUTABLE} ${generator} --none ${UPDATE_RELEASE_KEYS_SOURCE}
    DEPENDS ${generator}
    COMMENT "Update.exe without release keys (UPDATE_ALLOW_UNSIGNED)"
    VERBATIM)
endif()
