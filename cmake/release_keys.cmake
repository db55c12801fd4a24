# The release keys of Update.exe: a PEM file becomes a generated source at build time. An updater
# without keys installs whatever the network hands it, so a build without them must be asked for
# by name.
set(UPDATE_SIGNING_KEYS "" CACHE FILEPATH
    "PEM file with the ECDSA P-256 public keys (current first, then backups) releases are signed with")
option(UPDATE_ALLOW_UNSIGNED "Build Update.exe without release keys (it then installs unsigned releases)"
       OFF)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Sets OUT_VAR to a source file, generated at OUTPUT, that holds the keys of KEYS (a PEM file), or
# none when KEYS is empty and unsigned builds are allowed.
function(ombrix_release_keys_source out_var output keys)
  if(NOT keys AND NOT UPDATE_ALLOW_UNSIGNED)
    message(FATAL_ERROR
      "UPDATE_SIGNING_KEYS is not set. Update.exe installs only releases signed with one of the "
      "vendor's keys, so that nobody between the update server and the user (an open Wi-Fi, a "
      "hostile router, a compromised mirror) can slip in a program of their own. Build with "
      "-DUPDATE_SIGNING_KEYS=release-keys.pem (public keys as `openssl ec -pubout` writes them; "
      "docs/signing.md), or, for tests and demos only, ask for an updater that installs unsigned "
      "releases with -DUPDATE_ALLOW_UNSIGNED=ON.")
  endif()
  set(generator ${CMAKE_SOURCE_DIR}/cmake/release_keys.py)
  if(keys)
    if(NOT EXISTS "${keys}")
      message(FATAL_ERROR "UPDATE_SIGNING_KEYS names no file: ${keys}")
    endif()
    add_custom_command(OUTPUT ${output}
      COMMAND ${Python3_EXECUTABLE} ${generator} ${keys} ${output}
      DEPENDS ${keys} ${generator}
      COMMENT "Building the release keys of ${keys} into Update.exe"
      VERBATIM)
  else()
    add_custom_command(OUTPUT ${output}
      COMMAND ${Python3_EXECUTABLE} ${generator} --none ${output}
      DEPENDS ${generator}
      COMMENT "Update.exe without release keys (UPDATE_ALLOW_UNSIGNED)"
      VERBATIM)
  endif()
  set(${out_var} ${output} PARENT_SCOPE)
endfunction()
