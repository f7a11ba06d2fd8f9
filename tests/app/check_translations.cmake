# SPDX-License-Identifier: GPL-3.0-or-later
# Runs lupdate over the program's sources on a copy of each committed .ts
# file and fails when that changes anything (a text added, changed or gone
# without "cmake --build build --target update_translations"), or when an
# entry still waits for its translation.
#   cmake -DLUPDATE=<lupdate> -DCONFIG=<file setting TS, SOURCES, OPTIONS,
#         INCLUDE and WORK> -P check_translations.cmake
include(${CONFIG})
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(_failed "")
foreach(_ts IN LISTS TS)
  get_filename_component(_name ${_ts} NAME)
  set(_copy ${WORK}/${_name})
  file(COPY_FILE ${_ts} ${_copy})
  execute_process(COMMAND ${LUPDATE} ${OPTIONS} -I ${INCLUDE} ${SOURCES} -ts ${_copy}
                  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${_name}:\n${_out}${_err}")
  endif()
  file(READ ${_ts} _before)
  file(READ ${_copy} _after)
  if(NOT _before STREQUAL _after)
    execute_process(COMMAND diff -u ${_ts} ${_copy})
    list(APPEND _failed "${_name} is not current with the sources (lupdate changes it, above)")
  endif()
  string(REGEX MATCHALL "<translation type=\"unfinished\"" _unfinished "${_after}")
  list(LENGTH _unfinished _n)
  if(_n GREATER 0)
    list(APPEND _failed "${_name}: ${_n} texts without a finished translation")
  endif()
  string(REGEX MATCHALL "<translation></translation>" _empty "${_after}")
  list(LENGTH _empty _n)
  if(_n GREATER 0)
    list(APPEND _failed "${_name}: ${_n} empty translations")
  endif()
endforeach()
if(_failed)
  string(REPLACE ";" "\n" _failed "${_failed}")
  message(FATAL_ERROR "${_failed}")
endif()
message(STATUS "translations current: ${TS}")
