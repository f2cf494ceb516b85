# Compiles every example script with marloc --disasm and fails when one does
# not compile: examples/*.bos with the headers of examples/include, and
# examples/extended/*.bos in the extended language (-X), whose headers lie
# beside the scripts.
#
#   cmake -DMARLOC=<marloc> -DEXAMPLES_DIR=<examples> -DWORK_DIR=<scratch> -P compile_examples.cmake
#
# Each group gets its own output folder under WORK_DIR, as both hold scripts
# of the same name.

foreach(required MARLOC EXAMPLES_DIR WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "compile_examples.cmake: -D${required}=... is missing")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/base" "${WORK_DIR}/extended")

set(failed "")
set(compiled 0)

# compile_group(<output folder> <scripts> <marloc options ...>)
function(compile_group out_dir scripts)
  foreach(script IN LISTS scripts)
    execute_process(COMMAND "${MARLOC}" ${ARGN} --disasm -o "${out_dir}" "${script}"
                    RESULT_VARIABLE status
                    OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    math(EXPR count "${compiled} + 1")
    set(compiled ${count} PARENT_SCOPE)
    set(compiled ${count})
    if(NOT status EQUAL 0)
      message("FAILED (${status}): marloc ${ARGN} ${script}\n${out}${err}")
      list(APPEND failed "${script}")
      set(failed "${failed}" PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

file(GLOB base_scripts "${EXAMPLES_DIR}/*.bos")
file(GLOB extended_scripts "${EXAMPLES_DIR}/extended/*.bos")
list(SORT base_scripts)
list(SORT extended_scripts)
if(NOT base_scripts AND NOT extended_scripts)
  message(FATAL_ERROR "no example scripts found in ${EXAMPLES_DIR}")
endif()

compile_group("${WORK_DIR}/base" "${base_scripts}" -I "${EXAMPLES_DIR}/include")
compile_group("${WORK_DIR}/extended" "${extended_scripts}" -X)

list(LENGTH failed failures)
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of ${compiled} example(s) did not compile: ${failed}")
endif()
message(STATUS "all ${compiled} examples compiled")
