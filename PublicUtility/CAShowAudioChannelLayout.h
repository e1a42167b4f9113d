// Diagnostic dump of a channel layout: its tag, and its bitmap or channel descriptions.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>
#include <cstdio>

// [any-thread]
void CAShowAudioChannelLayout(FILE* file, const AudioChannelLayout* layout);
