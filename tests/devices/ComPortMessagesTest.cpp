#include "devices/ComError.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <unistd.h>

using namespace zelvar;

namespace {

const char *const English[] = {
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

// The 23 messages, then the texts of error 1 with system code 2, of error 14 and of error 2
// with system code 9 and with an unusual code, as a desktop with the given LANG shows them. A
// child process looks them up, so this process keeps its own locale. Messages may hold line
// breaks: a record separator parts them.
QStringList messagesFor(const char *lang)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::unsetenv("LANGUAGE");
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        ::setenv("LANG", lang, 1);
        std::setlocale(LC_ALL, "");
        EComPort::loadMessages();
        QStringList lines;
        for (int n = 1; n <= 23; ++n)
            lines << EComPort::messageFor(n);
        lines << EComPort(CError_OpenFailed, 2).Message() << EComPort(CError_ConnChangeProp).Message()
              << EComPort(CError_WriteFailed, EBADF).Message() << EComPort(CError_WriteFailed, EDOM).Message();
        const QByteArray out = lines.join(u'\x1e').toUtf8();
        [[maybe_unused]] const ssize_t n = ::write(fds[1], out.constData(), size_t(out.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray in;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        in.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return QString::fromUtf8(in).split(u'\x1e');
}

} // namespace

// The program speaks French: so does its serial component, with the system's reason, under
// any locale.
TEST(ComPortMessages, FrenchWhateverTheLocale)
{
    for (const char *lang : {"C", "en_US.UTF-8", "C.UTF-8", "fr_FR.UTF-8"}) {
        SCOPED_TRACE(lang);
        const QStringList lines = messagesFor(lang);
        ASSERT_EQ(lines.size(), 27);
        for (int n = 0; n < 23; ++n)
            EXPECT_NE(lines[n], QString::fromLatin1(English[n])) << "untranslated: " << English[n];
        EXPECT_EQ(lines[0], QStringLiteral("Impossible d’ouvrir le port série"));
        EXPECT_EQ(lines[23], QStringLiteral("Impossible d’ouvrir le port série (code d’erreur système : 2)\n"
                                            "périphérique introuvable"));
        EXPECT_EQ(lines[24], QStringLiteral("Impossible de modifier cette propriété tant que le port est ouvert"));
        EXPECT_TRUE(lines[25].endsWith(QStringLiteral("(code d’erreur système : 9)\nport fermé (descripteur non valide)")))
            << lines[25].toStdString();
        EXPECT_TRUE(lines[26].endsWith(QStringLiteral("\nerreur système n° %1").arg(EDOM))) << lines[26].toStdString();
    }
}

TEST(ComPortMessages, ErrorCarriesNumberCodeAndHint)
{
    const EComPort plain(CError_WriteFailed);
    EXPECT_EQ(plain.ErrorNumber(), 2);
    EXPECT_EQ(plain.SystemError(), -1);
    EXPECT_EQ(plain.Message(), EComPort::messageFor(2));

    const QString hint = QStringLiteral("Le compte « x » doit appartenir au groupe « dialout ».");
    const EComPort denied(CError_OpenFailed, EACCES, hint);
    EXPECT_EQ(denied.SystemError(), EACCES);
    EXPECT_EQ(denied.hint(), hint);
    EXPECT_TRUE(denied.Message().startsWith(EComPort::messageFor(1)));
    EXPECT_TRUE(denied.Message().contains(QString::number(EACCES)));
    EXPECT_TRUE(denied.Message().endsWith(u'\n' + hint));
    EXPECT_EQ(QByteArray(denied.what()), denied.Message().toUtf8());

    EXPECT_EQ(EComPort::messageFor(0), QString());
    EXPECT_EQ(EComPort::messageFor(24), QString());
}
