# Shared build helpers: one library target per folder, one test program per *_test.cpp,
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

# kov_tests(<folder name> DEPS <targets>...): one GoogleTest program per *_test.cpp.
function(kov_tests folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src ${tests})
    get_filename_component(stem ${src} NAME_WE)
    set(exe ${folder}_${stem})
    add_executable(${exe} ${src})
    target_link_libraries(${exe} PRIVATE kov_testsupport ${ARG_DEPS} GTest::gtest_main GTest::gmock)
    target_compile_definitions(${exe} PRIVATE KOV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                              KOV_BINARY_DIR="${CMAKE_BINARY_DIR}")
    if(CMAKE_CROSSCOMPILING)
      # One test entry per program: every wine start costs time.
      add_test(NAME ${exe} COMMAND ${exe})
      set_tests_properties(${exe} PROPERTIES LABELS "${folder}")
    else()
      gtest_discover_tests(${exe} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                           PROPERTIES LABELS "${folder}")
    endif()
  endforeach()
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
