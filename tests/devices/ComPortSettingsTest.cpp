#include "devices/ComError.h"
#include "devices/ComPort.h"

#include <gtest/gtest.h>

using namespace zelvar;

TEST(ComPortSettings, BaudRateFromTextFollowsTheSpeedList)
{
    const std::pair<const char *, TBaudRate> table[] = {
        {"Custom", brCustom}, {"110", br110},       {"300", br300},       {"600", br600},
        {"1200", br1200},     {"2400", br2400},     {"4800", br4800},     {"9600", br9600},
        {"14400", br14400},   {"19200", br19200},   {"38400", br38400},   {"56000", br56000},
        {"57600", br57600},   {"115200", br115200}, {"128000", br128000}, {"256000", br256000},
    };
    for (const auto &[text, rate] : table) {
        EXPECT_EQ(TCustomComPort::BaudRateFromText(QString::fromLatin1(text)), rate) << text;
        if (rate != brCustom) {
            EXPECT_EQ(baudRateNumber(rate), QByteArray(text).toInt()) << text;
        }
    }
    EXPECT_EQ(TCustomComPort::BaudRateFromText(QStringLiteral("custom")), brCustom);
    EXPECT_EQ(TCustomComPort::BaudRateFromText(QStringLiteral("CUSTOM")), brCustom);
    for (const char *other : {"", "230400", " 19200", "19200 ", "abc", "0"})
        EXPECT_EQ(TCustomComPort::BaudRateFromText(QString::fromLatin1(other)), br9600) << other;
}

TEST(ComPortSettings, DefaultsAreThoseOfTheRelayPort)
{
    const TComPort port;
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
    EXPECT_EQ(port.FlowControl().XonChar(), 17);
    EXPECT_EQ(port.FlowControl().XoffChar(), 19);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024);
    EXPECT_EQ(port.Events(), TComEvents::all());
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.EventThreadPriority(), QThread::NormalPriority);
    EXPECT_EQ(port.Parity().ComPort(), &port);
    EXPECT_EQ(port.Buffer().ComPort(), &port);
}

TEST(ComPortSettings, FlowControlSummaryReadsAndWrites)
{
    TComPort port;
    TComFlowControl &flow = port.FlowControl();

    flow.setFlowControl(fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    EXPECT_FALSE(flow.XonXoffIn() || flow.XonXoffOut());
    EXPECT_EQ(flow.FlowControl(), fcHardware);

    flow.setFlowControl(fcSoftware);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
    EXPECT_EQ(flow.FlowControl(), fcSoftware);

    // fcCustom changes nothing.
    flow.setFlowControl(fcCustom);
    EXPECT_EQ(flow.FlowControl(), fcSoftware);

    flow.setXonXoffIn(false);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.setFlowControl(fcNone);
    EXPECT_EQ(flow.FlowControl(), fcNone);
    flow.setControlRTS(rtsEnable);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.setControlRTS(rtsDisable);
    flow.setOutCTSFlow(true);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.setControlRTS(rtsHandshake);
    EXPECT_EQ(flow.FlowControl(), fcHardware);
    // Lines outside the summary leave it alone.
    flow.setFlowControl(fcNone);
    flow.setControlDTR(dtrEnable);
    flow.setOutDSRFlow(true);
    EXPECT_EQ(flow.FlowControl(), fcNone);
}

TEST(ComPortSettings, OddQueueSizesAreLoweredByOne)
{
    TComPort port;
    port.Buffer().setInputSize(1025);
    port.Buffer().setOutputSize(4097);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 4096);
    port.Buffer().setInputSize(2048);
    EXPECT_EQ(port.Buffer().InputSize(), 2048);
}

TEST(ComPortSettings, AssigningSettingsCopiesFieldsAndKeepsTheOwner)
{
    TComPort a;
    TComPort b;
    a.Parity().setBits(prEven);
    a.Parity().setCheck(true);
    a.Parity().setReplace(true);
    a.Parity().setReplaceChar('?');
    a.FlowControl().setFlowControl(fcHardware);
    a.FlowControl().setControlDTR(dtrHandshake);
    a.FlowControl().setDSRSensitivity(true);
    a.FlowControl().setTxContinueOnXoff(true);
    a.FlowControl().setXonChar('a');
    a.Timeouts().setReadInterval(5);
    a.Timeouts().setReadTotalConstant(7);
    a.Timeouts().setWriteTotalConstant(9);
    a.Buffer().setInputSize(512);

    b.setParity(a.Parity());
    b.FlowControl() = a.FlowControl();
    b.setTimeouts(a.Timeouts());
    b.setBuffer(a.Buffer());

    EXPECT_EQ(b.Parity().Bits(), prEven);
    EXPECT_TRUE(b.Parity().Check());
    EXPECT_TRUE(b.Parity().Replace());
    EXPECT_EQ(b.Parity().ReplaceChar(), '?');
    EXPECT_EQ(b.FlowControl().FlowControl(), fcHardware);
    EXPECT_EQ(b.FlowControl().ControlDTR(), dtrHandshake);
    EXPECT_TRUE(b.FlowControl().DSRSensitivity());
    EXPECT_TRUE(b.FlowControl().TxContinueOnXoff());
    EXPECT_EQ(b.FlowControl().XonChar(), 'a');
    EXPECT_EQ(b.Timeouts().ReadInterval(), 5);
    EXPECT_EQ(b.Timeouts().ReadTotalConstant(), 7);
    EXPECT_EQ(b.Timeouts().WriteTotalConstant(), 9);
    EXPECT_EQ(b.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(b.Buffer().InputSize(), 512);
    EXPECT_EQ(b.Parity().ComPort(), &b);
    EXPECT_EQ(b.FlowControl().ComPort(), &b);

    // A detached copy keeps the values for later.
    TComTimeouts saved;
    saved = a.Timeouts();
    EXPECT_EQ(saved.ComPort(), nullptr);
    EXPECT_EQ(saved.ReadInterval(), 5);
}

TEST(ComPortSettings, EventAndErrorSetsMapToTheDeviceBits)
{
    EXPECT_EQ(eventMaskFor(TComEvents::all()), 0x5FFu);
    EXPECT_EQ(eventMaskFor({}), 0u);
    EXPECT_EQ(eventMaskFor({evRxChar}), 0x001u);
    EXPECT_EQ(eventMaskFor({evTxEmpty, evRx80Full}), 0x404u);
    EXPECT_EQ(eventMaskFor({evRxFlag, evRing, evError}), 0x182u);
    EXPECT_EQ(eventsFromMask(0x5FF), TComEvents::all());
    EXPECT_EQ(eventsFromMask(0x028), TComEvents({evCTS, evRLSD}));
    EXPECT_EQ(eventsFromMask(0x050), TComEvents({evDSR, evBreak}));
    EXPECT_EQ(eventsFromMask(0x200), TComEvents());

    EXPECT_EQ(errorsFromMask(0x0001), TComErrors({ceRxOver}));
    EXPECT_EQ(errorsFromMask(0x000E), TComErrors({ceOverrun, ceRxParity, ceFrame}));
    EXPECT_EQ(errorsFromMask(0x8510), TComErrors({ceBreak, ceTxFull, ceIO, ceMode}));
}
