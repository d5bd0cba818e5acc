# fourfifths_library(NAME SOURCES... [DEPENDS libs...])
# A static library of one subsystem folder; headers are included as
# "folder/header.h" from the project root.
function(fourfifths_library name)
  cmake_parse_arguments(arg "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${arg_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${arg_DEPENDS})
endfunction()

# fourfifths_test_folder(FOLDER LIBS...)
# One gtest binary per tests/ folder, from every *_test.cc in it. Its cases
# are named FOLDER.Suite.Case, like the folder's other tests, so that
# `ctest -R FOLDER` runs them all.
function(fourfifths_test_folder folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cc)
  if(NOT sources)
    return()
  endif()
  set(target ${folder}_tests)
  add_executable(${target} ${sources})
  find_package(Threads REQUIRED)
  target_link_libraries(${target} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${target} PRIVATE
    FOURFIFTHS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    FOURFIFTHS_BINARY="$<TARGET_FILE:fourfifths>")
  gtest_discover_tests(${target} TEST_PREFIX "${folder}." DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${folder})
endfunction()
