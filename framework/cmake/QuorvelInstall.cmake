# The installed framework, for applications outside this tree:
#   LIBDIR/libQuorvel.so.<version>, its SONAME link libQuorvel.so.<major>
#     (component Quorvel) and the development link libQuorvel.so
#     (component QuorvelDevelopment)
#   LIBDIR/ferrymark/libFerrymarkPlatform.so.<version> with its SONAME link:
#     the platform layer the framework runs on, found through the framework's
#     RUNPATH $ORIGIN/ferrymark (private, so without a development link;
#     component Quorvel)
#   include/Quorvel/*.h                 the public headers (#include <Quorvel/...>),
#                                       which need Qt and nothing of the platform layer
#   LIBDIR/cmake/Quorvel/               find_package(Quorvel) -> Quorvel::Quorvel
#   LIBDIR/pkgconfig/quorvel.pc         pkg-config --cflags --libs quorvel
# The headers, the CMake package and the .pc file are component QuorvelDevelopment:
#   cmake --install build --component Quorvel --prefix DIR
#   cmake --install build --component QuorvelDevelopment --prefix DIR
include(CMakePackageConfigHelpers)
include(GenerateExportHeader)

# The Qt modules that the installed headers include.
set(QUORVEL_QT_COMPONENTS Core Gui Widgets Network DBus)
set(FERRYMARK_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/ferrymark)

# Only what the public headers declare with QUORVEL_EXPORT leaves the library.
set_target_properties(Quorvel PROPERTIES
  VERSION ${QUORVEL_VERSION} SOVERSION ${QUORVEL_SOVERSION}
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  INSTALL_RPATH "$ORIGIN/ferrymark")
set(quorvel_generated_include ${CMAKE_BINARY_DIR}/quorvel/include)
generate_export_header(Quorvel BASE_NAME Quorvel
  EXPORT_FILE_NAME ${quorvel_generated_include}/Quorvel/QVFExport.h)
target_include_directories(Quorvel PUBLIC
  $<BUILD_INTERFACE:${quorvel_generated_include}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The headers use std::optional and inline variables.
target_compile_features(Quorvel PUBLIC cxx_std_17)
# The platform layer follows the program's version; a changed SONAME keeps an
# older framework from loading a newer, incompatible platform library. It is
# private to the framework and the program, so it keeps default visibility:
# both must share its one copy of the process-wide state (defaults, bundles).
set_target_properties(FerrymarkPlatform PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})

install(TARGETS Quorvel EXPORT QuorvelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT Quorvel NAMELINK_COMPONENT QuorvelDevelopment)
# In the export set only because libQuorvel needs it: applications never link
# it themselves, and it hands on no dependencies.
install(TARGETS FerrymarkPlatform EXPORT QuorvelTargets
  LIBRARY DESTINATION ${FERRYMARK_PRIVATE_LIBDIR} COMPONENT Quorvel NAMELINK_SKIP)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/framework/include/Quorvel ${quorvel_generated_include}/Quorvel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT QuorvelDevelopment FILES_MATCHING PATTERN "*.h")

set(quorvel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)
install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${quorvel_cmake_dir}
  COMPONENT QuorvelDevelopment)
configure_package_config_file(${CMAKE_SOURCE_DIR}/framework/cmake/QuorvelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quorvel/QuorvelConfig.cmake
  INSTALL_DESTINATION ${quorvel_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quorvel/QuorvelConfigVersion.cmake
  VERSION ${QUORVEL_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quorvel/QuorvelConfig.cmake
              ${CMAKE_BINARY_DIR}/quorvel/QuorvelConfigVersion.cmake
  DESTINATION ${quorvel_cmake_dir} COMPONENT QuorvelDevelopment)

# The .pc file finds its prefix from where it lies, so the tree can be
# installed under any prefix (cmake --install --prefix) and moved.
file(RELATIVE_PATH QUORVEL_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
list(TRANSFORM QUORVEL_QT_COMPONENTS PREPEND Qt6 OUTPUT_VARIABLE quorvel_pc_modules)
list(JOIN quorvel_pc_modules " " QUORVEL_PC_REQUIRES)
configure_file(${CMAKE_SOURCE_DIR}/framework/cmake/quorvel.pc.in
  ${CMAKE_BINARY_DIR}/quorvel/quorvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel/quorvel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT QuorvelDevelopment)
