cmake_minimum_required(VERSION 3.25)
# lintian on the package that cpack -G DEB made in BUILD_DIR: no error and no warning, and the maintainer
# that the build was configured with. Without lintian, or without a package newer than the programs, there
# is nothing to check.
#   cmake -DBUILD_DIR=<build> -DVERSION=<x.y.z.w> -DMAINTAINER=<Name <address>> -DPROGRAM=<a program> -P LintianTest.cmake
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message("SKIP: lintian is not installed (scripts/setup installs it)")
  return()
endif()
file(GLOB packages ${BUILD_DIR}/oxs-remote-control_${VERSION}_*.deb)
if(NOT packages)
  message("SKIP: no package: run cpack -G DEB in ${BUILD_DIR} first")
  return()
endif()
list(GET packages 0 package)
if("${PROGRAM}" IS_NEWER_THAN "${package}")
  message("SKIP: ${package} is older than the programs: run cpack -G DEB again")
  return()
endif()

set(failures)
execute_process(COMMAND dpkg-deb --field ${package} Maintainer OUTPUT_VARIABLE field OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT field STREQUAL MAINTAINER)
  list(APPEND failures "Maintainer: '${field}', configured '${MAINTAINER}'")
endif()

# Tags go to standard output as "E: package: tag ...", one a line; lintian's notes about itself to standard error.
execute_process(COMMAND ${LINTIAN} --no-cfg --display-info ${package}
                RESULT_VARIABLE rc OUTPUT_VARIABLE tags ERROR_VARIABLE err)
message("lintian ${package}:\n${tags}")
string(REGEX MATCHALL "(^|\n)[EW]: [^\n]*" findings "${tags}")
if(findings OR NOT (rc EQUAL 0 OR rc EQUAL 1)) # 1: tags at error level, listed
  list(APPEND failures "lintian (${rc}):${findings} ${err}")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "package:\n  ${text}")
endif()
