// The ids of the unit's five parameters, all in the global element, for the unit itself and for
// every adapter and host that sets them by id.
#pragma once

#include <AudioUnit/AUComponent.h>

enum : AudioUnitParameterID {
    kParameterTXDevice = 0,
    kParameterTXChannel = 1,
    kParameterPrgChange = 2,
    kParameterBankMSB = 3,
    kParameterBankLSB = 4,
    kNumberOfParameters = 5
};
