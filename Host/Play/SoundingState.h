// What the messages a player has sent leave sounding: the notes struck and not yet released, the
// pedals held down (sustain, sostenuto, soft) and the channels used. A stop turns it into the
// messages that silence the destination, so that nothing rings on after play ends.
#pragma once

#include <MacTypes.h>

class SoundingState {
public:
    // Takes note of a channel message about to be sent. [render-thread]
    void Track(Byte status, Byte data1, Byte data2);

    // Calls send(status, data1, data2) for every message that silences what sounds, in this
    // order: a note off for every sounding note (as many as it was struck), the release of every
    // pedal held down on each channel, then controller 123 (all notes off) on every channel used.
    // The state is as after those messages. [render-thread]
    template <typename Send> void Silence(Send send);

private:
    static constexpr Byte kPedals[] = {64, 66, 67}; // sustain, sostenuto, soft
    static constexpr Byte kAllNotesOff = 123;

    static int PedalIndex(Byte controller);

    Byte mSounding[16][128] = {}; // note ons not yet matched by a note off
    bool mPedalDown[16][3] = {};  // by channel and kPedals' order
    bool mChannelUsed[16] = {};
};

template <typename Send> void SoundingState::Silence(Send send)
{
    for (Byte channel = 0; channel < 16; ++channel) {
        for (Byte key = 0; key < 128; ++key) {
            for (; mSounding[channel][key] > 0; --mSounding[channel][key]) {
                send(Byte(0x80 | channel), key, Byte(0));
            }
        }
    }
    for (Byte channel = 0; channel < 16; ++channel) {
        for (int pedal = 0; pedal < 3; ++pedal) {
            if (mPedalDown[channel][pedal]) {
                mPedalDown[channel][pedal] = false;
                send(Byte(0xB0 | channel), kPedals[pedal], Byte(0));
            }
        }
    }
    for (Byte channel = 0; channel < 16; ++channel) {
        if (mChannelUsed[channel]) {
            send(Byte(0xB0 | channel), kAllNotesOff, Byte(0));
        }
    }
}
