#include "CAShowAudioChannelLayout.h"

void CAShowAudioChannelLayout(FILE* file, const AudioChannelLayout* layout)
{
    if (layout == nullptr) {
        fprintf(file, "\tNULL layout\n");
        return;
    }
    fprintf(file, "\tTag=0x%X, ", static_cast<unsigned>(layout->mChannelLayoutTag));
    if (layout->mChannelLayoutTag == kAudioChannelLayoutTag_UseChannelBitmap) {
        fprintf(file, "Using Bitmap:0x%X\n", static_cast<unsigned>(layout->mChannelBitmap));
        return;
    }
    fprintf(file, "Num Chan Descs=%d\n", static_cast<int>(layout->mNumberChannelDescriptions));
    const AudioChannelDescription* descriptions = layout->mChannelDescriptions;
    for (UInt32 i = 0; i < layout->mNumberChannelDescriptions; ++i) {
        const AudioChannelDescription& description = descriptions[i];
        fprintf(file, "\t\tLabel=%d, Flags=0x%X, ", static_cast<int>(description.mChannelLabel),
                static_cast<unsigned>(description.mChannelFlags));
        fprintf(file, "[az=%f,el=%f,dist=%f]\n", description.mCoordinates[0],
                description.mCoordinates[1], description.mCoordinates[2]);
    }
}
