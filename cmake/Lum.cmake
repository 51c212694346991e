# Settings and helpers shared by the host and the win32 build.

option(LUM_SANITIZE "Build the host code with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(WIN32)
  # Static: no runtime libraries to ship. Frame pointers stay for stack traces.
  add_compile_options(-fno-omit-frame-pointer)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Windows executables run under Wine through one wrapper (prefix inside this build folder).
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${CMAKE_BINARY_DIR}/wineprefix)
  if(NOT LUM_HOST_TOOLS)
    message(FATAL_ERROR "The win32 build needs LUM_HOST_TOOLS: the host build's tools folder")
  endif()
  set(LUMBUILD ${LUM_HOST_TOOLS}/lumbuild)
  set(LUMBUILD_DEPENDS ${LUMBUILD})
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
endif()

set(LUM_GEN_DIR ${CMAKE_BINARY_DIR}/gen)

function(lum_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Generates from the .rstr files: one header per module (gen/rstr/<Module>.h, in the interface
# library lum_rstr), the string tables (gen/strings.res, and gen/strings.o on win32) and the
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
  set(products ${headers} ${LUM_GEN_DIR}/LUM.RSM.bin)
  if(WIN32)
    lum_res_object(${LUM_GEN_DIR}/strings.res ${LUM_GEN_DIR}/strings.o)
    list(APPEND products ${LUM_GEN_DIR}/strings.o)
  endif()
  add_custom_target(lum_rstr_gen DEPENDS ${products})
  add_library(lum_rstr INTERFACE)
  target_include_directories(lum_rstr INTERFACE ${LUM_GEN_DIR})
  add_dependencies(lum_rstr lum_rstr_gen)
  if(WIN32)
    # Test executables carry the string tables so that resource strings load as in the program.
    add_library(lum_strings_res INTERFACE)
    target_sources(lum_strings_res INTERFACE ${LUM_GEN_DIR}/strings.o)
    add_dependencies(lum_strings_res lum_rstr_gen)
  endif()
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
