#include "devices/ControlBlock.h"

#include "devices/ComPort.h"

namespace zelvar {

ControlBlock controlBlockFor(const TCustomComPort &port)
{
    ControlBlock dcb;
    dcb.DCBlength = sizeof(ControlBlock);
    dcb.BaudRate = port.BaudRate() == brCustom ? uint32_t(port.CustomBaudRate())
                                               : uint32_t(baudRateNumber(port.BaudRate()));

    const TComParity &parity = port.Parity();
    const TComFlowControl &flow = port.FlowControl();
    uint32_t flags = ControlBlock::fBinary;
    if (parity.Check())
        flags |= ControlBlock::fParity;
    if (flow.OutCTSFlow())
        flags |= ControlBlock::fOutxCtsFlow;
    if (flow.OutDSRFlow())
        flags |= ControlBlock::fOutxDsrFlow;
    switch (flow.ControlDTR()) {
    case dtrDisable: break;
    case dtrEnable: flags |= ControlBlock::DtrControlEnable; break;
    case dtrHandshake: flags |= ControlBlock::DtrControlHandshake; break;
    }
    if (flow.DSRSensitivity())
        flags |= ControlBlock::fDsrSensitivity;
    if (flow.TxContinueOnXoff())
        flags |= ControlBlock::fTXContinueOnXoff;
    if (flow.XonXoffOut())
        flags |= ControlBlock::fOutX;
    if (flow.XonXoffIn())
        flags |= ControlBlock::fInX;
    if (parity.Check() && parity.Replace()) {
        flags |= ControlBlock::fErrorChar;
        dcb.ErrorChar = parity.ReplaceChar();
    }
    if (port.DiscardNull())
        flags |= ControlBlock::fNull;
    switch (flow.ControlRTS()) {
    case rtsDisable: break;
    case rtsEnable: flags |= ControlBlock::RtsControlEnable; break;
    case rtsHandshake: flags |= ControlBlock::RtsControlHandshake; break;
    case rtsToggle: flags |= ControlBlock::RtsControlToggle; break;
    }
    dcb.Flags = flags;

    dcb.XonLim = uint16_t(port.Buffer().InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = uint8_t(5 + int(port.DataBits()));
    dcb.Parity = uint8_t(port.Parity().Bits());
    dcb.StopBits = uint8_t(port.StopBits());
    dcb.XonChar = flow.XonChar();
    dcb.XoffChar = flow.XoffChar();
    dcb.EvtChar = port.EventChar();
    return dcb;
}

} // namespace zelvar
