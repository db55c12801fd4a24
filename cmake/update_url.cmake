# The updater checks the file named after the update URL's last path segment and installs the
# file named after Label7's caption; they must be one file, or what was checked is not what is
# installed. Included by apps/CMakeLists.txt; also runs as a script (cmake -DUPDATE_URL=... -P)
# so that a test can try a URL without configuring a whole tree.
function(ombrix_check_update_url url)
  file(READ ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../resources/update_forms.h forms)
  # The caption is read from the window definition rather than repeated here.
  if(NOT forms MATCHES "\\.id = form1::Label7,[^}]*\\.text = L\"([^\"]*)\"")
    message(FATAL_ERROR "resources/update_forms.h: no caption found for Label7")
  endif()
  set(caption ${CMAKE_MATCH_1})
  string(FIND "${url}" "/" slash REVERSE)
  math(EXPR start "${slash} + 1")
  string(SUBSTRING "${url}" ${start} -1 segment)
  string(TOLOWER "${segment}" segment_lower)
  string(TOLOWER "${caption}" caption_lower)
  if(NOT segment_lower STREQUAL caption_lower)
    message(FATAL_ERROR
      "UPDATE_URL \"${url}\" ends in \"${segment}\", but the updater installs the file named "
      "after Label7's caption \"${caption}\" (resources/update_forms.h): the file it downloads "
      "and checks would not be the one it installs. Make the URL's last path segment "
      "\"${caption}\" (letter case aside).")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  ombrix_check_update_url("${UPDATE_URL}")
endif()
