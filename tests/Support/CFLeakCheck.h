// Fails every test that ends with more (or fewer) live CoreFoundation objects than it started
// with. Including this header in any source of a test program turns the check on for all of its
// tests; InstallCFLeakCheck() does the same explicitly and may be called any number of times.
// Objects a program keeps on purpose (caches, lazily made strings) count against the first test
// that makes them: make them before the tests run, or use CFSTR constants, which are not counted.
// (Heap blocks nobody can reach any more are LeakSanitizer's business: LeakSanitizer.h.)
#pragma once

// Registers the check with GoogleTest once per program; returns true.
bool InstallCFLeakCheck();

[[maybe_unused]] inline const bool kCFLeakCheckInstalled = InstallCFLeakCheck();
