#pragma once

#include <cstdint>

namespace zelvar {

class TCustomComPort;

// The serial device control block, field for field as the device layer takes it.
struct ControlBlock
{
    // Bits of Flags.
    static constexpr uint32_t fBinary = 0x0001;
    static constexpr uint32_t fParity = 0x0002;
    static constexpr uint32_t fOutxCtsFlow = 0x0004;
    static constexpr uint32_t fOutxDsrFlow = 0x0008;
    static constexpr uint32_t DtrControlMask = 0x0030;
    static constexpr uint32_t DtrControlEnable = 0x0010;
    static constexpr uint32_t DtrControlHandshake = 0x0020;
    static constexpr uint32_t fDsrSensitivity = 0x0040;
    static constexpr uint32_t fTXContinueOnXoff = 0x0080;
    static constexpr uint32_t fOutX = 0x0100;
    static constexpr uint32_t fInX = 0x0200;
    static constexpr uint32_t fErrorChar = 0x0400;
    static constexpr uint32_t fNull = 0x0800;
    static constexpr uint32_t RtsControlMask = 0x3000;
    static constexpr uint32_t RtsControlEnable = 0x1000;
    static constexpr uint32_t RtsControlHandshake = 0x2000;
    static constexpr uint32_t RtsControlToggle = 0x3000;
    static constexpr uint32_t fAbortOnError = 0x4000;

    // Values of Parity and StopBits.
    static constexpr uint8_t NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4;
    static constexpr uint8_t OneStopBit = 0, One5StopBits = 1, TwoStopBits = 2;

    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
static_assert(sizeof(ControlBlock) == 28);

// The control block that the port's current settings call for.
ControlBlock controlBlockFor(const TCustomComPort &port);

} // namespace zelvar
