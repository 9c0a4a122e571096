# The package a host builds against: the shared libraries, the headers a host includes, the
# CMake package Lumiscriber with its version (targets Lumiscriber::lumiscriber,
# Lumiscriber::lumiscriber_legacy, Lumiscriber::platform and Lumiscriber::engine), one
# pkg-config file per renderer build, and the particle script reference.
include(CMakePackageConfigHelpers)

# The renderer's public headers. They include nothing but each other, the standard library and
# the platform's headers; the package test compiles them from the installed tree alone.
set(LUMI_PUBLIC_HEADERS
  core/lumi_export.h
  core/exception.h
  core/renderer_interface.h
  core/lumiscriber_api.h
  legacy/renderer_interface_legacy.h
  # Editing a particle command's emitter (IRenderer::GetParticleEmitter) and saving it.
  particle/particle_emitter_script.h
  particle/particle_beam_script.h
  particle/particle_sound_interface.h
  particle/particle_event_interface.h
  particle/particle_event_set_interface.h
  particle/particle_value_records.h
  image/image_export.h
  image/bitmap_types.h
  image/raster.h
  image/raster_file.h
  image/raster_io_file.h
  image/raster_mem_file.h
  image/raster_gif.h
  image/raster_jpg.h
  image/raster_exif.h)

foreach(_header IN LISTS LUMI_PUBLIC_HEADERS)
  get_filename_component(_dir ${_header} DIRECTORY)
  install(FILES ${_header} DESTINATION ${LUMI_INSTALL_INCLUDEDIR}/${_dir})
endforeach()
# The runs of IRenderer slots both tables share, which either declaration includes in place.
file(GLOB LUMI_RENDERER_SLOTS ${PROJECT_SOURCE_DIR}/core/renderer_slots_*.inc)
install(FILES ${LUMI_RENDERER_SLOTS} DESTINATION ${LUMI_INSTALL_INCLUDEDIR}/core)
# The platform is the host's system: every stand-in's headers go in, but for the glyph
# library's FreeType state, which only its own sources include.
install(DIRECTORY platform/ DESTINATION ${LUMI_INSTALL_INCLUDEDIR}/platform FILES_MATCHING PATTERN "*.h"
        PATTERN "engine_state.h" EXCLUDE)

install(TARGETS lumiscriber lumiscriber_legacy lumi_platform_shared lumi_engine_shared
  EXPORT LumiscriberTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(LUMI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Lumiscriber)
install(EXPORT LumiscriberTargets NAMESPACE Lumiscriber:: DESTINATION ${LUMI_CMAKE_DIR})
configure_package_config_file(cmake/LumiscriberConfig.cmake.in
  ${PROJECT_BINARY_DIR}/LumiscriberConfig.cmake
  INSTALL_DESTINATION ${LUMI_CMAKE_DIR})
# find_package(Lumiscriber 0.1) accepts any 0.1.x: before 1.0 a new minor version may change
# the interfaces, so it is not taken for an older one. The libraries are 64-bit or 32-bit
# builds, and a host of the other width does not find them.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LumiscriberConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/LumiscriberConfig.cmake ${PROJECT_BINARY_DIR}/LumiscriberConfigVersion.cmake
  DESTINATION ${LUMI_CMAKE_DIR})

# The reference of the particle script language, for the people who write scripts.
install(FILES docs/particle-scripts.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lumiscriber)

# The files find the prefix from where they lie, so an install under any --prefix works.
file(RELATIVE_PATH LUMI_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" LUMI_PC_PREFIX ${LUMI_PC_PREFIX})
foreach(LUMI_PC_LIBRARY lumiscriber lumiscriber_legacy)
  # A host of the legacy library compiles against its own IRenderer.
  if(LUMI_PC_LIBRARY STREQUAL lumiscriber_legacy)
    set(LUMI_PC_CFLAGS " -DLUMI_LEGACY=1")
  else()
    set(LUMI_PC_CFLAGS "")
  endif()
  configure_file(cmake/lumiscriber.pc.in ${PROJECT_BINARY_DIR}/${LUMI_PC_LIBRARY}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${LUMI_PC_LIBRARY}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
