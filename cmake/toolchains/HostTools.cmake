# Programs a cross build needs to run on the build machine itself, built from
# the same sources by a native build nested in <build>/host:
#  - build-time tools (the packer, anything that makes the shipped data): the
#    .exe the cross build makes cannot run here. A tool's target registered
#    with chatsieve_run_on_host() keeps its add_custom_command() calls as they
#    are; CMake puts the target's CROSSCOMPILING_EMULATOR in front of the .exe,
#    and that runs the native build of the same tool instead.
#  - with CHATSIEVE_WINE_TESTS, the native filter library and test host, whose
#    screening the Windows build running under Wine must match byte for byte.
# The native build does not depend on the target, so the 32-bit and 64-bit
# Windows builds may share one (CHATSIEVE_HOST_BUILD_DIR, set by the presets);
# the builds using it must not run at the same time.
include_guard(GLOBAL)
include(ExternalProject)

# Wine runs both the 32-bit and the 64-bit build on an x86-64 Linux machine.
set(wine_default OFF)
if(CHATSIEVE_BUILD_TESTS AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|AMD64|x86_64)$"
   AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_HOST_SYSTEM_PROCESSOR MATCHES "^(AMD64|x86_64)$")
  set(wine_default ON)
endif()
option(CHATSIEVE_WINE_TESTS "Run the Windows build's tests under Wine (win32 or win64 to match the build)" ${wine_default})

set(CHATSIEVE_HOST_BUILD_DIR ${PROJECT_BINARY_DIR}/host CACHE PATH "Folder of the native build of the build-time tools")
# Where the native programs land.
set(CHATSIEVE_HOST_BIN ${CHATSIEVE_HOST_BUILD_DIR}/bin CACHE INTERNAL "")

# chatsieve_run_on_host(target): wherever a build step runs the cross-built
# `target`, run the native build of it (same output name) in its place.
function(chatsieve_run_on_host target)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
    "/bin/sh;${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run-host-tool.sh;${CHATSIEVE_HOST_BIN}/${name}")
  add_dependencies(${target} chatsieve_host_tools)
  set_property(GLOBAL APPEND PROPERTY CHATSIEVE_HOST_TARGETS ${target})
endfunction()

# Added once the whole project is configured, so that it builds every tool
# registered anywhere.
function(chatsieve_add_host_build)
  get_property(targets GLOBAL PROPERTY CHATSIEVE_HOST_TARGETS)
  set(tests OFF)
  if(CHATSIEVE_WINE_TESTS)
    list(APPEND targets chatsieve packhold ChatsieveHost)
    set(tests ON)
  endif()
  list(REMOVE_DUPLICATES targets)
  # One nested build of every target, in parallel. It cannot share the outer
  # make's jobserver (it is not run as a recursive make), so it drops the
  # outer MAKEFLAGS and takes the machine's core count instead of -j1.
  cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
  set(steps ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS
    ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel ${jobs} --target ${targets})
  ExternalProject_Add(chatsieve_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CHATSIEVE_HOST_BUILD_DIR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCHATSIEVE_BUILD_TOOLS=ON -DCHATSIEVE_BUILD_TESTS=${tests}
    BUILD_COMMAND ${steps}
    INSTALL_COMMAND ""
    # The nested build decides itself what changed.
    BUILD_ALWAYS ON)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL chatsieve_add_host_build)
