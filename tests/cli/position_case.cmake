# Runs marloc on one case of tests/data/positions/<case>/ (main.bos and its
# headers, an optional `options` file with marloc options on one line) in a
# copy of the folder and compares what it writes to standard error with the
# case's `expected` file: the errors and warnings in the form editors and
# build tools read, path:line:col: kind: text.
#
#   cmake -DMARLOC=<marloc> -DCASE_DIR=<case> -DWORK_DIR=<scratch> -P position_case.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
file(COPY "${CASE_DIR}/" DESTINATION "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/out")
set(options "")
if(EXISTS "${CASE_DIR}/options")
  file(READ "${CASE_DIR}/options" options)
  string(STRIP "${options}" options)
  separate_arguments(options UNIX_COMMAND "${options}")
endif()
execute_process(COMMAND "${MARLOC}" ${options} -o out main.bos
                WORKING_DIRECTORY "${WORK_DIR}"
                OUTPUT_QUIET
                ERROR_VARIABLE actual)
file(READ "${CASE_DIR}/expected" expected)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "standard error differs\nexpected:\n${expected}actual:\n${actual}")
endif()
