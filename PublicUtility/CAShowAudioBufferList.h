// Diagnostic dumps of a buffer list to standard output: each buffer's size, channels and
// address, and optionally its first samples decoded by word size and byte order.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

// Word codes: 0 native Float32; 1..4 big-endian integers of that many bytes (negative for
// little-endian); 10 big-endian Float32 (-10 little-endian); other codes print no samples.
// Samples are never read beyond a buffer's mDataByteSize.
// [any-thread]
void CAShowAudioBufferList(const AudioBufferList& list, int framesToPrint, int wordSize,
                           const char* label);
// Chooses the word code and a note (bit depth, byte order) from the format.
// [any-thread]
void CAShowAudioBufferList(const AudioBufferList& list, int framesToPrint,
                           const AudioStreamBasicDescription& format, const char* label);
// [any-thread]
extern "C" void CAShowAudioBufferList(const AudioBufferList* list, int framesToPrint, int wordSize);
