# System libraries the stand-in, the host and the tests build on (installed by `make deps`).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
find_package(CLI11 CONFIG REQUIRED)
