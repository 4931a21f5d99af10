#include "devices/ComError.h"
#include "common/DataPaths.h"

#include <QFile>
#include <QHash>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>

namespace zelvar {
namespace {

constexpr std::array<const char *, 23> EnglishMessages = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

constexpr const char *SystemCodeSuffix = " (win error code: %d)";

// The program speaks French whatever the desktop's locale, and glibc's lookups follow the
// locale (a C locale never translates): the shipped French catalogue is read directly. It
// lies beside the program (../share/locale when installed, <build>/share/locale in the tree).
QHash<QByteArray, QString> readFrenchCatalogue()
{
    const QString path = sharedDataPath(QStringLiteral("locale/fr/LC_MESSAGES/cport.mo"));
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > 1 << 20)
        return {};
    const QByteArray mo = file.readAll();
    bool swapped = false;
    auto word = [&](qint64 at) -> quint32 {
        if (at < 0 || at + 4 > mo.size())
            return 0;
        const quint32 value = qFromLittleEndian<quint32>(mo.constData() + at);
        return swapped ? qbswap(value) : value;
    };
    if (word(0) != 0x950412de) {
        swapped = true;
        if (word(0) != 0x950412de)
            return {};
    }
    auto text = [&](qint64 at) {
        const qint64 length = word(at), offset = word(at + 4);
        return offset + length <= mo.size() ? mo.mid(offset, length) : QByteArray();
    };
    QHash<QByteArray, QString> catalogue;
    const quint32 count = std::min<quint32>(word(8), 4096);
    for (quint32 i = 0; i < count; ++i)
        catalogue.insert(text(word(12) + 8 * qint64(i)), QString::fromUtf8(text(word(16) + 8 * qint64(i))));
    return catalogue;
}

struct MessageTable
{
    std::mutex mutex;
    bool loaded = false;
    std::array<QString, 23> texts;
};

MessageTable &table()
{
    static MessageTable t;
    return t;
}

QString translated(const QHash<QByteArray, QString> &catalogue, const char *english)
{
    const QString french = catalogue.value(QByteArray(english));
    return french.isEmpty() ? QString::fromUtf8(english) : french;
}

const QHash<QByteArray, QString> &frenchCatalogue()
{
    static const QHash<QByteArray, QString> catalogue = readFrenchCatalogue();
    return catalogue;
}

} // namespace

void EComPort::loadMessages()
{
    std::array<QString, 23> texts;
    for (size_t i = 0; i < EnglishMessages.size(); ++i)
        texts[i] = translated(frenchCatalogue(), EnglishMessages[i]);
    MessageTable &t = table();
    std::lock_guard lock(t.mutex);
    t.texts = std::move(texts);
    t.loaded = true;
}

QString EComPort::messageFor(int errorNumber)
{
    MessageTable &t = table();
    std::unique_lock lock(t.mutex);
    if (!t.loaded) {
        // First use stands for start-up.
        lock.unlock();
        loadMessages();
        lock.lock();
    }
    if (errorNumber < 1 || errorNumber > int(t.texts.size()))
        return {};
    return t.texts[errorNumber - 1];
}

EComPort::EComPort(int errorNumber, int systemError, const QString &hint)
    : errorNumber_(errorNumber), systemError_(systemError), hint_(hint)
{
    message_ = messageFor(errorNumber);
    if (systemError != -1) {
        message_ += translated(frenchCatalogue(), SystemCodeSuffix)
                        .replace(QStringLiteral("%d"), QString::number(systemError));
        message_ += u'\n' + portErrorText(systemError);
    }
    if (!hint.isEmpty())
        message_ += u'\n' + hint;
    utf8_ = message_.toUtf8();
}

QString portErrorText(int code)
{
    // The reasons a serial device gives; strerror would answer in English under a C locale.
    static const QHash<int, QString> reasons{
        {ENOENT, QStringLiteral(u"périphérique introuvable")},
        {EACCES, QStringLiteral(u"accès refusé")},
        {EPERM, QStringLiteral(u"opération non permise")},
        {EBUSY, QStringLiteral(u"périphérique occupé")},
        {ENODEV, QStringLiteral(u"périphérique absent")},
        {ENXIO, QStringLiteral(u"périphérique débranché ou inexistant")},
        {EIO, QStringLiteral(u"erreur d'entrée-sortie")},
        {EBADF, QStringLiteral(u"port fermé (descripteur non valide)")},
        {EAGAIN, QStringLiteral(u"ressource momentanément indisponible")},
        {ENOTTY, QStringLiteral(u"ce n'est pas un port série")},
        {EINVAL, QStringLiteral(u"réglage non valide pour ce port")},
        {EINTR, QStringLiteral(u"appel interrompu")},
        {ETIMEDOUT, QStringLiteral(u"délai dépassé")},
        {EISDIR, QStringLiteral(u"c'est un dossier")},
        {ENOTDIR, QStringLiteral(u"un élément du chemin n'est pas un dossier")},
        {ENAMETOOLONG, QStringLiteral(u"nom trop long")},
        {EMFILE, QStringLiteral(u"trop de fichiers ouverts")},
        {ELOOP, QStringLiteral(u"trop de liens symboliques")},
        {EROFS, QStringLiteral(u"système de fichiers en lecture seule")},
        {EPIPE, QStringLiteral(u"liaison rompue")},
    };
    return reasons.value(code, QStringLiteral(u"erreur système n° %1").arg(code));
}

} // namespace zelvar
