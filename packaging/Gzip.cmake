cmake_minimum_required(VERSION 3.25)
# Compresses INPUT into OUTPUT as Debian wants documentation: best compression, no name and no time stamp,
# so that the same text always gives the same bytes.
#   cmake -DINPUT=<file> -DOUTPUT=<file.gz> -P Gzip.cmake
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9n -c "${INPUT}" OUTPUT_FILE "${OUTPUT}.part" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${OUTPUT}.part")
  message(FATAL_ERROR "gzip ${INPUT} failed (${rc})")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
