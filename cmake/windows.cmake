# The 32-bit Windows build: cross-compiled with cmake/mingw-i686.cmake against a
# static Qt 5 (tools/build-windows.sh), tests run under Wine.

# GoogleTest for the target, built from the sources Debian ships in the googletest
# package; find_package(GTest) then finds these targets (cmake/gtest-in-tree).
if(CMAKE_CROSSCOMPILING AND TESKTOQVX_TESTS)
  set(TESKTOQVX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
      "GoogleTest sources, built for the target when cross-compiling")
  set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest with this project")
  add_subdirectory("${TESKTOQVX_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  set(GTest_DIR "${CMAKE_CURRENT_LIST_DIR}/gtest-in-tree" CACHE PATH "" FORCE)
  # List the test cases when ctest runs (through the emulator), not at build time.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# A static Qt5::Gui links its platform and image-format plugins into every program
# that uses it, unless told otherwise. The converter uses QImage only, without a
# platform integration, and reads and writes no image files through plugins.
function(tesktoqvx_exclude_qt_plugins dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    # The libraries too: the plugins' import sources are added to every target
    # that links Qt5::Gui.
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      qt5_import_plugins(${target} EXCLUDE_BY_TYPE platforms imageformats)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    tesktoqvx_exclude_qt_plugins("${subdir}")
  endforeach()
endfunction()

enable_language(RC)

# A version resource for a program target: file description, product name,
# version; named after the program's file.
function(tesktoqvx_version_resource target rc_description)
  get_target_property(rc_program ${target} OUTPUT_NAME)
  if(NOT rc_program)
    set(rc_program ${target})
  endif()
  set(rc "${CMAKE_BINARY_DIR}/${rc_program}-version.rc")
  configure_file("${CMAKE_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
endfunction()

function(tesktoqvx_windows_programs)
  # CommandLineToArgvW (converter/main.cpp).
  target_link_libraries(tesktoqvx PRIVATE shell32)
  tesktoqvx_version_resource(tesktoqvx "Converts Tesk slice files to qvx for Vireld printers")
  tesktoqvx_version_resource(sliceinfo_program "Shows, checks and draws Tesk and qvx slice files")
  get_target_property(qt_core_type Qt5::Core TYPE)
  if(qt_core_type STREQUAL "STATIC_LIBRARY")
    tesktoqvx_exclude_qt_plugins("${CMAKE_SOURCE_DIR}")
  endif()
endfunction()
# Once every program of the project is defined.
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL tesktoqvx_windows_programs)
