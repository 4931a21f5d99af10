#include "devices/Infrared.h"

#include "devices/LircTransmitter.h"
#include "devices/Pronto.h"
#include "devices/UuirtLibrary.h"

#include <QFileInfo>

#include <memory>
#include <mutex>

namespace zelvar {
namespace {

struct Transmitter
{
    std::mutex mutex;
    bool chosen = false;
    QString libraryPath;
    QString devicePath;
    std::unique_ptr<UuirtLibrary> library;
    std::unique_ptr<LircTransmitter> lirc;
};

Transmitter &transmitter()
{
    static Transmitter t;
    return t;
}

QString pathOr(const QString &given, const char *variable, const QString &usual)
{
    if (!given.isEmpty())
        return given;
    const QString fromEnvironment = qEnvironmentVariable(variable);
    return fromEnvironment.isEmpty() ? usual : fromEnvironment;
}

void chooseLocked(Transmitter &t)
{
    if (t.chosen)
        return;
    t.chosen = true;
    t.library = UuirtLibrary::load(pathOr(t.libraryPath, "ZELVAR_UUIRT_LIBRARY", UuirtLibrary::defaultName()));
    if (t.library)
        return;
    const QString device = pathOr(t.devicePath, "ZELVAR_LIRC_DEVICE", LircTransmitter::defaultDevice());
    if (QFileInfo::exists(device))
        t.lirc = std::make_unique<LircTransmitter>(device);
}

} // namespace

std::optional<QString> transmitInfrared(const QByteArray &prontoCode)
{
    Transmitter &t = transmitter();
    std::lock_guard lock(t.mutex);
    chooseLocked(t);
    if (t.library) {
        // The driver reads the text itself and may know more than learned codes; a learned
        // code it would spend too long on is refused all the same.
        if (const ProntoParseResult parsed = parsePronto(prontoCode); parsed.code) {
            const QString refused = transmissionLimitError(*parsed.code, UuirtLibrary::kRepeatCount);
            if (!refused.isEmpty())
                return refused;
        }
        t.library->transmit(prontoCode);
        return std::nullopt;
    }
    if (t.lirc)
        return t.lirc->transmit(prontoCode, UuirtLibrary::kRepeatCount);
    return QStringLiteral("aucun émetteur infrarouge : la bibliothèque « %1 » ne se charge pas et le "
                          "périphérique « %2 » n'existe pas")
        .arg(pathOr(t.libraryPath, "ZELVAR_UUIRT_LIBRARY", UuirtLibrary::defaultName()),
             pathOr(t.devicePath, "ZELVAR_LIRC_DEVICE", LircTransmitter::defaultDevice()));
}

InfraredBackend infraredBackend()
{
    Transmitter &t = transmitter();
    std::lock_guard lock(t.mutex);
    chooseLocked(t);
    if (t.library)
        return InfraredBackend::Uuirt;
    return t.lirc ? InfraredBackend::Lirc : InfraredBackend::None;
}

void resetInfrared(const QString &libraryPath, const QString &devicePath)
{
    Transmitter &t = transmitter();
    std::lock_guard lock(t.mutex);
    t.chosen = false;
    t.library.reset();
    t.lirc.reset();
    t.libraryPath = libraryPath;
    t.devicePath = devicePath;
}

} // namespace zelvar
