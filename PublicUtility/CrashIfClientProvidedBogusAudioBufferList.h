// A guard for buffer lists handed in by a client: touching every buffer makes a bad pointer
// fault here, where the cause is plain, rather than deep inside the processing later.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

// Reads the first and last whole 32-bit word of each buffer of 4 bytes or more. Returns 1 in
// its lowest bit when a buffer has no data; the other bits only keep the reads from being
// dropped. With nullOK a buffer without data is skipped.
// [any-thread]
extern "C" int CrashIfClientProvidedBogusAudioBufferList(const AudioBufferList* list, bool nullOK);
