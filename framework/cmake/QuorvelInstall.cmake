# The installed framework, for applications outside this tree:
#   lib/libQuorvel.so.<version>, its SONAME link libQuorvel.so.<major> and the
#     development link libQuorvel.so; beside it libFerrymarkPlatform.so.<version>
#     with its SONAME link, the platform layer the framework runs on (found
#     through its RUNPATH $ORIGIN; private, so without a development link)
#   include/Quorvel/*.h                 the public headers (#include <Quorvel/...>),
#                                       which need Qt and nothing of the platform layer
#   lib/cmake/Quorvel/                  find_package(Quorvel) -> Quorvel::Quorvel
#   lib/pkgconfig/quorvel.pc            pkg-config --cflags --libs quorvel
# Everything belongs to the install component "Quorvel":
#   cmake --install build --component Quorvel --prefix DIR
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The Qt modules that the installed headers include.
set(QUORVEL_QT_COMPONENTS Core Gui Widgets Network DBus)

set_target_properties(Quorvel PROPERTIES
  VERSION ${QUORVEL_VERSION} SOVERSION ${QUORVEL_SOVERSION})
# The platform layer follows the program's version; a changed SONAME keeps an
# older framework from loading a newer, incompatible platform library.
set_target_properties(FerrymarkPlatform PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})

install(TARGETS Quorvel
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Quorvel NAMELINK_COMPONENT Quorvel)
install(TARGETS FerrymarkPlatform
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Quorvel NAMELINK_SKIP)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/framework/include/Quorvel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Quorvel FILES_MATCHING PATTERN "*.h")

set(quorvel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)
configure_package_config_file(${CMAKE_SOURCE_DIR}/framework/cmake/QuorvelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quorvel/QuorvelConfig.cmake
  INSTALL_DESTINATION ${quorvel_cmake_dir}
  PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quorvel/QuorvelConfigVersion.cmake
  VERSION ${QUORVEL_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quorvel/QuorvelConfig.cmake
              ${CMAKE_BINARY_DIR}/quorvel/QuorvelConfigVersion.cmake
  DESTINATION ${quorvel_cmake_dir} COMPONENT Quorvel)

# The .pc file finds its prefix from where it lies, so the tree can be
# installed under any prefix (cmake --install --prefix) and moved.
file(RELATIVE_PATH QUORVEL_PC_TO_PREFIX
  ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
list(TRANSFORM QUORVEL_QT_COMPONENTS PREPEND Qt6 OUTPUT_VARIABLE quorvel_pc_modules)
list(JOIN quorvel_pc_modules " " QUORVEL_PC_REQUIRES)
configure_file(${CMAKE_SOURCE_DIR}/framework/cmake/quorvel.pc.in
  ${CMAKE_BINARY_DIR}/quorvel/quorvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel/quorvel.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Quorvel)
