# Builds the host example of README.md as a reader would and runs it from the
# folder holding the shipped rules, so the README's example cannot rot.
#   cmake -DREADME=... -DINCLUDE_DIR=... -DBIN_DIR=... -DCXX=... -DWORK_DIR=...
#         -P ReadmeHostExample.cmake
file(READ "${README}" readme)
string(FIND "${readme}" "## Using the library from a host" section)
if(section LESS 0)
  message(FATAL_ERROR "${README}: no \"Using the library from a host\" section")
endif()
string(SUBSTRING "${readme}" ${section} -1 readme)
string(FIND "${readme}" "```cpp\n" begin)
string(FIND "${readme}" "\n```\n" end)
if(begin LESS 0 OR end LESS begin)
  message(FATAL_ERROR "${README}: no ```cpp block in the host section")
endif()
math(EXPR begin "${begin} + 7")
math(EXPR length "${end} + 1 - ${begin}")
string(SUBSTRING "${readme}" ${begin} ${length} example)
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/host.cpp" "${example}")

execute_process(COMMAND "${CXX}" -I${INCLUDE_DIR} ${WORK_DIR}/host.cpp -L${BIN_DIR} -lchatsieve
                        -Wl,-rpath,${BIN_DIR} -o ${WORK_DIR}/host
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the README's host example does not compile (${WORK_DIR}/host.cpp)")
endif()
execute_process(COMMAND "${WORK_DIR}/host" WORKING_DIRECTORY "${BIN_DIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output STREQUAL "level 60: ****\n")
  message(FATAL_ERROR "the README's host example exited ${status} printing \"${output}\", "
                      "not \"level 60: ****\" as the README says")
endif()
