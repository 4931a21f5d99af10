#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace zelvar {

enum class InfraredBackend {
    None,  // no transmitter: transmissions send nothing and say so
    Uuirt, // the vendor's driver library
    Lirc,  // the kernel's infrared transmitter device
};

// Sends one Pronto code as infrared; every sender goes through here. The backend is
// chosen at the first use: the vendor's driver library when it loads (its usual name,
// or the file named by ZELVAR_UUIRT_LIBRARY), else the kernel's transmitter device
// (/dev/lirc0, or ZELVAR_LIRC_DEVICE) when it exists, else none.
// The vendor library gets the text unchanged and its results are ignored; the kernel
// device needs a valid learned code. Whatever the backend, a learned code outside the
// transmission limits (Pronto.h) is refused. Returns why nothing or not all was sent: no
// transmitter, a refused code, a device that cannot be opened or written.
std::optional<QString> transmitInfrared(const QByteArray &prontoCode);

// The backend transmissions go to, chosen now if it was not yet.
InfraredBackend infraredBackend();

// Forgets the choice: the next transmission chooses again, taking the given library
// and device paths, when not empty, in place of the environment and the usual names.
// For tests, and for tools that point the transmitter elsewhere.
void resetInfrared(const QString &libraryPath = QString(), const QString &devicePath = QString());

} // namespace zelvar
