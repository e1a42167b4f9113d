# Test suites: every folder below tests/ that holds .cpp files becomes one GoogleTest program
# named after its path (tests/Platform/CoreMIDI -> PlatformCoreMIDITests). Files whose names end
# in ConcurrencyTests.cpp form a second program of that folder, labelled `tsan`; a ThreadSanitizer
# build builds only those. A folder with its own CMakeLists.txt describes itself, usually by
# calling plenko_add_test_folder and adding what its programs need.
if(NOT PLENKO_TESTS)
  return()
endif()
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
find_package(Python3 COMPONENTS Interpreter)

add_subdirectory(tests/Support)

function(plenko_add_test_program name label)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ${PLENKO_PROJECT_LIBRARIES} TestSupport GTest::gtest_main
                                        GTest::gmock)
  target_compile_definitions(${name} PRIVATE PLENKO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                             PLENKO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(labels ${label})
  if(PLENKO_SANITIZE)
    list(APPEND labels asan)
  endif()
  # Only the tests labelled `jack` meet a JACK server: the others are sent to a server name none
  # has, so that a server running on the machine (CI starts one for the `jack` tests) neither
  # lends them its cycles' times nor sees their clients come and go.
  set(properties TIMEOUT 300 ${PLENKO_EXTRA_TEST_PROPERTIES})
  if(NOT "jack" IN_LIST labels)
    list(APPEND properties ENVIRONMENT JACK_DEFAULT_SERVER=plenko-tests-without-a-server)
  endif()
  # A folder's own CMakeLists.txt may add properties through PLENKO_EXTRA_TEST_PROPERTIES.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  # Labels go on in a file CTest reads after the discovered tests: a list of several would not
  # survive the discovery's command line whole.
  set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${label_file} "foreach(test IN LISTS ${name}_TESTS)\n"
                           "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n"
                           "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
endfunction()

# Makes a folder's programs: its concurrency tests (labelled `tsan`) and the rest (`unit`), each
# also carrying the labels given after the stem; sets <stem>_PROGRAMS to the programs made.
function(plenko_add_test_folder dir stem)
  file(GLOB all_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB concurrency_sources CONFIGURE_DEPENDS ${dir}/*ConcurrencyTests.cpp)
  set(plain_sources ${all_sources})
  set(programs)
  if(concurrency_sources)
    list(REMOVE_ITEM plain_sources ${concurrency_sources})
    plenko_add_test_program(${stem}ConcurrencyTests "tsan;${ARGN}" ${concurrency_sources})
    list(APPEND programs ${stem}ConcurrencyTests)
  endif()
  if(plain_sources AND NOT PLENKO_TSAN)
    plenko_add_test_program(${stem}Tests "unit;${ARGN}" ${plain_sources})
    list(APPEND programs ${stem}Tests)
  endif()
  set(${stem}_PROGRAMS ${programs} PARENT_SCOPE)
endfunction()

# Makes the programs of a folder of the host's tests (tests/Host and below), as
# plenko_add_test_folder does, with the labels after LABELS. They run the auhost program the build
# makes with the unit, so they wait for both, plus the targets after DEPENDS, and they are told
# where the program, the unit's bundles, the component host's fixture bundles, the demo song and
# the MIDI corpus are; tests/Host's own helpers (AuhostRun.h) are found from every sub-folder.
# Sets <stem>_PROGRAMS to the programs made.
function(plenko_add_host_test_folder stem)
  cmake_parse_arguments(PARSE_ARGV 1 host "" "" "LABELS;DEPENDS")
  plenko_add_test_folder(${CMAKE_CURRENT_SOURCE_DIR} ${stem} ${host_LABELS})
  foreach(program ${${stem}_PROGRAMS})
    add_dependencies(${program} auhost PlenkoOut ${host_DEPENDS})
    target_include_directories(${program} PRIVATE ${CMAKE_SOURCE_DIR}/tests/Host)
    target_compile_definitions(${program} PRIVATE
      AUHOST_PATH="$<TARGET_FILE:auhost>"
      PLENKO_VERSION="${PROJECT_VERSION}"
      PLENKO_BUNDLES_DIR="${CMAKE_BINARY_DIR}"
      DEMO_SONG_PATH="${CMAKE_BINARY_DIR}/Host/demo/demo.mid"
      MIDI_CORPUS_DIR="${CMAKE_SOURCE_DIR}/tests/Host/corpus"
      FIXTURE_BUNDLES_DIR="${CMAKE_BINARY_DIR}/tests/Platform/AudioComponent/Fixtures/bundles")
  endforeach()
  set(${stem}_PROGRAMS ${${stem}_PROGRAMS} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE plenko_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*.cpp)
set(plenko_test_dirs)
foreach(source ${plenko_test_sources})
  get_filename_component(dir ${source} DIRECTORY)
  list(APPEND plenko_test_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES plenko_test_dirs)

foreach(dir ${plenko_test_dirs})
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${dir})
  if(rel MATCHES "^Support")
    continue()
  endif()
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir} ${CMAKE_BINARY_DIR}/tests/${rel})
    continue()
  endif()
  string(REPLACE "/" "" stem ${rel})
  plenko_add_test_folder(${dir} ${stem})
endforeach()
