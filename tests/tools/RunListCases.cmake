# Builds the rule folder FOLDER into ROOT/Data/Scp/Chatsieve.res with the
# chatsieve program CHATSIEVE, then runs the cases file CASES against it.
file(REMOVE_RECURSE ${ROOT})
execute_process(COMMAND ${CHATSIEVE} build ${FOLDER} -o ${ROOT}/Data/Scp/Chatsieve.res
                RESULT_VARIABLE built OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building ${FOLDER} failed:\n${out}${err}")
endif()
execute_process(COMMAND ${CHATSIEVE} test --root ${ROOT} ${CASES} RESULT_VARIABLE passed)
if(NOT passed EQUAL 0)
  message(FATAL_ERROR "cases of ${CASES} failed")
endif()
