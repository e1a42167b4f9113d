# libFuzzer targets: one per .cpp file in fuzz/, built only with clang and PLENKO_FUZZ=ON.
if(NOT PLENKO_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "PLENKO_FUZZ needs clang (configure with CXX=clang++)")
endif()
file(GLOB plenko_fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
foreach(source ${plenko_fuzz_sources})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${PLENKO_PROJECT_LIBRARIES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support
                                             ${CMAKE_SOURCE_DIR}/tests/Support/Units)
endforeach()

# The class-info target also starts from every saved state of the preset-state test corpus,
# read as a property list: the build writes each as 'P' (bit 0 clear: a property list; the unit
# stays uninitialized) followed by the file, into seeds/fuzz_ClassInfo beside the target.
set(plenko_state_corpus ${CMAKE_SOURCE_DIR}/tests/AUPublic/PresetState/corpus)
file(GLOB plenko_states CONFIGURE_DEPENDS ${plenko_state_corpus}/*.plist)
set(plenko_state_seeds)
foreach(state ${plenko_states})
  get_filename_component(name ${state} NAME_WE)
  list(APPEND plenko_state_seeds ${CMAKE_BINARY_DIR}/seeds/fuzz_ClassInfo/plist_${name})
endforeach()
add_custom_command(OUTPUT ${plenko_state_seeds}
  COMMAND ${CMAKE_COMMAND} -DFROM_DIR=${plenko_state_corpus} -DEXTENSION=plist
          -DTO_DIR=${CMAKE_BINARY_DIR}/seeds/fuzz_ClassInfo -DSEED_PREFIX=plist_ -DPREFIX=P
          -P ${CMAKE_SOURCE_DIR}/cmake/PrefixedSeeds.cmake
  DEPENDS ${plenko_states} ${CMAKE_SOURCE_DIR}/cmake/PrefixedSeeds.cmake
  COMMENT "Writing the class-info seeds from the preset-state corpus"
  VERBATIM)
add_custom_target(fuzz_ClassInfo_seeds DEPENDS ${plenko_state_seeds})
add_dependencies(fuzz_ClassInfo fuzz_ClassInfo_seeds)

# The unit's target opens its bundle from the build tree with the tests' host fixture.
if(TARGET fuzz_PlenkoOut)
  target_sources(fuzz_PlenkoOut PRIVATE ${CMAKE_SOURCE_DIR}/tests/Support/CFText.cpp
                                        ${CMAKE_SOURCE_DIR}/tests/Support/MIDIRecorder.cpp)
  target_compile_definitions(fuzz_PlenkoOut PRIVATE PLENKO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(fuzz_PlenkoOut PlenkoOut)
endif()

# The LV2 plug-in's restore opens the unit inside the plug-in's folder in the build tree.
if(TARGET fuzz_LV2Restore)
  target_link_libraries(fuzz_LV2Restore PRIVATE PlenkoOutLV2Code)
  target_compile_definitions(fuzz_LV2Restore PRIVATE PLENKO_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(fuzz_LV2Restore PlenkoOutLV2Bundle)
endif()
