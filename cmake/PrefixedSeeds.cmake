# Run as a script (cmake -P) by the fuzzing build: writes every FROM_DIR/*.EXTENSION, a text
# file, into TO_DIR as SEED_PREFIX<name>, its bytes after the PREFIX that tells the fuzz target
# how to read them. Seeds made so follow their test corpus instead of copying it.
file(GLOB sources ${FROM_DIR}/*.${EXTENSION})
file(MAKE_DIRECTORY ${TO_DIR})
foreach(source ${sources})
  get_filename_component(name ${source} NAME_WE)
  file(READ ${source} text)
  file(WRITE ${TO_DIR}/${SEED_PREFIX}${name} "${PREFIX}${text}")
endforeach()
