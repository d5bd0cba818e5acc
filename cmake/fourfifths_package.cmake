# The library others link, installed as a CMake package: the engine's
# objects in one static archive `libfourfifths.a`, the public headers under
# include/fourfifths, and lib/cmake/fourfifths with the config and version
# files. BLAS comes along as a dependency. Every face links this target,
# never the engine's folders' own libraries (.ci/check_layers.py).
include(CMakePackageConfigHelpers)

add_library(fourfifths_lib STATIC
  $<TARGET_OBJECTS:recordio> $<TARGET_OBJECTS:numeric> $<TARGET_OBJECTS:analysis>
  $<TARGET_OBJECTS:pareto> $<TARGET_OBJECTS:observed>)
set_target_properties(fourfifths_lib PROPERTIES OUTPUT_NAME fourfifths EXPORT_NAME fourfifths)
target_include_directories(fourfifths_lib PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(fourfifths_lib PUBLIC cxx_std_20)
target_link_libraries(fourfifths_lib PUBLIC BLAS::BLAS)
add_library(fourfifths::fourfifths ALIAS fourfifths_lib)
# The page's build links the same target, and installs nothing.
if(FOURFIFTHS_WEB)
  return()
endif()

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/fourfifths)
install(TARGETS fourfifths_lib EXPORT fourfifthsTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/fourfifths
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/fourfifths/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/fourfifths)
install(EXPORT fourfifthsTargets NAMESPACE fourfifths:: DESTINATION ${package_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/fourfifthsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/fourfifthsConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/fourfifthsConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/fourfifthsConfig.cmake
  ${PROJECT_BINARY_DIR}/fourfifthsConfigVersion.cmake DESTINATION ${package_dir})
