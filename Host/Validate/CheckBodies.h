// The bodies of the validator's checks, one function per check, registered in ValidationChecks.cpp.
// Each opens its own instances of the unit through UnitUnderTest and reports through the context.
#pragma once

#include "ValidationContext.h"

// LifecycleChecks.cpp
void CheckOpenClose(ValidationContext& context);
void CheckInfo(ValidationContext& context);
void CheckOpenCloseCycles(ValidationContext& context);
// PropertyChecks.cpp
void CheckProperties(ValidationContext& context);
// ParameterChecks.cpp
void CheckParameters(ValidationContext& context);
void CheckParameterValues(ValidationContext& context);
// RenderChecks.cpp
void CheckRenderGrid(ValidationContext& context);
void CheckRenderTooManyFrames(ValidationContext& context);
void CheckRenderRandomSlices(ValidationContext& context);
// MIDIChecks.cpp
void CheckMIDIMessages(ValidationContext& context);
void CheckMIDIRandomBytes(ValidationContext& context);
// StateChecks.cpp
void CheckStateRoundTrip(ValidationContext& context);
void CheckStateRefusals(ValidationContext& context);
// ThreadChecks.cpp
void CheckThreads(ValidationContext& context);
void CheckRealTime(ValidationContext& context);
// FuzzChecks.cpp
void CheckFuzz(ValidationContext& context);
