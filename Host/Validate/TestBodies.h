// The bodies of the validator's tests, one function per test, registered in ValidationTests.cpp.
// Each opens its own instances of the unit through UnitUnderTest and reports through the context.
#pragma once

#include "ValidationContext.h"

// LifecycleTests.cpp
void TestOpenClose(ValidationContext& context);
void TestInfo(ValidationContext& context);
void TestOpenCloseCycles(ValidationContext& context);
// PropertyTests.cpp
void TestProperties(ValidationContext& context);
// ParameterTests.cpp
void TestParameters(ValidationContext& context);
void TestParameterValues(ValidationContext& context);
// RenderTests.cpp
void TestRenderGrid(ValidationContext& context);
void TestRenderTooManyFrames(ValidationContext& context);
void TestRenderRandomSlices(ValidationContext& context);
// MIDITests.cpp
void TestMIDIMessages(ValidationContext& context);
void TestMIDIRandomBytes(ValidationContext& context);
// StateTests.cpp
void TestStateRoundTrip(ValidationContext& context);
void TestStateRefusals(ValidationContext& context);
// ThreadTests.cpp
void TestThreads(ValidationContext& context);
void TestRealTime(ValidationContext& context);
// FuzzTests.cpp
void TestFuzz(ValidationContext& context);
