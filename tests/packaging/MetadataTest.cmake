cmake_minimum_required(VERSION 3.25)
# The menu entry, the AppStream entry and the changelog in the source tree: the validators desktops and
# software centres use accept them, and every version they carry is the program's version. (How the two
# entries meet once installed is the install test's.)
#   cmake -DSOURCE=<packaging folder> -DVERSION=<x.y.z.w> -P MetadataTest.cmake
set(failures)
set(missing)
# A finding; a ';' in a tool's text would split it in the list.
macro(fail text)
  string(REPLACE ";" "," _text "${text}")
  list(APPEND failures "${_text}")
endmacro()
set(desktop ${SOURCE}/oxs-remote-control.desktop)
file(GLOB metainfo ${SOURCE}/*.metainfo.xml)
list(LENGTH metainfo count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one AppStream file in ${SOURCE}, found: ${metainfo}")
endif()

# desktop-file-validate prints hints (two main categories, say) without failing: any output is a finding.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    fail("desktop-file-validate: ${rc} ${out}${err}")
  endif()
else()
  list(APPEND missing desktop-file-validate)
endif()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${metainfo}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # Warnings fail the validation; infos are findings too.
  if(NOT rc EQUAL 0 OR "${out}" MATCHES "(^|\n)[EWI]: ")
    fail("appstreamcli validate: ${rc} ${out}${err}")
  endif()
else()
  list(APPEND missing appstreamcli)
endif()

file(READ ${metainfo} xml)
get_filename_component(name ${metainfo} NAME)
# The newest release in each file is this version (a version bump that forgets one of them).
string(REGEX MATCH "<release version=\"([^\"]+)\"" _ "${xml}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  fail("${name}: newest release ${CMAKE_MATCH_1}, program ${VERSION}")
endif()
file(STRINGS ${SOURCE}/changelog.in first LIMIT_COUNT 1)
if(NOT first MATCHES "^oxs-remote-control \\(([^)]+)\\) ")
  fail("changelog.in does not start with an entry: ${first}")
elseif(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  fail("changelog.in: newest entry ${CMAKE_MATCH_1}, program ${VERSION}")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "package metadata:\n  ${text}")
endif()
if(missing)
  message("SKIP: not installed: ${missing} (scripts/setup installs them)")
endif()
