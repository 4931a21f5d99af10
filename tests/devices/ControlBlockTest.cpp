#include "devices/ComPort.h"
#include "devices/ControlBlock.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zelvar;

TEST(ControlBlock, TheRelayPortGetsBinaryEightNoneOne)
{
    const TComPort port;
    const ControlBlock dcb = controlBlockFor(port);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Flags, 1u);
    EXPECT_EQ(dcb.wReserved, 0);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    EXPECT_EQ(dcb.wReserved1, 0);
}

TEST(ControlBlock, EachFlagFollowsItsSetting)
{
    struct Case
    {
        const char *name;
        std::function<void(TComPort &)> set;
        uint32_t flags;
    };
    const Case cases[] = {
        {"parity check", [](TComPort &p) { p.Parity().setCheck(true); }, 0x0003},
        {"CTS flow", [](TComPort &p) { p.FlowControl().setOutCTSFlow(true); }, 0x0005},
        {"DSR flow", [](TComPort &p) { p.FlowControl().setOutDSRFlow(true); }, 0x0009},
        {"DTR enable", [](TComPort &p) { p.FlowControl().setControlDTR(dtrEnable); }, 0x0011},
        {"DTR handshake", [](TComPort &p) { p.FlowControl().setControlDTR(dtrHandshake); }, 0x0021},
        {"DSR sensitivity", [](TComPort &p) { p.FlowControl().setDSRSensitivity(true); }, 0x0041},
        {"continue on XOFF", [](TComPort &p) { p.FlowControl().setTxContinueOnXoff(true); }, 0x0081},
        {"XON/XOFF out", [](TComPort &p) { p.FlowControl().setXonXoffOut(true); }, 0x0101},
        {"XON/XOFF in", [](TComPort &p) { p.FlowControl().setXonXoffIn(true); }, 0x0201},
        {"replace alone", [](TComPort &p) { p.Parity().setReplace(true); }, 0x0001},
        {"check and replace",
         [](TComPort &p) {
             p.Parity().setCheck(true);
             p.Parity().setReplace(true);
         },
         0x0403},
        {"discard null", [](TComPort &p) { p.setDiscardNull(true); }, 0x0801},
        {"RTS enable", [](TComPort &p) { p.FlowControl().setControlRTS(rtsEnable); }, 0x1001},
        {"RTS handshake", [](TComPort &p) { p.FlowControl().setControlRTS(rtsHandshake); }, 0x2001},
        {"RTS toggle", [](TComPort &p) { p.FlowControl().setControlRTS(rtsToggle); }, 0x3001},
        {"hardware flow", [](TComPort &p) { p.FlowControl().setFlowControl(fcHardware); }, 0x2005},
        {"software flow", [](TComPort &p) { p.FlowControl().setFlowControl(fcSoftware); }, 0x0301},
    };
    for (const Case &c : cases) {
        TComPort port;
        c.set(port);
        EXPECT_EQ(controlBlockFor(port).Flags, c.flags) << c.name;
    }
}

TEST(ControlBlock, ErrorCharacterOnlyWithCheckAndReplace)
{
    TComPort port;
    port.Parity().setReplaceChar('?');
    port.Parity().setReplace(true);
    EXPECT_EQ(controlBlockFor(port).ErrorChar, 0);
    port.Parity().setCheck(true);
    EXPECT_EQ(controlBlockFor(port).ErrorChar, '?');
}

TEST(ControlBlock, FramingSpeedAndCharacters)
{
    TComPort port;
    port.setBaudRate(br256000);
    port.setDataBits(dbSeven);
    port.Parity().setBits(prSpace);
    port.setStopBits(sbTwoStopBits);
    port.setEventChar('\n');
    port.FlowControl().setXonChar('Q');
    port.FlowControl().setXoffChar('S');
    ControlBlock dcb = controlBlockFor(port);
    EXPECT_EQ(dcb.BaudRate, 256000u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, 4);
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_EQ(dcb.EvtChar, '\n');
    EXPECT_EQ(dcb.XonChar, 'Q');
    EXPECT_EQ(dcb.XoffChar, 'S');

    port.setBaudRate(brCustom);
    port.setCustomBaudRate(31250);
    port.setDataBits(dbFive);
    port.Parity().setBits(prOdd);
    port.setStopBits(sbOne5StopBits);
    dcb = controlBlockFor(port);
    EXPECT_EQ(dcb.BaudRate, 31250u);
    EXPECT_EQ(dcb.ByteSize, 5);
    EXPECT_EQ(dcb.Parity, 1);
    EXPECT_EQ(dcb.StopBits, 1);
}

TEST(ControlBlock, XonXoffLimitsFollowTheInputQueue)
{
    TComPort port;
    port.Buffer().setInputSize(1025);
    EXPECT_EQ(controlBlockFor(port).XonLim, 256);
    EXPECT_EQ(controlBlockFor(port).XoffLim, 256);
    port.Buffer().setInputSize(2002);
    EXPECT_EQ(controlBlockFor(port).XonLim, 500);
    EXPECT_EQ(controlBlockFor(port).XoffLim, 500);
}
