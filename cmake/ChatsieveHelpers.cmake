# Shared build helpers: warnings, export lists and test registration.

include(${CMAKE_CURRENT_LIST_DIR}/ExportList.cmake)

function(chatsieve_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${CHATSIEVE_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                                             $<$<BOOL:${CHATSIEVE_WERROR}>:-Werror>)
  endif()
endfunction()

# Exports exactly the names listed in LIST_FILE (one a line, '#' comments) from
# a shared library: a .def file on Windows, a version script elsewhere. Both
# come from the one list, which the symbol-table test also reads.
function(chatsieve_export_list target list_file)
  chatsieve_read_export_list(${list_file} names)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  if(WIN32)
    set(def "EXPORTS\n")
    foreach(name IN LISTS names)
      string(APPEND def "    ${name}\n")
    endforeach()
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
    file(GENERATE OUTPUT ${out} CONTENT "${def}")
    target_sources(${target} PRIVATE ${out})
  else()
    set(script "{\n  global:\n")
    foreach(name IN LISTS names)
      string(APPEND script "    ${name};\n")
    endforeach()
    string(APPEND script "  local:\n    *;\n};\n")
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    file(GENERATE OUTPUT ${out} CONTENT "${script}")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${out}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${out})
  endif()
endfunction()

# chatsieve_add_test(NAME SOURCES src... [LIBS lib...])
# One test program per test file, registered with CTest test by test.
function(chatsieve_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  chatsieve_warnings(${name})
  # Test names only: the parameters' printed values would make the listing
  # too wide to read.
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
endfunction()

# A test that the built shared library exports exactly the names of its list.
function(chatsieve_add_export_test name target list_file)
  find_program(CHATSIEVE_OBJDUMP NAMES ${CMAKE_OBJDUMP} objdump)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DLIST=${list_file}
                   -DNM=${CMAKE_NM} -DOBJDUMP=${CHATSIEVE_OBJDUMP} -P ${PROJECT_SOURCE_DIR}/cmake/CheckExports.cmake)
endfunction()

# GoogleTest built from the source Debian ships (libgtest-dev), for builds that
# cannot link the installed library: the Windows cross builds and the 32-bit
# sanitizer build. Makes the targets gtest and gtest_main, and GTest::gtest and
# GTest::gtest_main as find_package(GTest) names them.
function(chatsieve_gtest_from_source binary_dir)
  set(CHATSIEVE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree, for builds that build it")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CHATSIEVE_GTEST_SOURCE} ${binary_dir} EXCLUDE_FROM_ALL)
  foreach(target gtest gtest_main)
    if(NOT TARGET GTest::${target})
      add_library(GTest::${target} ALIAS ${target})
    endif()
  endforeach()
endfunction()
