# Compiles every example script with marloc --disasm and fails when one does
# not compile: examples/*.bos with the headers of examples/include, and
# examples/extended/*.bos in the extended language (-X), whose headers lie
# beside the scripts. The first group compiles once more with
# --defines-ignore-case: none of its names clashes with a define whatever the
# case, so each .cob must come out the same.
#
#   cmake -DMARLOC=<marloc> -DEXAMPLES_DIR=<examples> -DWORK_DIR=<scratch> -P compile_examples.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
file(GLOB base "${EXAMPLES_DIR}/*.bos")
file(GLOB extended "${EXAMPLES_DIR}/extended/*.bos")
if(NOT base OR NOT extended)
  message(FATAL_ERROR "no example scripts found in ${EXAMPLES_DIR}")
endif()

# compile(<output folder> <scripts> <marloc options ...>)
function(compile out_dir scripts)
  file(MAKE_DIRECTORY "${out_dir}")
  foreach(script IN LISTS scripts)
    execute_process(COMMAND "${MARLOC}" ${ARGN} --disasm -o "${out_dir}" "${script}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
      message(SEND_ERROR "marloc ${ARGN} ${script} failed (${status}):\n${out}${err}")
    endif()
  endforeach()
endfunction()

compile("${WORK_DIR}/base" "${base}" -I "${EXAMPLES_DIR}/include")
compile("${WORK_DIR}/ignore-case" "${base}" -I "${EXAMPLES_DIR}/include" --defines-ignore-case)
compile("${WORK_DIR}/extended" "${extended}" -X)
foreach(script IN LISTS base)
  get_filename_component(cob "${script}" NAME_WE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK_DIR}/base/${cob}.cob"
                          "${WORK_DIR}/ignore-case/${cob}.cob" RESULT_VARIABLE differ)
  if(differ)
    message(SEND_ERROR "${cob}.cob differs with --defines-ignore-case")
  endif()
endforeach()
