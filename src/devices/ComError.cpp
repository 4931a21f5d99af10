#include "devices/ComError.h"
#include "common/DataPaths.h"

#include "common/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <array>
#include <cstring>
#include <libintl.h>
#include <mutex>

namespace zelvar {
namespace {

constexpr const char *Domain = "cport";

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

// The catalogues lie beside the program (../share/locale when installed, <build>/share/locale
// in the build tree). Only the French one is shipped, so it is the one looked for.
void bindDomain()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const QString french = sharedDataPath(QStringLiteral("locale/fr/LC_MESSAGES/cport.mo"));
        if (french.isEmpty())
            return;
        const QString dir = french.section(u'/', 0, -4);
        bindtextdomain(Domain, QFile::encodeName(dir).constData());
        bind_textdomain_codeset(Domain, "UTF-8");
    });
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

QString translated(const char *english)
{
    bindDomain();
    return QString::fromUtf8(dgettext(Domain, english));
}

} // namespace

void EComPort::loadMessages()
{
    std::array<QString, 23> texts;
    for (size_t i = 0; i < EnglishMessages.size(); ++i)
        texts[i] = translated(EnglishMessages[i]);
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
        message_ += translated(SystemCodeSuffix).replace(QStringLiteral("%d"), QString::number(systemError));
        message_ += u'\n' + systemErrorText(systemError);
    }
    if (!hint.isEmpty())
        message_ += u'\n' + hint;
    utf8_ = message_.toUtf8();
}

} // namespace zelvar
