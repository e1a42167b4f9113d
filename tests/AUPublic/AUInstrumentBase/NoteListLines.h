// The diagnostic lines the note lists write, built as the lists build them, for comparing with
// what a test captured from standard output.
#pragma once

#include "SynthNote.h"

#include <cstdio>
#include <string>

namespace instrument_test {

inline std::string AddLine(const SynthNote* note, UInt32 state)
{
    char line[96];
    snprintf(line, sizeof line, "AddNote(inNote=%p) to state: %lu\n",
             static_cast<const void*>(note), static_cast<unsigned long>(state));
    return line;
}

inline std::string RemoveLine(const SynthNote* note, UInt32 state)
{
    char line[96];
    snprintf(line, sizeof line, "RemoveNote(inNote=%p) from state: %lu\n",
             static_cast<const void*>(note), static_cast<unsigned long>(state));
    return line;
}

inline std::string TransferLine(UInt32 from, UInt32 into)
{
    return "TransferAllFrom: from state " + std::to_string(from) + " into state " +
           std::to_string(into) + "\n";
}

inline std::string ReleasingLine(const SynthNote* note)
{
    char line[96];
    snprintf(line, sizeof line, "TransferAllFrom: releasing note %p\n",
             static_cast<const void*>(note));
    return line;
}

} // namespace instrument_test
