# Warnings for every target of the project; CI turns them into errors.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
# GCC 12 at -O3 reports "literal" + std::string as an overlapping copy inside libstdc++ (GCC bug
# 105329), which would fail every Release build with warnings as errors; later versions do not.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
if(MOXEL_WERROR)
  add_compile_options(-Werror)
endif()

if(MOXEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MOXEL_TSAN)
  if(MOXEL_SANITIZE)
    message(FATAL_ERROR "MOXEL_TSAN and MOXEL_SANITIZE cannot be combined: build them apart")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Shared libraries export only what their version script and export macro name.
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# Adds a shared C library with a public header folder and a version script.
function(moxel_add_wire_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set(script ${CMAKE_CURRENT_SOURCE_DIR}/${name}.map)
  target_link_options(${name} PRIVATE "LINKER:--version-script=${script}" "LINKER:--no-undefined")
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${script})
endfunction()
