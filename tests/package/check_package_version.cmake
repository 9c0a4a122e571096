# Installs the package into a fresh prefix and configures the example host against it: its
# find_package(Lumiscriber 0.1 REQUIRED) must find the package by its version. Then asks the
# installed version file directly: it tells the project's version, accepts the same major and
# minor version and refuses a later minor one.
#   cmake -DBUILD_DIR=<build> -DPREFIX=<dir> -DEXAMPLE=<examples dir> -DGENERATOR=<generator>
#         -DCXX=<compiler> -DVERSION=<project version> -DLIBDIR=<lib dir> -DPOINTER_BYTES=<n>
#         -P check_package_version.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}/install
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${EXAMPLE} -B ${PREFIX}/example -G ${GENERATOR}
                        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${PREFIX}/install
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the example host does not find the installed package:\n${output}")
endif()

# What find_package hands the version file, for a request of `requested`.
function(ask requested compatible)
  set(PACKAGE_FIND_VERSION ${requested})
  string(REPLACE "." ";" parts ${requested})
  list(GET parts 0 PACKAGE_FIND_VERSION_MAJOR)
  list(GET parts 1 PACKAGE_FIND_VERSION_MINOR)
  set(PACKAGE_FIND_VERSION_RANGE FALSE)
  set(CMAKE_SIZEOF_VOID_P ${POINTER_BYTES})
  include(${PREFIX}/install/${LIBDIR}/cmake/Lumiscriber/LumiscriberConfigVersion.cmake)
  if(NOT PACKAGE_VERSION STREQUAL VERSION)
    message(FATAL_ERROR "the version file tells ${PACKAGE_VERSION}, the project is ${VERSION}")
  endif()
  if(NOT "${PACKAGE_VERSION_COMPATIBLE}" STREQUAL "${compatible}")
    message(FATAL_ERROR "a request of ${requested} is compatible: '${PACKAGE_VERSION_COMPATIBLE}', expected ${compatible}")
  endif()
endfunction()
ask(0.1 TRUE)
ask(0.2 FALSE)
message(STATUS "find_package(Lumiscriber 0.1) finds version ${VERSION}")
