// The endpoint catalogue: grouping by adapter, the default sink's card first, and selecting positions.
#include "PulseTestDaemon.h"

#include "capture/TInputRecordThread.h"
#include "capture/TWASAPIDevice.h"
#include "capture/TWASAPISource.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"

#include <gtest/gtest.h>

#include <chrono>

namespace quimbrel {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> names(const TWASAPIDevices& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i)
        out.push_back(list[i].name);
    return out;
}

const TWASAPIDevice* card(const TWASAPISource& s, const std::string& name) {
    for (int i = 0; i < s.cards().count(); ++i)
        if (s.cards()[i].name == name)
            return &s.cards()[i];
    return nullptr;
}

TEST(Catalogue, GroupsEndpointsByExactAdapterNameWithTheDefaultSinksCardFirst) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    TWASAPISource source(messages, dispatcher);
    EXPECT_EQ(messages.count(), 0u);

    const TWASAPIDevice* a = card(source, "Test Card A");
    const TWASAPIDevice* upper = card(source, "Test Card B");
    const TWASAPIDevice* lower = card(source, "test card b");
    const TWASAPIDevice* mic = card(source, "Test Mic Card");
    ASSERT_TRUE(a && upper && lower && mic);
    EXPECT_EQ(names(a->endpoints), (std::vector<std::string>{"Test Speakers", "Test Mono"}));
    EXPECT_EQ(names(upper->endpoints), (std::vector<std::string>{"Test Eight"}));
    EXPECT_EQ(names(lower->endpoints), (std::vector<std::string>{"Test Lower"}));
    EXPECT_EQ(names(mic->endpoints), (std::vector<std::string>{"Test Mic Feed", "Test Microphone"}));
    EXPECT_EQ(a->id, "quimbrel_speakers");

    // quimbrel_speakers is the default sink: its card comes first and its line is the default line.
    EXPECT_EQ(source.cards()[0].name, "Test Card A");
    EXPECT_EQ(source.defaultcard(), 0);
    EXPECT_EQ(source.getdefaultline(), 0);
    EXPECT_EQ(source.lines(), names(source.cards()[0].endpoints));

    const TWASAPIDevice& eight = upper->endpoints[0];
    EXPECT_EQ(eight.id, "quimbrel_eight");
    EXPECT_EQ(eight.dataflow, 0);
    EXPECT_EQ(eight.state, TWASAPIDevice::kActive);
    EXPECT_EQ(eight.samplerate, 48000);
    EXPECT_EQ(eight.channels, 8);
    EXPECT_EQ(eight.bits, 32);
    const TWASAPIDevice& microphone = mic->endpoints[1];
    EXPECT_EQ(microphone.id, "quimbrel_mic");
    EXPECT_EQ(microphone.dataflow, 1);

    // Monitors are never listed on their own.
    for (int c = 0; c < source.cards().count(); ++c)
        for (int l = 0; l < source.cards()[c].endpoints.count(); ++l)
            EXPECT_EQ(source.cards()[c].endpoints[l].id.find(".monitor"), std::string::npos);
}

TEST(Catalogue, DefaultSinkOnTheThirdCardMovesThatCardFirst) {
    QUIMBREL_REQUIRE_PULSE();
    test::PulseTestDaemon daemon(
        "load-module module-null-sink sink_name=quimbrel_extra rate=48000 channels=2 "
        "sink_properties=\"device.description='Test Extra' device.product.name='test card b'\"\n"
        "set-default-sink quimbrel_extra\n");
    ASSERT_TRUE(daemon.running());
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    TWASAPISource source(messages, dispatcher, {}, daemon.server());
    EXPECT_EQ(messages.count(), 0u);

    EXPECT_EQ(names(source.cards()),
              (std::vector<std::string>{"test card b", "Test Card A", "Test Card B", "Test Mic Card"}));
    EXPECT_EQ(names(source.cards()[0].endpoints), (std::vector<std::string>{"Test Lower", "Test Extra"}));
    EXPECT_EQ(source.defaultcard(), 0);
    EXPECT_EQ(source.defaultline(), 1);
    EXPECT_EQ(source.getdefaultline(), 1);

    // On another card the default line does not apply.
    source.openline(1, 0, floatformat(44100, 2));
    EXPECT_EQ(source.getdefaultline(), 0);
    source.stopthreads();
}

TEST(Selection, PositionsOutsideTheCatalogueFailWithTheMessage) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    TWASAPISource source(messages, dispatcher);
    const int cards = source.cards().count();
    ASSERT_GT(cards, 0);

    struct Case {
        const char* what;
        std::function<bool()> open;
    };
    const std::vector<Case> cases = {
        {"card beyond the last", [&] { return source.openline(cards, 0, floatformat(44100, 2)); }},
        {"negative card", [&] { return source.openline(-1, 0, floatformat(44100, 2)); }},
        {"line beyond the last", [&] { return source.openline(0, 99, floatformat(44100, 2)); }},
        {"opencard beyond the last", [&] { return source.opencard(cards, floatformat(44100, 2)); }},
    };
    for (const auto& c : cases) {
        messages.clear();
        EXPECT_FALSE(c.open()) << c.what;
        EXPECT_FALSE(source.isactive()) << c.what;
        EXPECT_FALSE(source.opened()) << c.what;
        EXPECT_EQ(source.capturethread(), nullptr) << c.what;
        auto shown = messages.entries();
        ASSERT_EQ(shown.size(), 1u) << c.what;
        EXPECT_EQ(shown[0].text, "Could not initialize selected audio device.");
        EXPECT_EQ(shown[0].caption, "Audio Device Error");
        EXPECT_EQ(shown[0].icon, MessageIcon::Error);
    }
}

TEST(Selection, OpenCardSelectLineAndSetFormat) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    TWASAPISource source(messages, dispatcher);

    ASSERT_TRUE(source.opencard(0, floatformat(44100, 2)));
    EXPECT_EQ(source.lineindex(), 0);
    EXPECT_TRUE(source.opened());
    EXPECT_TRUE(source.isactive());
    EXPECT_TRUE(source.loopback());
    ASSERT_NE(source.capturethread(), nullptr);
    EXPECT_NE(source.silencethread(), nullptr);

    // The current line without force: no re-open, the volume is still read back.
    TInputRecordThread* before = source.capturethread();
    int volume = -1;
    EXPECT_EQ(source.selectline(0, false, volume), 0);
    EXPECT_EQ(source.capturethread(), before);
    EXPECT_EQ(volume, source.volume());
    EXPECT_GE(volume, 0);

    WaveFormat format;
    source.setformat(48000, 1, format);
    EXPECT_EQ(format, floatformat(48000, 1));
    EXPECT_EQ(source.format(), format);
    ASSERT_NE(source.capturethread(), nullptr);
    EXPECT_EQ(source.capturethread()->target(), format);
    EXPECT_TRUE(source.opened());
    source.stopthreads();
    EXPECT_EQ(source.capturethread(), nullptr);
    EXPECT_EQ(source.silencethread(), nullptr);
    EXPECT_EQ(messages.count(), 0u);
}

} // namespace
} // namespace quimbrel
