# Build helpers shared by every subsystem.
#
#   kvarn_module(NAME [DEPS ...])        static library kvarn_NAME from the *.cpp beside the caller
#   kvarn_unit_test(NAME SOURCES ... LIBS ...)   GoogleTest executable registered with CTest
#   kvarn_fuzz_target(NAME SOURCE file LIBS ... [CORPUS dir] [RUNS n])
#       a fuzz target: with KVARN_LIBFUZZER it links clang's libFuzzer; otherwise it
#       links a small standalone driver that replays the corpus and a bounded number of
#       generated inputs (RUNS, 3000 unless given), and is registered with CTest as a
#       smoke run.

# KVARN_ONLY: a list of folder names; when set, only those subsystems, tests, fuzz
# targets, tools and benchmarks are configured (for working on one part at a time).
set(KVARN_ONLY "" CACHE STRING "Configure only these folders (empty: everything)")
function(kvarn_wanted name out)
  if(KVARN_ONLY STREQUAL "" OR name IN_LIST KVARN_ONLY)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt and is wanted.
function(kvarn_add_subfolders)
  file(GLOB subdirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(d ${subdirs})
    get_filename_component(name ${d} NAME)
    kvarn_wanted(${name} wanted)
    if(IS_DIRECTORY ${d} AND EXISTS ${d}/CMakeLists.txt AND wanted)
      add_subdirectory(${d})
    endif()
  endforeach()
endfunction()

set(KVARN_WARNINGS -Wall -Wextra -Werror -Wno-unused-parameter -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND KVARN_WARNINGS -Wno-restrict)   # GCC 12 reports false -Wrestrict hits inside std::string at -O3
endif()

if(KVARN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KVARN_LIBFUZZER)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

function(kvarn_module name)
  cmake_parse_arguments(KM "" "" "DEPS;SOURCES" ${ARGN})
  if(KM_SOURCES)
    set(srcs ${KM_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_library(kvarn_${name} STATIC ${srcs})
  target_include_directories(kvarn_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(kvarn_${name} PRIVATE ${KVARN_WARNINGS})
  target_link_libraries(kvarn_${name} PUBLIC ${KM_DEPS} Threads::Threads)
  kvarn_room(${name} ${KM_DEPS})
endfunction()

# Records which rooms (src/<name>) a room may include: its own and those of the kvarn_
# libraries it links. src/CMakeLists.txt checks every include against this.
function(kvarn_room name)
  set(below "")
  foreach(dep ${ARGN})
    if(dep MATCHES "^kvarn_(.*)$")
      list(APPEND below ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(JOIN below "," below_text)
  set_property(GLOBAL APPEND PROPERTY KVARN_ROOMS "${name}=${below_text}")
endfunction()

function(kvarn_unit_test name)
  cmake_parse_arguments(KT "" "" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(unit_${name} ${KT_SOURCES})
  target_compile_options(unit_${name} PRIVATE ${KVARN_WARNINGS})
  target_link_libraries(unit_${name} PRIVATE ${KT_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(unit_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME unit_${name} COMMAND unit_${name})
  set_tests_properties(unit_${name} PROPERTIES ENVIRONMENT "KVARN_TEST_SOURCE_DIR=${PROJECT_SOURCE_DIR};KVARN_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()

function(kvarn_fuzz_target name)
  cmake_parse_arguments(KF "" "SOURCE;CORPUS;RUNS" "LIBS" ${ARGN})
  add_executable(fuzz_${name} ${KF_SOURCE})
  target_compile_options(fuzz_${name} PRIVATE ${KVARN_WARNINGS})
  target_link_libraries(fuzz_${name} PRIVATE ${KF_LIBS})
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  if(KVARN_LIBFUZZER)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/standalone_driver.cpp)
    set(corpus "")
    if(KF_CORPUS)
      set(corpus ${KF_CORPUS})
    endif()
    set(runs 3000)
    if(KF_RUNS)
      set(runs ${KF_RUNS})
    endif()
    add_test(NAME fuzz_${name}_smoke COMMAND fuzz_${name} --runs=${runs} ${corpus})
  endif()
endfunction()
