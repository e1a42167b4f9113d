// The bundle's only export: the factory the component host calls to make an instance.
#include "APFactory.h"
#include "AUPlugInDispatch.h"
#include "PlenkoOut.h"

extern "C" __attribute__((visibility("default"))) AudioComponentPlugInInterface*
PlenkoOutFactory(const AudioComponentDescription* inDesc)
{
    return APFactory<AUMusicLookup, PlenkoOut>::Factory(inDesc);
}
