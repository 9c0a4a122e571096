# Checks that a renderer library is made of its own build's code: it holds (defines or refers
# to) every name of PRESENT and none of ABSENT, looking at all of its symbols, the hidden ones
# included, and it needs none of the shared libraries of NOT_NEEDED. A name stands for a class
# (its members, virtual table and type information, and those of its template instances), a
# function or an object.
#   cmake -DNM=<nm> -DREADELF=<readelf> -DLIBRARY=<lib.so> -DPRESENT=<name|...> -DABSENT=<name|...>
#         [-DNOT_NEEDED=<lib.so|...>] -P check_build_names.cmake
cmake_minimum_required(VERSION 3.20)
string(REPLACE "|" ";" PRESENT "${PRESENT}")
string(REPLACE "|" ";" ABSENT "${ABSENT}")
string(REPLACE "|" ";" NOT_NEEDED "${NOT_NEEDED}")

execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT dynamic MATCHES "\\(NEEDED\\)")
  message(FATAL_ERROR "${READELF} found no needed libraries in ${LIBRARY}")
endif()
foreach(library IN LISTS NOT_NEEDED)
  if(dynamic MATCHES "Shared library: \\[${library}\\]")
    message(FATAL_ERROR "${LIBRARY} needs ${library}")
  endif()
endforeach()

execute_process(COMMAND ${NM} -C ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()
string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\n" ";" listing "${listing}")

# The name each symbol belongs to: what comes before its first "::", "<" or "(".
set(owners)
foreach(entry IN LISTS listing)
  # "<address> <kind> <name>", or "<kind> <name>" for a symbol referred to.
  if(NOT entry MATCHES "^([0-9a-f]+ )? *[A-Za-z] (.*)$")
    continue()
  endif()
  string(REGEX REPLACE "^(typeinfo name for|typeinfo for|vtable for|VTT for|non-virtual thunk to|virtual thunk to|guard variable for) "
         "" symbol "${CMAKE_MATCH_2}")
  string(REGEX REPLACE "^[^:<(]* ([A-Za-z_][A-Za-z0-9_]*(::|<|\\())" "\\1" symbol "${symbol}")  # a return type
  string(REGEX MATCH "^[A-Za-z_][A-Za-z0-9_]*" owner "${symbol}")
  if(owner)
    list(APPEND owners "${owner}")
  endif()
endforeach()
list(REMOVE_DUPLICATES owners)
list(LENGTH owners count)
if(count LESS 100)
  message(FATAL_ERROR "${LIBRARY}: only ${count} symbol names; is its symbol table stripped?")
endif()

set(missing)
foreach(name IN LISTS PRESENT)
  if(NOT name IN_LIST owners)
    list(APPEND missing "${name}")
  endif()
endforeach()
set(found)
foreach(name IN LISTS ABSENT)
  if(name IN_LIST owners)
    list(APPEND found "${name}")
  endif()
endforeach()
if(missing OR found)
  message(FATAL_ERROR "${LIBRARY}\nmissing: ${missing}\nof the other build: ${found}")
endif()
message(STATUS "${LIBRARY}: holds its build's ${PRESENT} and none of ${ABSENT}")
