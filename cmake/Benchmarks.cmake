# Google Benchmark programs: one per .cpp file in bench/. Not run by the tests.
if(NOT PLENKO_BENCH OR PLENKO_SANITIZE OR PLENKO_TSAN)
  return()
endif()
find_package(benchmark REQUIRED)
file(GLOB plenko_bench_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
foreach(source ${plenko_bench_sources})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${PLENKO_PROJECT_LIBRARIES} benchmark::benchmark_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support
                                             ${CMAKE_SOURCE_DIR}/tests/Support/Units)
  # The unit's benchmark opens its bundle from the build tree with the tests' host fixture.
  if(name STREQUAL "bench_PlenkoOut")
    target_link_libraries(${name} PRIVATE TestSupport)
    target_compile_definitions(${name} PRIVATE PLENKO_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_dependencies(${name} PlenkoOut)
  endif()
  # auhost's offline benchmark runs the program the build made, with the unit from the build tree.
  if(name STREQUAL "bench_AuhostOffline")
    target_link_libraries(${name} PRIVATE TestSupport)
    target_compile_definitions(${name} PRIVATE PLENKO_BINARY_DIR="${CMAKE_BINARY_DIR}"
                                               AUHOST_PATH="$<TARGET_FILE:auhost>")
    add_dependencies(${name} PlenkoOut auhost)
  endif()
endforeach()

# The timing benchmark's programs (make bench-timing).
add_subdirectory(${CMAKE_SOURCE_DIR}/bench/timing ${CMAKE_BINARY_DIR}/bench/timing)
