# The three layers, as link targets:
#   - the engine: recordio/, numeric/, analysis/, pareto/, observed/, behind
#     include/fourfifths/ (fourfifths::fourfifths);
#   - the presentation that every face shares: present/ (fourfifths::present);
#   - the faces: app/, explore/, web/engine/ (and the Python and R
#     packages, python/ and r/, built by their own tools).
# An engine folder's headers ("analysis/classic_run.h") are found only by
# the engine's own libraries and its tests: the project root is a PRIVATE
# include directory of each. The presentation and the faces see the root
# through front_include/ in the build tree, which holds links to their own
# folders and to nothing of the engine, so an engine-internal include does
# not compile there (.ci/check_layers.py says so by name as well).

# fourfifths_library(NAME SOURCES... [DEPENDS libs...])
# A static library of one engine folder; its headers are included as
# "folder/header.h" from the project root, inside the engine only.
function(fourfifths_library name)
  cmake_parse_arguments(arg "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${arg_SOURCES})
  fourfifths_engine_includes(${name} PRIVATE)
  target_link_libraries(${name} PUBLIC ${arg_DEPENDS})
endfunction()

# The engine's include directories: the root (its folders), the public
# headers and the generated version header.
function(fourfifths_engine_includes target scope)
  target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR}
    ${PROJECT_SOURCE_DIR}/include ${PROJECT_BINARY_DIR}/include)
endfunction()

# The include directory of the presentation and the faces: a link to each
# of their folders, none to the engine's.
set(FOURFIFTHS_FRONT_INCLUDE ${PROJECT_BINARY_DIR}/front_include)
file(MAKE_DIRECTORY ${FOURFIFTHS_FRONT_INCLUDE})
foreach(folder present explore app web)
  if(NOT EXISTS ${FOURFIFTHS_FRONT_INCLUDE}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${FOURFIFTHS_FRONT_INCLUDE}/${folder} SYMBOLIC)
  endif()
endforeach()

# fourfifths_test_folder(FOLDER LIBS...)
# One gtest binary per tests/ folder, from every *_test.cc in it. Its cases
# are named FOLDER.Suite.Case, like the folder's other tests, so that
# `ctest -R FOLDER` runs them all. The engine's folders are tested from the
# inside (ENGINE: the root is an include directory).
function(fourfifths_test_folder folder)
  cmake_parse_arguments(arg "ENGINE" "" "" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cc)
  if(NOT sources)
    return()
  endif()
  set(target ${folder}_tests)
  add_executable(${target} ${sources})
  find_package(Threads REQUIRED)
  target_link_libraries(${target} PRIVATE ${arg_UNPARSED_ARGUMENTS} GTest::gtest GTest::gtest_main
    Threads::Threads)
  if(arg_ENGINE)
    fourfifths_engine_includes(${target} PRIVATE)
  else()
    target_include_directories(${target} PRIVATE ${FOURFIFTHS_FRONT_INCLUDE})
  endif()
  target_compile_definitions(${target} PRIVATE
    FOURFIFTHS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    FOURFIFTHS_BINARY="$<TARGET_FILE:fourfifths>")
  gtest_discover_tests(${target} TEST_PREFIX "${folder}." DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${folder})
endfunction()

# fourfifths_missing(WHAT NEEDS)
# WHAT (the explorer, the tests) is left out of this build because NEEDS,
# a package or another part, is missing. Configure goes on, so that the
# program alone builds on a machine with only what it needs.
function(fourfifths_missing what needs)
  string(MAKE_C_IDENTIFIER "${what}" key)
  set_property(GLOBAL APPEND PROPERTY FOURFIFTHS_MISSING_${key} "${needs}")
  get_property(parts GLOBAL PROPERTY FOURFIFTHS_MISSING_PARTS)
  if(NOT what IN_LIST parts)
    set_property(GLOBAL APPEND PROPERTY FOURFIFTHS_MISSING_PARTS "${what}")
  endif()
endfunction()

# At the end of configure: what was left out and why, as a warning, and a
# target in the default build that fails with the same words, so that
# building everything on a machine that lacks packages fails at once and
# says which, while a build of the program alone (--target fourfifths) is
# untouched.
function(fourfifths_report_missing)
  get_property(parts GLOBAL PROPERTY FOURFIFTHS_MISSING_PARTS)
  if(NOT parts)
    return()
  endif()
  set(lines)
  foreach(what ${parts})
    string(MAKE_C_IDENTIFIER "${what}" key)
    get_property(needs GLOBAL PROPERTY FOURFIFTHS_MISSING_${key})
    list(JOIN needs ", " needs)
    list(APPEND lines "${what} left out: missing ${needs}")
  endforeach()
  list(JOIN lines "\n" text)
  message(WARNING "${text}\nThe program alone builds (--target fourfifths); "
    "sh .ci/install-deps --tests installs what the rest needs.")
  set(echoes)
  foreach(line ${lines})
    list(APPEND echoes COMMAND ${CMAKE_COMMAND} -E echo "${line}")
  endforeach()
  add_custom_target(missing_packages ALL ${echoes}
    COMMAND ${CMAKE_COMMAND} -E echo "sh .ci/install-deps --tests installs what is missing"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endfunction()
