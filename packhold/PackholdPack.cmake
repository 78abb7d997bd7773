# packhold_pack(OUTPUT out.res TABLES t0.tsv t1.tsv ...
#               [KEY key] [NO_TABLE_SET] [TARGET name] [NOT_ALL])
#
# Packs the TSV tables, in the order given, into `out.res` at build time with
# packhold-pack, and adds a target (TARGET, or one named after the output)
# that builds it with every build unless NOT_ALL is given. The package is
# repacked when a table or the packer changes. Relative table paths are taken
# from the calling directory's source folder, a relative output from its
# binary folder. The target's name is also stored in PACKHOLD_PACK_TARGET in
# the caller's scope, for add_dependencies.
function(packhold_pack)
  cmake_parse_arguments(ARG "NO_TABLE_SET;NOT_ALL" "OUTPUT;KEY;TARGET" "TABLES" ${ARGN})
  if(NOT ARG_OUTPUT)
    message(FATAL_ERROR "packhold_pack: OUTPUT is required")
  endif()
  if(ARG_NO_TABLE_SET AND ARG_TABLES)
    message(FATAL_ERROR "packhold_pack: NO_TABLE_SET takes no TABLES")
  endif()
  cmake_path(ABSOLUTE_PATH ARG_OUTPUT BASE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} NORMALIZE)
  set(tables "")
  foreach(table IN LISTS ARG_TABLES)
    cmake_path(ABSOLUTE_PATH table BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    list(APPEND tables ${table})
  endforeach()
  set(options "")
  if(DEFINED ARG_KEY)
    list(APPEND options --key "${ARG_KEY}")
  endif()
  if(ARG_NO_TABLE_SET)
    list(APPEND options --no-table-set)
  endif()
  if(NOT ARG_TARGET)
    file(RELATIVE_PATH name ${PROJECT_BINARY_DIR} ${ARG_OUTPUT})
    string(MAKE_C_IDENTIFIER "pack_${name}" ARG_TARGET)
  endif()
  cmake_path(GET ARG_OUTPUT PARENT_PATH folder)
  add_custom_command(
    OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND packhold-pack -o ${ARG_OUTPUT} ${options} ${tables}
    DEPENDS packhold-pack ${tables}
    COMMENT "Packing ${ARG_OUTPUT}"
    VERBATIM)
  if(ARG_NOT_ALL)
    add_custom_target(${ARG_TARGET} DEPENDS ${ARG_OUTPUT})
  else()
    add_custom_target(${ARG_TARGET} ALL DEPENDS ${ARG_OUTPUT})
  endif()
  set(PACKHOLD_PACK_TARGET ${ARG_TARGET} PARENT_SCOPE)
endfunction()
