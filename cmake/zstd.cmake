# zstd's decompressor, for the updater's binary deltas, built from Debian's source package of
# libzstd. scripts/setup.sh fetches and unpacks it into a per-user cache outside the repository:
# $OMBRIX_ZSTD_SOURCE, else ${XDG_CACHE_HOME:-~/.cache}/ombrix/zstd-source.
#   ombrix_zstd           lib/common + lib/decompress only: no compressor, no legacy formats, no
#                         threads, built for size; what Update.exe links.
#   ombrix_zstd_compress  lib/compress, native trees only, for the unit tests to make frames.
if(DEFINED ENV{OMBRIX_ZSTD_SOURCE} AND NOT "$ENV{OMBRIX_ZSTD_SOURCE}" STREQUAL "")
  set(ombrix_zstd_default "$ENV{OMBRIX_ZSTD_SOURCE}")
elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(ombrix_zstd_default "$ENV{XDG_CACHE_HOME}/ombrix/zstd-source")
else()
  set(ombrix_zstd_default "$ENV{HOME}/.cache/ombrix/zstd-source")
endif()
set(OMBRIX_ZSTD_SOURCE_DIR "${ombrix_zstd_default}" CACHE PATH
    "zstd's source: Debian's source package of libzstd as scripts/setup.sh unpacks it")

set(ombrix_zstd_marker "${OMBRIX_ZSTD_SOURCE_DIR}/.debian-source")
if(NOT EXISTS "${ombrix_zstd_marker}" OR NOT EXISTS "${OMBRIX_ZSTD_SOURCE_DIR}/lib/zstd.h")
  message(FATAL_ERROR "zstd's source is not in ${OMBRIX_ZSTD_SOURCE_DIR}. Run "
                      "`bash scripts/setup.sh` (it fetches Debian's source package of libzstd "
                      "there), or point OMBRIX_ZSTD_SOURCE_DIR at an unpacked one.")
endif()
file(STRINGS "${ombrix_zstd_marker}" ombrix_zstd_version LIMIT_COUNT 1)
message(STATUS "zstd: Debian's ${ombrix_zstd_version} from ${OMBRIX_ZSTD_SOURCE_DIR}")

set(ombrix_zstd_lib "${OMBRIX_ZSTD_SOURCE_DIR}/lib")
add_library(ombrix_zstd STATIC
  ${ombrix_zstd_lib}/common/debug.c
  ${ombrix_zstd_lib}/common/entropy_common.c
  ${ombrix_zstd_lib}/common/error_private.c
  ${ombrix_zstd_lib}/common/fse_decompress.c
  ${ombrix_zstd_lib}/common/xxhash.c
  ${ombrix_zstd_lib}/common/zstd_common.c
  ${ombrix_zstd_lib}/decompress/huf_decompress.c
  ${ombrix_zstd_lib}/decompress/zstd_ddict.c
  ${ombrix_zstd_lib}/decompress/zstd_decompress.c
  ${ombrix_zstd_lib}/decompress/zstd_decompress_block.c)
target_include_directories(ombrix_zstd SYSTEM PUBLIC ${ombrix_zstd_lib})
# The same options in every tree, so that the unit tests test the decoder that ships.
target_compile_definitions(ombrix_zstd PUBLIC
  ZSTD_LEGACY_SUPPORT=0 XXH_NAMESPACE=ZSTD_
  PRIVATE
  # one Huffman decoder and one sequence decoder instead of two of each, nothing inlined, error
  # codes without their texts: the smallest decoder (lib/README.md)
  HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_NO_INLINE
  ZSTD_STRIP_ERROR_STRINGS
  # no BMI2 twin of each hot loop and no assembly Huffman loop (mingw never uses it anyway)
  DYNAMIC_BMI2=0 ZSTD_DISABLE_ASM
  # no tracing hooks, no debug output
  ZSTD_TRACE=0 DEBUGLEVEL=0)
# Someone else's code: its warnings are not ours to fix.
target_compile_options(ombrix_zstd PRIVATE -w)
if(WIN32)
  # No unwind tables (a fifth of the decoder's bytes): zstd calls back into nothing that throws.
  target_compile_options(ombrix_zstd PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()

if(NOT WIN32)
  file(GLOB ombrix_zstd_compress_sources ${ombrix_zstd_lib}/compress/*.c)
  list(FILTER ombrix_zstd_compress_sources EXCLUDE REGEX "zstdmt_compress\\.c$")
  add_library(ombrix_zstd_compress STATIC EXCLUDE_FROM_ALL ${ombrix_zstd_compress_sources})
  target_link_libraries(ombrix_zstd_compress PUBLIC ombrix_zstd)
  target_compile_definitions(ombrix_zstd_compress PRIVATE DYNAMIC_BMI2=0 ZSTD_DISABLE_ASM
                             ZSTD_TRACE=0 DEBUGLEVEL=0)
  target_compile_options(ombrix_zstd_compress PRIVATE -w)
endif()
