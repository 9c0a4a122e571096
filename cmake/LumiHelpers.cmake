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

# lumi_test(name dir DEPS ...): one GoogleTest program from dir/*.cpp, registered
# with CTest test by test. Tests run in their own temporary folders (tests/support).
function(lumi_test name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  lumi_sources(_src ${dir})
  if(NOT _src)
    return()
  endif()
  add_executable(${name} ${_src})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} lumi_test_support GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()
