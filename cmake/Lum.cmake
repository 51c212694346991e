# Settings and helpers shared by the host and the win32 build.

option(LUM_SANITIZE "Build the host code with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(WIN32)
  # How code is generated, at compilation and again at a link-time optimised link. Frame
  # pointers stay for stack traces. Optimised for size: the code shrinks by more than a third,
  # and what the program does at start-up and install waits on the system, not on its own
  # instructions (README, Benchmarks); later on the command line than the build type's -O2,
  # so it wins. Processor faults become exceptions at the faulting instruction, which must be
  # able to unwind (errors/LumSysFaults.h; the raise hooks are link options of lum_errors).
  set(lum_code_options -fno-omit-frame-pointer -Os -fnon-call-exceptions
      -fasynchronous-unwind-tables)
  add_compile_options(${lum_code_options})
  # Static: no runtime libraries to ship.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Link-time optimisation for the targets whose property LUM_LTO is on (the program; README,
  # How the executable is made): the objects carry the compiler's intermediate code beside
  # their machine code, and every other target links the machine code as before (-fno-lto,
  # which no later -flto undoes), which keeps the tests' links quick. The archives are made
  # with the tools that index the intermediate code. The code generation at the link takes the
  # options of the compilation again, after the build type's -O2 of the link line. In one
  # process (-flto-partition=none): GCC 12 fails on this code with the program split into
  # partitions (an internal error) and with one partition streamed to a file.
  add_compile_options(-flto -ffat-lto-objects)
  set(lum_lto_link_options -flto -flto-partition=none -fuse-linker-plugin -g ${lum_code_options})
  list(JOIN lum_lto_link_options "$<SEMICOLON>" lum_lto_link_options)
  add_link_options("$<IF:$<BOOL:$<TARGET_PROPERTY:LUM_LTO>>,${lum_lto_link_options},-fno-lto>")
  set(CMAKE_AR ${CMAKE_CXX_COMPILER_AR})
  set(CMAKE_RANLIB ${CMAKE_CXX_COMPILER_RANLIB})
  # Windows executables run under Wine through one wrapper (prefix inside this build folder).
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${CMAKE_BINARY_DIR}/wineprefix)
  if(NOT LUM_HOST_TOOLS)
    message(FATAL_ERROR "The win32 build needs LUM_HOST_TOOLS: the host build's tools folder")
  endif()
  set(LUMBUILD ${LUM_HOST_TOOLS}/lumbuild)
  set(LUMBUILD_DEPENDS ${LUMBUILD})
  set(LUMFORM ${LUM_HOST_TOOLS}/lumform)
  set(LUMFORM_DEPENDS ${LUMFORM})
  set(LUMDBG ${LUM_HOST_TOOLS}/lumdbg)
  set(LUMDBG_DEPENDS ${LUMDBG})
  find_program(LUM_OBJCOPY NAMES i686-w64-mingw32-objcopy REQUIRED)
  find_program(LUM_WINDRES NAMES i686-w64-mingw32-windres REQUIRED)
else()
  if(LUM_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  set(LUMBUILD $<TARGET_FILE:lumbuild>)
  set(LUMBUILD_DEPENDS lumbuild)
  set(LUMFORM $<TARGET_FILE:lumform>)
  set(LUMFORM_DEPENDS lumform)
  set(LUMDBG $<TARGET_FILE:lumdbg>)
  set(LUMDBG_DEPENDS lumdbg)
endif()

set(LUM_GEN_DIR ${CMAKE_BINARY_DIR}/gen)

function(lum_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Generates from the .rstr files: one header per module (gen/rstr/<Module>.h, in the interface
# library lum_rstr), the string tables (gen/strings.res) and the
# name map (gen/LUM.RSM.bin).
function(lum_resource_strings)
  set(headers)
  foreach(file IN LISTS ARGN)
    get_filename_component(module ${file} NAME_WE)
    list(APPEND headers ${LUM_GEN_DIR}/rstr/${module}.h)
  endforeach()
  add_custom_command(
    OUTPUT ${headers} ${LUM_GEN_DIR}/LUM.RSM.bin ${LUM_GEN_DIR}/strings.res
    COMMAND ${LUMBUILD} strings --header-dir ${LUM_GEN_DIR} --map ${LUM_GEN_DIR}/LUM.RSM.bin
            --res ${LUM_GEN_DIR}/strings.res ${ARGN}
    DEPENDS ${ARGN} ${LUMBUILD_DEPENDS}
    COMMENT "Generating resource string tables and name map"
    VERBATIM)
  add_custom_target(lum_rstr_gen DEPENDS ${headers} ${LUM_GEN_DIR}/LUM.RSM.bin)
  add_library(lum_rstr INTERFACE)
  target_include_directories(lum_rstr INTERFACE ${LUM_GEN_DIR})
  add_dependencies(lum_rstr lum_rstr_gen)
endfunction()

# Gives a Windows executable the packed debug information of its own link as section LUM.DBG,
# and strips its DWARF and symbols, as the program's post-link step does (for tests that check
# stack lines).
function(lum_debug_section target)
  set(dbg ${CMAKE_CURRENT_BINARY_DIR}/${target}.dbg)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${LUMDBG} $<TARGET_FILE:${target}> ${dbg}
    COMMAND ${CMAKE_COMMAND} -DIN=$<TARGET_FILE:${target}> -DOUT=$<TARGET_FILE:${target}>
            -DOBJCOPY=${LUM_OBJCOPY} -DLUMBUILD=${LUMBUILD} -DSECTIONS=LUM.DBG=${dbg}
            -P ${CMAKE_SOURCE_DIR}/cmake/AddSections.cmake
    VERBATIM)
endfunction()

# Converts a .res file into an object file the linker takes.
function(lum_res_object res object)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${LUM_WINDRES} -J res -O coff -i ${res} -o ${object}
    DEPENDS ${res}
    VERBATIM)
  set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
endfunction()

# Converts form text files into resource files (gen/forms/<name>.res, one RCDATA named after
# the form's class each); their list goes to LUM_FORM_RES.
function(lum_form_resources)
  set(outputs)
  foreach(file IN LISTS ARGN)
    get_filename_component(name ${file} NAME_WE)
    set(res ${LUM_GEN_DIR}/forms/${name}.res)
    add_custom_command(
      OUTPUT ${res}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${LUM_GEN_DIR}/forms
      COMMAND ${LUMFORM} ${file} ${res}
      DEPENDS ${file} ${LUMFORM_DEPENDS}
      COMMENT "Converting form ${name}"
      VERBATIM)
    list(APPEND outputs ${res})
  endforeach()
  set(LUM_FORM_RES ${outputs} PARENT_SCOPE)
endfunction()

# The resources test executables carry: the string tables and the forms, so that resource
# strings and forms load as they do in the program (interface library lum_test_res).
function(lum_test_resources)
  set(args)
  foreach(res IN LISTS ARGN)
    list(APPEND args --res ${res})
  endforeach()
  add_custom_command(
    OUTPUT ${LUM_GEN_DIR}/test.res
    COMMAND ${LUMBUILD} resources --out ${LUM_GEN_DIR}/test.res ${args}
    DEPENDS ${ARGN} ${LUMBUILD_DEPENDS} lum_rstr_gen
    VERBATIM)
  lum_res_object(${LUM_GEN_DIR}/test.res ${LUM_GEN_DIR}/test.o)
  add_custom_target(lum_test_res_gen DEPENDS ${LUM_GEN_DIR}/test.o)
  add_library(lum_test_res INTERFACE)
  target_sources(lum_test_res INTERFACE ${LUM_GEN_DIR}/test.o)
  add_dependencies(lum_test_res lum_test_res_gen)
endfunction()
