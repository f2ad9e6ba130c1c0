# Installs the build into a scratch root under the /usr prefix and compares its files with
# the expected list.
file(REMOVE_RECURSE ${ROOT})
set(ENV{DESTDIR} ${ROOT})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE errors)
if(failed)
  message(FATAL_ERROR "cmake --install failed (is everything built?):\n${errors}")
endif()
file(GLOB_RECURSE installed RELATIVE ${ROOT} LIST_DIRECTORIES false ${ROOT}/*)
list(SORT installed)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
file(REMOVE_RECURSE ${ROOT})
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " installed "${installed}")
  string(REPLACE ";" "\n  " expected "${expected}")
  message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()
