#include "RecordingUnit.h"

#include "CatchAsStatus.h"
#include "LeakSanitizer.h"
#include "OutputCapture.h"
#include "PlugInInstanceBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace {

using Events = std::vector<std::string>;

class ComponentBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordingUnit::sFailure = RecordingUnit::Failure::kNone;
        RecordingUnit::sEvents.clear();
        RecordingUnit::sLastConstructed = nullptr;
    }

    static AudioComponent Component()
    {
        static AudioComponent component = [] {
            const AudioComponentDescription description = RecordingDescription(0x52656331);
            return AudioComponentRegister(&description, CFSTR("Tests: Recording"), 0x00010002,
                                          RecordingFactory::Factory);
        }();
        return component;
    }

    OSStatus Open() { return AudioComponentInstanceNew(Component(), &mInstance); }
    OSStatus Close()
    {
        const OSStatus status = AudioComponentInstanceDispose(mInstance);
        mInstance = nullptr;
        return status;
    }

    AudioComponentInstance mInstance = nullptr;
};

TEST_F(ComponentBaseTest, FactoryBlockPutsTheRecordFirstAndTheStorage64BytesIn)
{
    AudioComponentPlugInInterface* record = RecordingFactory::Factory(nullptr);
    ASSERT_NE(record, nullptr);
    auto* block = PlugInInstanceBlock::FromRecord(record);
    EXPECT_EQ(static_cast<void*>(block), static_cast<void*>(record));
    EXPECT_EQ(record->Open, &ComponentBase::AP_Open);
    EXPECT_EQ(record->Close, &ComponentBase::AP_Close);
    EXPECT_EQ(record->Lookup, &NoSelectors::Lookup);
    EXPECT_EQ(record->reserved, nullptr);
    EXPECT_EQ(block->mConstruct, &RecordingFactory::Construct);
    EXPECT_EQ(block->mDestruct, &RecordingFactory::Destruct);
    EXPECT_EQ(block->mReserved[0], nullptr);
    EXPECT_EQ(block->mReserved[1], nullptr);
    const auto storage = reinterpret_cast<std::uintptr_t>(block->Storage());
    EXPECT_EQ(storage - reinterpret_cast<std::uintptr_t>(block), 64u);
    EXPECT_EQ(storage % 16, 0u);
    std::free(block); // never opened: the storage is raw
}

TEST_F(ComponentBaseTest, OpenAndCloseRunTheLifecycleOnceAndGiveBackTheBlock)
{
    ASSERT_EQ(Open(), noErr);
    RecordingUnit* unit = RecordingUnit::sLastConstructed;
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(unit->IsPluginObject());
    EXPECT_EQ(unit->GetComponentInstance(), mInstance);
    EXPECT_EQ(RecordingUnit::sInstanceTypeSeen, ComponentBase::kPlugInInstanceType);
    const AudioComponentDescription expected = RecordingDescription(0x52656331);
    const AudioComponentDescription description = unit->GetComponentDescription();
    EXPECT_EQ(description.componentType, expected.componentType);
    EXPECT_EQ(description.componentSubType, expected.componentSubType);
    EXPECT_EQ(description.componentManufacturer, expected.componentManufacturer);
    EXPECT_EQ(ComponentBase::sNewInstanceType, 0);

    EXPECT_EQ(Close(), noErr);
    EXPECT_EQ(RecordingUnit::sEvents,
              (Events{"construct", "post-construct", "pre-destruct", "destruct"}));
    EXPECT_FALSE(LeakSanitizerFindsUnreachableBlocks());
}

struct FailedOpen {
    RecordingUnit::Failure failure;
    OSStatus status;
    Events events;
};

class FailedOpenTest : public ComponentBaseTest,
                       public ::testing::WithParamInterface<FailedOpen> {};

TEST_P(FailedOpenTest, ReturnsTheConventionsStatusFreesTheBlockAndRestoresTheInstanceType)
{
    ComponentBase::sNewInstanceType = 7;
    RecordingUnit::sFailure = GetParam().failure;

    EXPECT_EQ(Open(), GetParam().status);

    EXPECT_EQ(mInstance, nullptr);
    EXPECT_EQ(ComponentBase::sNewInstanceType, 7);
    ComponentBase::sNewInstanceType = 0;
    EXPECT_EQ(RecordingUnit::sEvents, GetParam().events);
    EXPECT_FALSE(LeakSanitizerFindsUnreachableBlocks());
}

using Failure = RecordingUnit::Failure;
INSTANTIATE_TEST_SUITE_P(
    ConstructionFailures, FailedOpenTest,
    ::testing::Values(
        FailedOpen{Failure::kConstructorThrowsInt, kAudioUnitErr_InvalidScope, {"construct"}},
        FailedOpen{Failure::kConstructorThrowsBadAlloc, kAudio_MemFullError, {"construct"}},
        FailedOpen{Failure::kConstructorThrowsOther, -1, {"construct"}},
        FailedOpen{Failure::kConstructorThrowsShort, -5, {"construct"}},
        FailedOpen{Failure::kConstructorThrowsCAXException,
                   kAudioUnitErr_FailedInitialization,
                   {"construct"}},
        // The object was complete: it is destroyed before its block is freed.
        FailedOpen{Failure::kPostConstructorThrows,
                   kAudioUnitErr_InvalidElement,
                   {"construct", "post-construct", "destruct"}}));

TEST_F(ComponentBaseTest, CloseThatFailsKeepsTheInstanceSoItCanBeClosedAgain)
{
    ASSERT_EQ(Open(), noErr);
    RecordingUnit::sFailure = Failure::kPreDestructorThrows;

    EXPECT_EQ(AudioComponentInstanceDispose(mInstance), kAudioUnitErr_Initialized);
    EXPECT_EQ(RecordingUnit::sEvents.back(), "pre-destruct");
    EXPECT_EQ(AudioComponentInstanceGetComponent(mInstance), Component());

    RecordingUnit::sFailure = Failure::kNone;
    EXPECT_EQ(Close(), noErr);
    EXPECT_EQ(RecordingUnit::sEvents.back(), "destruct");
    EXPECT_EQ(ComponentBase::AP_Close(nullptr), noErr);
    EXPECT_FALSE(LeakSanitizerFindsUnreachableBlocks());
}

TEST_F(ComponentBaseTest, MissingComponentIsLoggedAndDescribedAsZeros)
{
    AudioComponentPlugInInterface* record = RecordingFactory::Factory(nullptr);
    ASSERT_NE(record, nullptr);
    OutputCapture errors(OutputCapture::kStderr);

    // An instance handle the platform does not know: it cannot give the component.
    ASSERT_EQ(record->Open(record, nullptr), noErr);

    const std::string line = errors.Take();
    const std::string prefix =
        "ca_require_noerr: [result = CB_GetComponentDescription (mComponentInstance, &desc), -50] "
        "(goto home;) AUPublic/AUBase/ComponentBase.cpp:";
    ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
    const std::string lineNumber = line.substr(prefix.size());
    EXPECT_GT(std::atoi(lineNumber.c_str()), 0) << line;
    EXPECT_EQ(lineNumber.find_first_not_of("0123456789"), lineNumber.size() - 1) << line;
    EXPECT_EQ(line.back(), '\n');
    const AudioComponentDescription description =
        RecordingUnit::sLastConstructed->GetComponentDescription();
    EXPECT_EQ(description.componentType | description.componentSubType |
                  description.componentManufacturer | description.componentFlags |
                  description.componentFlagsMask,
              0u);
    EXPECT_EQ(record->Close(record), noErr);
}

TEST_F(ComponentBaseTest, ObjectNotMadeThroughThePlugInDescribesItselfAsZerosSilently)
{
    ASSERT_EQ(Open(), noErr); // a valid handle: a platform call would succeed and be noticed
    OutputCapture errors(OutputCapture::kStderr);
    ASSERT_EQ(ComponentBase::sNewInstanceType, 0);

    RecordingUnit unit(mInstance);

    EXPECT_FALSE(unit.IsPluginObject());
    EXPECT_EQ(unit.GetComponentDescription().componentType, 0u);
    EXPECT_EQ(unit.GetComponentDescription().componentSubType, 0u);
    EXPECT_EQ(unit.GetComponentDescription().componentManufacturer, 0u);
    EXPECT_EQ(errors.Take(), "");
    EXPECT_EQ(Close(), noErr);
}

// A unit that opens another instance while it is being constructed, as a unit hosting a
// sub-unit would.
class NestingUnit : public ComponentBase {
public:
    explicit NestingUnit(AudioComponentInstance instance) : ComponentBase(instance)
    {
        sInnerStatus = AudioComponentInstanceNew(sInnerComponent, &sInner);
        sTypeAfterInnerOpen = sNewInstanceType;
    }
    static inline AudioComponent sInnerComponent = nullptr;
    static inline AudioComponentInstance sInner = nullptr;
    static inline OSStatus sInnerStatus = 1;
    static inline SInt32 sTypeAfterInnerOpen = -1;
};

TEST_F(ComponentBaseTest, OpenDuringAnotherOpenOnTheSameThreadProceedsWithTheRightType)
{
    const AudioComponentDescription description = RecordingDescription(0x4e657374);
    AudioComponent outer = AudioComponentRegister(&description, CFSTR("Tests: Nesting"), 1,
                                                  APFactory<NoSelectors, NestingUnit>::Factory);
    NestingUnit::sInnerComponent = Component();
    AudioComponentInstance instance = nullptr;

    ASSERT_EQ(AudioComponentInstanceNew(outer, &instance), noErr);

    EXPECT_EQ(NestingUnit::sInnerStatus, noErr);
    EXPECT_EQ(RecordingUnit::sInstanceTypeSeen, ComponentBase::kPlugInInstanceType);
    EXPECT_EQ(NestingUnit::sTypeAfterInnerOpen, ComponentBase::kPlugInInstanceType);
    EXPECT_EQ(ComponentBase::sNewInstanceType, 0);
    EXPECT_EQ(AudioComponentInstanceDispose(NestingUnit::sInner), noErr);
    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
}

// Releases nothing but records that it went out of scope.
struct ScopeMark {
    explicit ScopeMark(bool& released) : mReleased(released) {}
    ~ScopeMark() { mReleased = true; }
    bool& mReleased;
};

TEST(CatchAsStatus, TurnsEachKindOfExceptionIntoItsStatus)
{
    EXPECT_EQ(CatchAsStatus([] { return OSStatus(-10851); }), -10851);
    EXPECT_EQ(CatchAsStatus([]() -> OSStatus { throw CAXException("op", -10868); }), -10868);
    EXPECT_EQ(CatchAsStatus([]() -> OSStatus { throw std::bad_alloc(); }), -108);
    EXPECT_EQ(CatchAsStatus([]() -> OSStatus { throw -10877; }), -10877);
    EXPECT_EQ(CatchAsStatus([]() -> OSStatus { throw static_cast<short>(-32768); }), -32768);
    EXPECT_EQ(CatchAsStatus([]() -> OSStatus { throw std::runtime_error("x"); }), -1);
    EXPECT_EQ(CatchAsStatus([]() -> OSStatus { throw 2.5; }), -1);
}

TEST(CatchAsStatus, ReleasesTheRegionsObjectsBeforeAnsweringWithTheStatus)
{
    bool released = false;
    const OSStatus status = CatchAsStatus([&]() -> OSStatus {
        ScopeMark mark(released);
        throw -10866;
    });
    EXPECT_TRUE(released);
    EXPECT_EQ(status, -10866);
}

TEST(CAXException, KeepsAtMost255CharactersOfItsOperation)
{
    const std::string longText(400, 'x');
    const CAXException exception(longText.c_str(), -50);
    EXPECT_EQ(std::string(exception.Operation()), std::string(255, 'x'));
    EXPECT_EQ(exception.Error(), -50);
    EXPECT_STREQ(CAXException(nullptr, 0).Operation(), "");
}

} // namespace
