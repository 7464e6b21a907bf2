# Shared build helpers: one library target per folder, the test programs of a test folder,
# one benchmark program per *_bench.cpp.

# Third-party headers. The cross compilers must not search /usr/include (it would pull in
# glibc headers), so the Windows builds see asio and nlohmann through a folder of links.
macro(kov_third_party)
  if(CMAKE_CROSSCOMPILING)
    set(KOV_DEP_INC ${CMAKE_BINARY_DIR}/dep-include)
    file(MAKE_DIRECTORY ${KOV_DEP_INC})
    foreach(p asio asio.hpp nlohmann)
      if(NOT EXISTS ${KOV_DEP_INC}/${p})
        file(CREATE_LINK /usr/include/${p} ${KOV_DEP_INC}/${p} SYMBOLIC)
      endif()
    endforeach()
    add_library(kov_deps INTERFACE)
    target_include_directories(kov_deps SYSTEM INTERFACE ${KOV_DEP_INC})
  else()
    find_package(nlohmann_json 3.11 REQUIRED)
    add_library(kov_deps INTERFACE)
    target_link_libraries(kov_deps INTERFACE nlohmann_json::nlohmann_json)
  endif()
endmacro()

# kov_library(<target> [DEPS <targets>...] [SOURCES <extra files>...] [EXCLUDE <files>...])
# Builds every *.cpp of the calling folder (but the excluded ones, e.g. a program's main.cpp)
# into one static library.
function(kov_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(x ${ARG_EXCLUDE})
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${x})
  endforeach()
  list(APPEND srcs ${ARG_SOURCES})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kov_tests(<folder name> DEPS <targets>...): the GoogleTest programs of the calling folder's
# *_test.cpp files. The native build makes one program per file and lists each test to ctest.
# The Windows builds link the whole folder into one program, <folder>_tests, and list it to ctest
# as one entry: every start of a test program under wine costs time, and a 32-bit one that runs
# under an emulator costs about a minute of processor time. NATIVE_ONLY names test files that
# only the native build makes (e.g. tests that start the Windows programs under wine themselves).
function(kov_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS;NATIVE_ONLY" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(CMAKE_CROSSCOMPILING)
    foreach(x ${ARG_NATIVE_ONLY})
      list(REMOVE_ITEM tests ${CMAKE_CURRENT_SOURCE_DIR}/${x})
    endforeach()
    if(tests)
      _kov_add_test_program(${folder}_tests "${tests}" "${ARG_DEPS}")
      add_test(NAME ${folder}_tests COMMAND ${folder}_tests)
      set_tests_properties(${folder}_tests PROPERTIES LABELS "${folder}")
    endif()
  else()
    foreach(src ${tests})
      get_filename_component(stem ${src} NAME_WE)
      _kov_add_test_program(${folder}_${stem} ${src} "${ARG_DEPS}")
      gtest_discover_tests(${folder}_${stem} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES LABELS "${folder}")
    endforeach()
  endif()
endfunction()

function(_kov_add_test_program exe sources deps)
  add_executable(${exe} ${sources})
  target_link_libraries(${exe} PRIVATE kov_testsupport ${deps} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${exe} PRIVATE KOV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                            KOV_BINARY_DIR="${CMAKE_BINARY_DIR}")
endfunction()

# kov_test_program(<out var> <folder name> <test file stem>): the name of the test program that
# holds <folder>/<stem>.cpp in this build (<folder>_<stem> natively, <folder>_tests in the Windows
# builds), for a folder's own additions to it (a dependency, a library, a definition).
function(kov_test_program out folder stem)
  if(CMAKE_CROSSCOMPILING)
    set(${out} ${folder}_tests PARENT_SCOPE)
  else()
    set(${out} ${folder}_${stem} PARENT_SCOPE)
  endif()
endfunction()

# kov_benchmarks(DEPS <targets>...): one Google Benchmark program per *_bench.cpp.
function(kov_benchmarks)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB benches CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_bench.cpp)
  foreach(src ${benches})
    get_filename_component(stem ${src} NAME_WE)
    add_executable(${stem} ${src})
    target_link_libraries(${stem} PRIVATE ${ARG_DEPS} benchmark::benchmark)
    target_compile_definitions(${stem} PRIVATE KOV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                               KOV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  endforeach()
endfunction()
