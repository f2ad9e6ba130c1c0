#include "SerialRig.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>

namespace {

void expectOpen(Window& w)
{
    EXPECT_TRUE(w.form.comm().portOpen());
    EXPECT_EQ(w.caption(), PortTexts::Close);
    EXPECT_EQ(w.lamp()->fillColor(), LampOpen);
}

void expectClosed(Window& w)
{
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.caption(), PortTexts::Open);
    EXPECT_EQ(w.lamp()->fillColor(), LampClosed);
}

// One "无效端口号" box, and caption, lamp and port as they were after start-up.
void expectRefusedOnce(Window& w)
{
    EXPECT_EQ(w.boxes.calls, (std::vector<MessageCall>{{PortTexts::InvalidPort, PortTexts::Title, MsgStyle::Exclamation}}));
    expectClosed(w);
    EXPECT_EQ(w.form.comm().commPort(), 1);
    EXPECT_EQ(w.form.comm().settings(), QStringLiteral("115200,n,8,1"));
}

TEST(SerialPath, SweepsOnTheOpenPortGiveTheConvertersCodesOnEveryChannelAndRange)
{
    EmulatedDevice device(Ramp{});
    Window w(device.path());
    w.form.Command2_Click();
    expectOpen(w);

    long n = 0;
    for (int channel = 0; channel < 8; ++channel) {
        for (const bool unipolar : {true, false}) {
            w.select(channel, unipolar);
            emuport_reset_counts();
            w.form.Timer1_Timer();

            const emuport_counts counts = emuport_calls();
            EXPECT_EQ(counts.sets, 52L * SweepLength);
            EXPECT_EQ(counts.reads, 13L * SweepLength);
            EXPECT_EQ(counts.others, 0);
            EXPECT_EQ(device.converter().lastRequest().channel, channel);
            EXPECT_EQ(device.converter().lastRequest().range, unipolar ? Range::Unipolar : Range::Bipolar);
            expectSweep(w, channel, unipolar, n);
            n += SweepLength;
        }
    }
    EXPECT_TRUE(w.boxes.calls.empty());
}

TEST(PortOpen, ADeviceThatDoesNotExistGivesOneInvalidPortAndChangesNothing)
{
    EmulatedDevice device;
    Window w(device.missingPath());
    w.form.Command2_Click();
    expectRefusedOnce(w);
}

TEST(PortOpen, ADeviceHeldByAnotherProcessGivesOneInvalidPortAndChangesNothing)
{
    EmulatedDevice device;
    Window w(device.path());
    {
        OtherProcess other(device.path());
        ASSERT_TRUE(other.holding()) << qPrintable(other.answer());
        w.form.Command2_Click();
        expectRefusedOnce(w);
    }
    w.form.Command2_Click();
    expectOpen(w);
    EXPECT_EQ(w.boxes.calls.size(), 1u);
}

TEST(PortFailure, AnAdapterPulledOutMidSweepClosesThePortAndItOpensAgainOnceItIsBack)
{
    EmulatedDevice device(Ramp{});
    Window w(device.path());
    w.form.Command2_Click();
    w.form.Timer1_Timer(); // channel 0, ±2V: a whole sweep to keep
    const SampleArray kept = w.form.state().SampleBuffer;

    device.pullOutAt(65L * 100 + 31); // in the frame of the 101st sample
    w.form.Timer1_Timer();

    EXPECT_FALSE(w.form.sweeping());
    EXPECT_EQ(w.pump.count, SweepLength + 100);
    EXPECT_EQ(w.form.state().SampleBuffer, kept) << "the broken sweep's samples are dropped";
    expectClosed(w);
    EXPECT_TRUE(w.form.options().isSelected(3)) << "Hold";
    EXPECT_FALSE(w.timer.enabled);
    EXPECT_EQ(w.boxes.calls, (std::vector<MessageCall>{{PortTexts::CommFailed + QStringLiteral("输入/输出错误"),
                                                         PortTexts::Title, MsgStyle::Exclamation}}));
    EXPECT_FALSE(w.lifetime.ended());

    w.form.Command2_Click(); // still pulled out
    EXPECT_EQ(w.boxes.calls.size(), 2u);
    EXPECT_EQ(w.boxes.calls.back().text, PortTexts::InvalidPort);
    expectClosed(w);

    device.plugBack();
    w.form.Command2_Click();
    expectOpen(w);
    w.form.options().select(4); // Scan
    w.form.Timer1_Timer();
    // The ramp went on through the whole sweep and 100 conversions and the one that broke.
    expectSweep(w, 0, false, SweepLength + 101);
    EXPECT_EQ(w.boxes.calls.size(), 2u);
}

TEST(PortClose, ReleasesTheDeviceSoThisProgramOrAnotherOpensItAtOnce)
{
    EmulatedDevice device;
    Window w(device.path());
    w.form.Command2_Click();
    expectOpen(w);
    EXPECT_FALSE(OtherProcess(device.path()).holding()) << "open here, so locked for others";

    w.form.Command2_Click();
    expectClosed(w);
    {
        OtherProcess other(device.path());
        EXPECT_TRUE(other.holding()) << qPrintable(other.answer());
    }

    w.form.Command2_Click();
    expectOpen(w);
    w.form.Command2_Click();
    w.form.Command2_Click();
    expectOpen(w);
    EXPECT_TRUE(w.boxes.calls.empty());
}

// Stable names come from links like those in /dev/serial/by-id, which point at device nodes.
TEST(PortMap, StableNamesAreTheLinksToEachDevice)
{
    QTemporaryDir byId;
    const QString link = byId.filePath(QStringLiteral("usb-Q390_A12-if00-port0"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));
    ASSERT_TRUE(QFile::link(byId.filePath(QStringLiteral("gone")), byId.filePath(QStringLiteral("dangling"))));
    EXPECT_EQ(PortMap::stableLinks(byId.path()), (QHash<QString, QString>{{QStringLiteral("/dev/null"), link}}));
    EXPECT_TRUE(PortMap::stableLinks(byId.filePath(QStringLiteral("none"))).isEmpty());
}

} // namespace
