// Random host calls between render calls: parameter writes in every scope, values inside and far
// outside their ranges (finite ones: what NaN does is the parameter check's), saved states with
// bytes changed, and MIDI. The unit must answer each with a status and keep rendering finite
// output.
#include "CheckBodies.h"
#include "UnitUnderTest.h"

#include <CoreFoundation/CoreFoundation.h>

namespace {

constexpr int kRounds = 2000;
constexpr UInt32 kSliceFrames = 256;
constexpr long kFlipsMost = 8;

// The serialized state with a few bytes changed, read back; null when it no longer reads.
CFHolder MutatedState(ValidationContext& context, std::vector<UInt8> bytes)
{
    const long flips = context.RandomBetween(1, kFlipsMost);
    for (long i = 0; i < flips && !bytes.empty(); ++i)
        bytes[size_t(context.RandomBetween(0, long(bytes.size()) - 1))] =
            UInt8(context.RandomBetween(0, 255));
    CFHolder data(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
    return CFHolder(
        CFPropertyListCreateWithData(nullptr, CFDataRef(data.get()), 0, nullptr, nullptr));
}

} // namespace

void CheckFuzz(ValidationContext& context)
{
    UnitUnderTest unit(context.Component());
    unit.Prepare(44100, kSliceFrames);
    const std::vector<ParameterAddress> parameters = unit.Parameters();
    const std::vector<UInt8> state = unit.SavedState();
    int restored = 0;
    for (int round = 1; round <= kRounds; ++round) {
        const std::string where = "round " + std::to_string(round) + ": ";
        switch (context.RandomBetween(0, 3)) {
        case 0:
            if (!parameters.empty()) {
                const ParameterAddress& address =
                    parameters[size_t(context.RandomBetween(0, long(parameters.size()) - 1))];
                unit.SetParameter(address, std::uniform_real_distribution<Float32>(
                                               -1000.0f, 1000.0f)(context.Random()));
            }
            break;
        case 1:
            if (CFHolder mutated = MutatedState(context, state)) {
                unit.RestoreState(mutated.get());
                ++restored;
            }
            break;
        case 2:
            unit.MIDI(UInt32(context.RandomBetween(0x80, 0xEF)),
                      UInt32(context.RandomBetween(0, 127)), UInt32(context.RandomBetween(0, 127)),
                      UInt32(context.RandomBetween(0, kSliceFrames - 1)));
            break;
        default:
            break;
        }
        const OSStatus status = unit.Render(kSliceFrames);
        if (!context.Expect(status == noErr, where + "render returned " + std::to_string(status)))
            return;
        const std::string problem = unit.OutputProblem(false);
        if (!context.Expect(problem.empty(), where + problem))
            return;
    }
    context.Note(std::to_string(kRounds) + " rounds, " + std::to_string(restored) +
                 " mutated states offered");
}
