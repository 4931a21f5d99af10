#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace zelvar {

// The transmitter vendor's driver library, loaded at run time. Only its open and
// transmit functions are used; no close function is called.
class UuirtLibrary
{
public:
    using OpenFunction = void *(*)();
    using TransmitFunction = int (*)(void *handle, char *code, int codeFormat, int repeatCount,
                                     int inactivityWaitTime, void *hEvent, void *reserved0, void *reserved1);

    static constexpr int kProntoFormat = 0x10;
    static constexpr int kRepeatCount = 10;

    // The library's name on this platform, found on the loader's usual search path.
    static QString defaultName();

    // Null when the file cannot be loaded or lacks one of the two functions.
    static std::unique_ptr<UuirtLibrary> load(const QString &path);

    // One transmission: a fresh handle from UUIRTOpen, then UUIRTTransmitIR with the
    // code as Pronto text, repeated ten times, waiting for the end. Neither result is
    // examined, as the device gives no useful feedback to act on.
    void transmit(const QByteArray &prontoCode) const;

private:
    UuirtLibrary(OpenFunction open, TransmitFunction transmit);

    OpenFunction m_open;
    TransmitFunction m_transmit;
};

} // namespace zelvar
