# cmake -DIMAGE=Chatsieve.dll -DOBJDUMP=objdump -P CheckThiscall.cmake
# A 32-bit host built with another Windows compiler calls IChatsieve's
# operations with the thiscall convention: `this` in ECX, the arguments on the
# stack, popped by the callee. So FilterText (four arguments) must return with
# "ret $0x10" (a cdecl member would return with a plain ret, a stdcall one
# with "ret $0x14"), and Uninit (none) with a plain ret.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${IMAGE} OUTPUT_VARIABLE code RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot disassemble ${IMAGE}")
endif()

function(check_returns symbol expected)
  string(FIND "${code}" "<${symbol}>:\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${IMAGE} has no symbol ${symbol} (built without symbols?)")
  endif()
  string(SUBSTRING "${code}" ${start} -1 body)
  string(FIND "${body}" "\n\n" end)
  string(SUBSTRING "${body}" 0 ${end} body)
  string(REGEX MATCHALL "\tret[^\n]*" returns "${body}")
  if(NOT returns)
    message(FATAL_ERROR "no ret in ${symbol}")
  endif()
  foreach(instruction IN LISTS returns)
    string(STRIP "${instruction}" instruction)
    string(REGEX REPLACE "[ \t]+" " " instruction "${instruction}")
    if(NOT instruction STREQUAL expected)
      message(FATAL_ERROR "${symbol} returns with '${instruction}', expected '${expected}': not thiscall")
    endif()
  endforeach()
  message(STATUS "${symbol}: ${expected}")
endfunction()

check_returns(__ZN9chatsieve10CChatsieve10FilterTextEPKcPcji "ret $0x10")
check_returns(__ZN9chatsieve10CChatsieve6UninitEv "ret")
