#include "Play/SoundingState.h"

int SoundingState::PedalIndex(Byte controller)
{
    for (int pedal = 0; pedal < 3; ++pedal) {
        if (kPedals[pedal] == controller) {
            return pedal;
        }
    }
    return -1;
}

void SoundingState::Track(Byte status, Byte data1, Byte data2)
{
    const Byte channel = status & 0x0F;
    const Byte type = status & 0xF0;
    mChannelUsed[channel] = true;
    Byte& sounding = mSounding[channel][data1 & 0x7F];
    if (type == 0x90 && data2 != 0) {
        sounding = Byte(sounding < 0xFF ? sounding + 1 : sounding);
    } else if ((type == 0x80 || type == 0x90) && sounding > 0) {
        --sounding;
    } else if (type == 0xB0) {
        if (const int pedal = PedalIndex(data1); pedal >= 0) {
            // A pedal counts as down from the middle of its range, as instruments read it.
            mPedalDown[channel][pedal] = data2 >= 64;
        }
    }
}
