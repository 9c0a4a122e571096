# Each folder's sources are picked up by glob so that work in one folder never
# needs an edit in another folder's build file.
function(lumi_sources out dir)
  file(GLOB _src CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
  set(${out} ${_src} PARENT_SCOPE)
endfunction()

# lumi_static_library(name dir [DEPS ...] [INCLUDES ...]): a static, position-independent
# library of the .cpp files in dir. A folder without sources yet becomes an interface target.
function(lumi_static_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;INCLUDES" ${ARGN})
  lumi_sources(_src ${dir})
  if(_src)
    add_library(${name} STATIC ${_src})
    set(_scope PUBLIC)
  else()
    add_library(${name} INTERFACE)
    set(_scope INTERFACE)
  endif()
  target_include_directories(${name} ${_scope} ${PROJECT_SOURCE_DIR} ${ARG_INCLUDES})
  target_link_libraries(${name} ${_scope} ${ARG_DEPS})
endfunction()

# lumi_test(name dir DEPS ... [LABELS ...]): one GoogleTest program from dir/*.cpp, registered
# with CTest test by test (with the labels given). Tests run in their own temporary folders
# (tests/support).
function(lumi_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  lumi_sources(_src ${dir})
  if(NOT _src)
    return()
  endif()
  add_executable(${name} ${_src})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} lumi_test_support GTest::gtest GTest::gtest_main)
  set(_properties TIMEOUT 300)
  if(ARG_LABELS)
    list(APPEND _properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${_properties})
endfunction()

# lumi_platform_part(name dir [SHARED shared-target] [DEPS ...] [INCLUDES ...]): a stand-in
# folder. Its static library serves the tests and the renderer's static twins; its objects also
# go into a shared platform library (lumi_platform_shared unless SHARED names another), which
# lumi_shared_platform builds. Compiled with default visibility: a stand-in exports what it
# declares, as the system library it stands in for would.
function(lumi_platform_part name dir)
  cmake_parse_arguments(ARG "" "SHARED" "" ${ARGN})
  if(NOT ARG_SHARED)
    set(ARG_SHARED lumi_platform_shared)
  endif()
  lumi_static_library(${name} ${dir} ${ARG_UNPARSED_ARGUMENTS})
  get_target_property(_type ${name} TYPE)
  if(_type STREQUAL "STATIC_LIBRARY")
    # Inline functions stay visible too, so that no function-local static is duplicated per
    # shared object.
    set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
  endif()
  set_property(GLOBAL APPEND PROPERTY LUMI_PARTS_OF_${ARG_SHARED} ${name})
endfunction()

# lumi_shared_platform(name output-name export-name): the shared library lib<output-name>.so
# of the parts registered for it, known to hosts as Lumiscriber::<export-name>.
function(lumi_shared_platform name output_name export_name)
  get_property(_parts GLOBAL PROPERTY LUMI_PARTS_OF_${name})
  add_library(${name} SHARED)
  foreach(_part IN LISTS _parts)
    set_target_properties(${_part} PROPERTIES LUMI_SHARED_FORM ${name})
    get_target_property(_type ${_part} TYPE)
    if(_type STREQUAL "STATIC_LIBRARY")
      target_sources(${name} PRIVATE $<TARGET_OBJECTS:${_part}>)
    endif()
  endforeach()
  lumi_link_shared_forms(${name} ${_parts})
  lumi_shared_library_properties(${name} ${output_name} ${export_name})
endfunction()

# Links `target`, a shared library made of the objects of our static libraries `libs`, with
# what those libraries link: a platform part through the shared library that holds it, our
# own libraries folded into `target` through what they link in turn, anything else as it is.
function(lumi_link_shared_forms target)
  set(_todo ${ARGN})
  set(_seen)
  set(_links)
  while(_todo)
    list(POP_FRONT _todo _item)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _item "${_item}")
    if(_item IN_LIST _seen)
      continue()
    endif()
    list(APPEND _seen ${_item})
    if(NOT TARGET ${_item})
      list(APPEND _links ${_item})
      continue()
    endif()
    get_target_property(_imported ${_item} IMPORTED)
    get_target_property(_form ${_item} LUMI_SHARED_FORM)
    if(_imported)
      list(APPEND _links ${_item})
    elseif(_form AND NOT _form STREQUAL target)
      list(APPEND _links ${_form})
    else()
      get_target_property(_deps ${_item} INTERFACE_LINK_LIBRARIES)
      if(_deps)
        list(APPEND _todo ${_deps})
      endif()
    endif()
  endwhile()
  if(_links)
    target_link_libraries(${target} PRIVATE ${_links})
  endif()
endfunction()

# What every shared library of the package has: its file name, its name in the package, its
# headers' root in the build and install trees and the language level they need, no undefined
# symbol, and a run path that finds the other libraries of the package beside it once installed.
function(lumi_shared_library_properties name output_name export_name)
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${output_name}
    EXPORT_NAME ${export_name}
    INSTALL_RPATH "$ORIGIN")
  target_include_directories(${name} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${LUMI_INSTALL_INCLUDEDIR}>)
  target_compile_features(${name} INTERFACE cxx_std_20)
  # The fuzzers' coverage hooks in the image objects come from the fuzzer's own runtime.
  if(NOT LUMI_BUILD_FUZZ)
    target_link_options(${name} PRIVATE LINKER:--no-undefined)
  endif()
endfunction()
