# Post-link step of an executable: strips the DWARF and the symbol table of the linked image IN
# (LUM.DBG carries what stack traces need of them) and appends named read-only data sections,
# writing OUT.
#   -DIN=linked.exe -DOUT=final.exe -DOBJCOPY=objcopy -DLUMBUILD=lumbuild
#   -DSECTIONS=NAME=FILE[;NAME=FILE...]
# Each section goes right after the last one, so the image's sections stay contiguous.

set(work ${OUT}.tmp)
execute_process(COMMAND ${OBJCOPY} --strip-all ${IN} ${work} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objcopy --strip-all ${IN} failed")
endif()

foreach(section IN LISTS SECTIONS)
  string(FIND "${section}" "=" eq)
  string(SUBSTRING "${section}" 0 ${eq} name)
  math(EXPR from "${eq} + 1")
  string(SUBSTRING "${section}" ${from} -1 file)
  execute_process(COMMAND ${LUMBUILD} section-address ${work}
                  OUTPUT_VARIABLE address OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot find where section ${name} goes in ${work}")
  endif()
  execute_process(
    COMMAND ${OBJCOPY} --add-section ${name}=${file}
            --set-section-flags ${name}=contents,alloc,load,readonly,data
            --change-section-address ${name}=${address} ${work} ${work}.next
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objcopy could not add section ${name}")
  endif()
  file(RENAME ${work}.next ${work})
endforeach()
file(RENAME ${work} ${OUT})
