// Drives a fresh music-device test unit with an arbitrary sequence of mapping-property calls and
// MIDI: records, sizes, scopes and messages all come from the input, and every value buffer is
// exactly as large as the size the call claims (AddressSanitizer catches any byte read or written
// beyond it). After each call the listed maps must still be in the store's order.
#include "CAAUMIDIMap.h"
#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "MIDITestUnit.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace midi_test;

namespace {

constexpr size_t kMaxCalls = 256;
constexpr UInt32 kMaxRecords = 12;
constexpr UInt8 kGuardByte = 0xA5;

constexpr AudioUnitPropertyID kPropertyIDs[] = {kAllMaps,
                                                kAddMap,
                                                kRemoveMap,
                                                kHotMap,
                                                kMusicDeviceProperty_MIDIXMLNames,
                                                kMusicDeviceProperty_InstrumentCount};

class Session {
public:
    Session(const uint8_t* data, size_t size) : mInput(data, size)
    {
        if (mInstance.OpenStatus() != noErr)
            abort();
    }

    void Run()
    {
        for (size_t call = 0; call < kMaxCalls && !mInput.Empty(); ++call) {
            OneCall();
            CheckOrder();
        }
    }

private:
    AudioUnit Unit() const { return mInstance.Unit(); }

    // Now and then an id beyond those of every unit (none of them hands out an object that this
    // target would have to release).
    AudioUnitPropertyID PropertyID() { return mInput.OneOfOrAny(kPropertyIDs, 0x10000); }

    // Mostly whole records aimed at the unit's parameters, sometimes raw bytes of any length.
    std::vector<UInt8> Value()
    {
        const uint8_t mode = mInput.Byte();
        if (mode % 4 == 0) {
            return mInput.Bytes(mInput.SmallOrAny(200) % 400);
        }
        std::vector<AUParameterMIDIMapping> maps(mode % kMaxRecords);
        for (AUParameterMIDIMapping& map : maps) {
            mInput.Fill(&map, sizeof map);
            map.mScope %= 3;
            map.mElement %= 2;
            map.mParameterID %= kParameterCount + 2;
            map.mStatus = UInt8(0x80 + map.mStatus % 0x80);
        }
        const auto* bytes = reinterpret_cast<const UInt8*>(maps.data());
        return std::vector<UInt8>(bytes, bytes + maps.size() * sizeof(AUParameterMIDIMapping));
    }

    void SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
    {
        const std::vector<UInt8> value = Value();
        AudioUnitSetProperty(Unit(), id, scope, element, value.empty() ? nullptr : value.data(),
                             UInt32(value.size()));
    }

    void GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
    {
        UInt32 size = mInput.SmallOrAny(300) % 600;
        // One byte more than claimed, so that even a zero-sized buffer has an address.
        std::vector<UInt8> data(size + 1, kGuardByte);
        const UInt32 claimed = size;
        const OSStatus status =
            AudioUnitGetProperty(Unit(), id, scope, element, data.data(), &size);
        if (data.back() != kGuardByte || size > claimed)
            abort(); // written past the client's buffer
        if (status == noErr && id == kMusicDeviceProperty_MIDIXMLNames)
            abort(); // the unit has no name document
    }

    void Send()
    {
        const UInt8 status = mInput.Byte();
        // Mostly channel messages on a few controllers and notes, so that maps get matched.
        const UInt8 data1 = mInput.Byte() % ((status & 1) != 0 ? 8 : 256);
        mInstance.Send(status, data1, mInput.Byte(), mInput.Word());
    }

    void SendPacketList()
    {
        alignas(8) Byte storage[512];
        auto* list = reinterpret_cast<MIDIPacketList*>(storage);
        MIDIPacket* packet = MIDIPacketListInit(list);
        for (int i = mInput.Byte() % 4; i > 0 && packet != nullptr; --i) {
            const std::vector<UInt8> bytes = mInput.Bytes(1 + mInput.Byte() % 16);
            packet = MIDIPacketListAdd(list, sizeof storage, packet, mInput.Word(), bytes.size(),
                                       bytes.data());
        }
        mInstance.Object().HandleMIDIPacketList(list);
    }

    void OneCall()
    {
        const uint8_t selector = mInput.Byte() % 16;
        const AudioUnitPropertyID id = PropertyID();
        const AudioUnitScope scope = mInput.Byte() < 240 ? kAudioUnitScope_Global : mInput.Word();
        const AudioUnitElement element = mInput.Byte() < 240 ? 0 : mInput.Word();
        switch (selector) {
        case 0: {
            UInt32 size = 0;
            Boolean writable = false;
            AudioUnitGetPropertyInfo(Unit(), id, scope, element, &size, &writable);
            break;
        }
        case 1:
        case 2:
            GetProperty(id, scope, element);
            break;
        case 3:
        case 4:
        case 5:
            SetProperty(id, scope, element);
            break;
        case 6:
            if ((mInput.Byte() & 1) != 0)
                AudioUnitUninitialize(Unit());
            else
                AudioUnitInitialize(Unit());
            break;
        case 7: {
            const std::vector<UInt8> sysex = mInput.Bytes(mInput.Byte());
            MusicDeviceSysEx(Unit(), sysex.data(), UInt32(sysex.size()));
            break;
        }
        case 8:
            SendPacketList();
            break;
        default:
            Send();
            break;
        }
    }

    // What a host lists is always in the store's order.
    void CheckOrder() const
    {
        const std::vector<AUParameterMIDIMapping> maps = mInstance.Mappings();
        if (!std::is_sorted(maps.begin(), maps.end(), CompareMIDIMap()))
            abort();
    }

    Input mInput;
    MIDITestInstance mInstance;
};

} // namespace

PLENKO_FUZZ_CLOSE_OUTPUT(false)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return RunFuzzSession<Session>(data, size);
}
