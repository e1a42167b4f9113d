# System libraries the stand-in, the host and the tests build on (installed by `make deps`).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
find_package(CLI11 CONFIG REQUIRED)
# JACK, for the MIDI services' JACK backend; without it the services offer virtual destinations only.
pkg_check_modules(JACK IMPORTED_TARGET jack)
if(NOT JACK_FOUND)
  message(STATUS "JACK not found: building the MIDI services without the JACK backend")
endif()
