#include "FixtureBundles.h"

#include <AudioToolbox/AudioToolbox.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Delivery {
    void* object;
    AudioUnitEvent event;
    AudioUnitParameterValue value;
    std::thread::id thread;
};

struct Inbox {
    std::vector<Delivery> deliveries;
    AUEventListenerRef disposeOnDelivery = nullptr;
};

void Receive(void* refCon, void* object, const AudioUnitEvent* event, UInt64,
             AudioUnitParameterValue value)
{
    auto* inbox = static_cast<Inbox*>(refCon);
    inbox->deliveries.push_back({object, *event, value, std::this_thread::get_id()});
    if (inbox->disposeOnDelivery != nullptr) {
        AUListenerDispose(inbox->disposeOnDelivery);
        inbox->disposeOnDelivery = nullptr;
    }
}

AudioUnitEvent ParameterChange(AudioUnit unit, AudioUnitParameterID id)
{
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = {unit, id, 0, 0};
    return event;
}

class AUEventListenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ScanFixtureBundles();
        AudioComponent component = FindFixture(kTinyUnitSubType);
        ASSERT_NE(component, nullptr);
        ASSERT_EQ(AudioComponentInstanceNew(component, &mUnit), noErr);
        ASSERT_EQ(AUEventListenerCreate(Receive, &mInbox, &mListener), noErr);
    }
    void TearDown() override
    {
        if (mListener != nullptr) {
            EXPECT_EQ(AUListenerDispose(mListener), noErr);
        }
        EXPECT_EQ(AudioComponentInstanceDispose(mUnit), noErr);
    }

    AudioUnit mUnit = nullptr;
    Inbox mInbox;
    AUEventListenerRef mListener = nullptr;
    int mObject = 0;
};

TEST_F(AUEventListenerTest, ParameterChangeReachesItsListenerOnTheNotifyingThreadWithTheValue)
{
    const AudioUnitEvent level = ParameterChange(mUnit, kTinyUnitLevel);
    ASSERT_EQ(AUEventListenerAddEventType(mListener, &mObject, &level), noErr);

    ASSERT_EQ(AudioUnitSetParameter(mUnit, kTinyUnitLevel, 0, 0, 0.75f, 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(mUnit, 2, 0, 0, 0.25f, 0), noErr); // not registered

    ASSERT_EQ(mInbox.deliveries.size(), 1u);
    const Delivery& delivery = mInbox.deliveries[0];
    EXPECT_EQ(delivery.object, &mObject);
    EXPECT_EQ(delivery.event.mEventType, kAudioUnitEvent_ParameterValueChange);
    EXPECT_EQ(delivery.event.mArgument.mParameter.mAudioUnit, mUnit);
    EXPECT_EQ(delivery.event.mArgument.mParameter.mParameterID, kTinyUnitLevel);
    EXPECT_EQ(delivery.value, 0.75f);
    EXPECT_EQ(delivery.thread, std::this_thread::get_id());
}

TEST_F(AUEventListenerTest, RemovedRegistrationAndTheSenderHearNothing)
{
    const AudioUnitEvent level = ParameterChange(mUnit, kTinyUnitLevel);
    ASSERT_EQ(AUEventListenerAddEventType(mListener, &mObject, &level), noErr);

    EXPECT_EQ(AUEventListenerNotify(mListener, nullptr, &level), noErr);
    EXPECT_EQ(AUEventListenerNotify(nullptr, &mObject, &level), noErr);
    EXPECT_TRUE(mInbox.deliveries.empty());

    ASSERT_EQ(AUEventListenerRemoveEventType(mListener, &mObject, &level), noErr);
    EXPECT_EQ(AUEventListenerRemoveEventType(mListener, &mObject, &level), kAudio_ParamError);
    ASSERT_EQ(AudioUnitSetParameter(mUnit, kTinyUnitLevel, 0, 0, 1.0f, 0), noErr);
    EXPECT_TRUE(mInbox.deliveries.empty());
}

TEST_F(AUEventListenerTest, ListenerDisposedDuringItsDeliveryIsNeverCalledAgain)
{
    const AudioUnitEvent level = ParameterChange(mUnit, kTinyUnitLevel);
    ASSERT_EQ(AUEventListenerAddEventType(mListener, nullptr, &level), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(mListener, nullptr, &level), noErr);
    mInbox.disposeOnDelivery = mListener;

    ASSERT_EQ(AudioUnitSetParameter(mUnit, kTinyUnitLevel, 0, 0, 0.5f, 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(mUnit, kTinyUnitLevel, 0, 0, 0.6f, 0), noErr);

    EXPECT_EQ(mInbox.deliveries.size(), 1u);
    EXPECT_EQ(AUListenerDispose(mListener), kAudio_ParamError);
    EXPECT_EQ(AUEventListenerAddEventType(mListener, nullptr, &level), kAudio_ParamError);
    mListener = nullptr;
}

TEST(AUEventListener, RejectsMissingArguments)
{
    AUEventListenerRef listener = nullptr;
    EXPECT_EQ(AUEventListenerCreate(nullptr, nullptr, &listener), kAudio_ParamError);
    EXPECT_EQ(AUEventListenerCreate(Receive, nullptr, nullptr), kAudio_ParamError);
    EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, nullptr), kAudio_ParamError);
    EXPECT_EQ(AUListenerDispose(nullptr), kAudio_ParamError);
}

} // namespace
