# Installs the package into a fresh prefix and compiles its headers from there alone: each of
# the renderer's public headers on its own, then every installed header together. A header
# that reaches into the library's internals, which are not installed, fails here.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<dir> -DCXX=<compiler> -DHEADERS=<h|h|...> -P check_installed_headers.cmake
cmake_minimum_required(VERSION 3.20)
string(REPLACE "|" ";" HEADERS "${HEADERS}")
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed")
endif()

set(include_root ${PREFIX}/include/lumiscriber)
set(sources)
foreach(header IN LISTS HEADERS)
  if(NOT EXISTS ${include_root}/${header})
    message(FATAL_ERROR "${header} is not installed")
  endif()
  string(MAKE_C_IDENTIFIER ${header} name)
  file(WRITE ${PREFIX}/check/${name}.cpp "#include \"${header}\"\n")
  list(APPEND sources ${PREFIX}/check/${name}.cpp)
endforeach()

file(GLOB_RECURSE installed RELATIVE ${include_root} ${include_root}/*.h)
set(everything "")
foreach(header IN LISTS installed)
  string(APPEND everything "#include \"${header}\"\n")
endforeach()
file(WRITE ${PREFIX}/check/everything.cpp "${everything}")
list(APPEND sources ${PREFIX}/check/everything.cpp)

# Once as a host of the current library sees them, once as one of the legacy library.
foreach(variant "" "-DLUMI_LEGACY=1")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra ${variant} -I${include_root} ${sources}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "the installed headers do not compile on their own ${variant}")
  endif()
endforeach()
list(LENGTH installed count)
message(STATUS "${count} installed headers compile from ${include_root} alone")
