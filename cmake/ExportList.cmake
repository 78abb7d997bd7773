# chatsieve_read_export_list(list_file out_var): the names of an export list
# (one a line, '#' comments), for the build and for the symbol-table check,
# which both read the list this one way. Usable from scripts (cmake -P) too.
function(chatsieve_read_export_list list_file out_var)
  file(STRINGS ${list_file} lines)
  set(names "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line AND NOT line MATCHES "^#")
      list(APPEND names ${line})
    endif()
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
