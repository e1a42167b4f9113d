#include "MIDIBackend.h"

#ifdef PLENKO_HAVE_JACK
#include "JackMIDIBackend.h"
#endif

std::vector<std::unique_ptr<MIDIBackend>>
MakeSystemBackends([[maybe_unused]] MIDIPoolGrower& grower)
{
    std::vector<std::unique_ptr<MIDIBackend>> backends;
#ifdef PLENKO_HAVE_JACK
    backends.push_back(std::make_unique<JackMIDIBackend>(grower));
#endif
    return backends;
}
