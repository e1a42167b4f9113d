#include "Play/UnitSetup.h"

#include "PlenkoOutParameterIDs.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

void SetParameters(UnitInstance& unit, const PlayOptions& options,
                   const std::optional<PresetFile>& preset)
{
    if (preset) {
        unit.RestoreClassInfo(preset->State());
    }
    if (options.mChannel != 0) {
        unit.SetParameter(kParameterTXChannel, Float32(options.mChannel));
    }
    // The unit counts programs and banks from 1; 0 there means none.
    if (options.mProgram) {
        unit.SetParameter(kParameterPrgChange, Float32(*options.mProgram + 1));
    }
    if (options.mBank) {
        unit.SetParameter(kParameterBankMSB, Float32(options.mBank->mMSB + 1));
        if (options.mBank->mLSB) {
            unit.SetParameter(kParameterBankLSB, Float32(*options.mBank->mLSB + 1));
        }
    }
    if ((options.mProgram || options.mBank) &&
        unit.ParameterValue(kParameterTXChannel).value_or(0) < 1) {
        throw std::runtime_error(
            "--program and --bank need --channel: the unit sends bank and program only on a "
            "fixed transmit channel (\"TX Channel\" 1 to 16, which a preset may set too)");
    }
}

} // namespace

void ChooseUnitLog(const PlayOptions& options)
{
    if (!options.mUnitLog || options.mQuiet) {
        setenv("PLENKO_LOG", "off", 1);
    }
}

bool UnitLogs()
{
    const char* setting = std::getenv("PLENKO_LOG");
    return setting == nullptr || std::string(setting) != "off";
}

void SetUpUnit(UnitInstance& unit, const PlayOptions& options,
               const std::optional<PresetFile>& preset, const PlayRoute& route)
{
    SetParameters(unit, options, preset);
    unit.Configure(options.mSampleRate, options.mBlockFrames);
    unit.Initialize();
    unit.SetParameter(kParameterTXDevice, Float32(route.mNumber));
}

// On a fixed transmit channel, one message for each of bank MSB, bank LSB and program that is
// set (1 to 128).
UInt64 BankAndProgramMessages(const UnitInstance& unit)
{
    const Float32 channel = unit.ParameterValue(kParameterTXChannel).value_or(0);
    if (channel < 1 || channel >= 17) {
        return 0;
    }
    UInt64 messages = 0;
    for (const AudioUnitParameterID id :
         {kParameterBankMSB, kParameterBankLSB, kParameterPrgChange}) {
        const Float32 value = unit.ParameterValue(id).value_or(0);
        messages += value >= 1 && value < 129;
    }
    return messages;
}
