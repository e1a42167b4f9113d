// Fails every test that ends with more (or fewer) live CoreFoundation objects than it started
// with. Including this header in any source of a test program turns the check on for all of its
// tests; InstallCFLeakCheck() does the same explicitly and may be called any number of times.
#pragma once

// Registers the check with GoogleTest once per program; returns true.
bool InstallCFLeakCheck();

[[maybe_unused]] inline const bool kCFLeakCheckInstalled = InstallCFLeakCheck();
