# Golden preprocessor cases: one CTest per tests/data/preprocess/<group>/<case>/
# folder, named preprocess/<group>/<case>, so `ctest -R preprocess/cond/` runs
# one group. A new folder is picked up by the next build (the glob re-runs);
# the expectation files are read when the test runs.
add_executable(preprocess_runner ${CMAKE_CURRENT_LIST_DIR}/preprocess_runner.cpp)
target_link_libraries(preprocess_runner PRIVATE marlo_driver marlo_test_support)

set(MARLO_PREPROCESS_CASES_DIR ${PROJECT_SOURCE_DIR}/tests/data/preprocess)
file(GLOB MARLO_PREPROCESS_INPUTS CONFIGURE_DEPENDS ${MARLO_PREPROCESS_CASES_DIR}/*/*/main.bos)
list(SORT MARLO_PREPROCESS_INPUTS)

foreach(input IN LISTS MARLO_PREPROCESS_INPUTS)
  get_filename_component(case_dir ${input} DIRECTORY)
  get_filename_component(case_name ${case_dir} NAME)
  get_filename_component(group_dir ${case_dir} DIRECTORY)
  get_filename_component(case_group ${group_dir} NAME)
  add_test(NAME preprocess/${case_group}/${case_name} COMMAND preprocess_runner ${case_dir})
  set_tests_properties(preprocess/${case_group}/${case_name} PROPERTIES TIMEOUT 20)
endforeach()

# Every case folder has its input and expected text, and no expectation file
# is misspelt.
add_test(NAME preprocess/layout COMMAND preprocess_runner --layout ${MARLO_PREPROCESS_CASES_DIR})
