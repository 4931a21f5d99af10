#include "VirtualBoard.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace zelvar::board {

VirtualBoard::VirtualBoard(QObject *parent)
    : QObject(parent)
{
}

void VirtualBoard::listen(int fd)
{
    m_fd = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VirtualBoard::readAvailable);
}

void VirtualBoard::readAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            receive(QByteArrayView(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // End of file or a hard error: stop watching rather than spin on it.
        m_notifier->setEnabled(false);
        emit failed(n == 0 ? QStringLiteral("fin de flux") : QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
}

void VirtualBoard::receive(QByteArrayView bytes)
{
    for (const BoardEvent &event : m_parser.feed(bytes))
        handle(event);
}

void VirtualBoard::handle(const BoardEvent &event)
{
    const QString command = QString::fromLatin1(event.bytes);
    switch (event.kind) {
    case BoardEvent::Kind::Command: {
        const bool before = m_relays.isOn(event.relay);
        const bool after = m_relays.apply(event.relay, event.action);
        const QString effect = QStringLiteral("relais %1 %2%3")
                                   .arg(event.relay, 2)
                                   .arg(after ? QStringLiteral("allumé") : QStringLiteral("éteint"),
                                        before == after ? QStringLiteral(" (inchangé)") : QString());
        emit reported(QStringLiteral("%1  %2  [%3]").arg(command, -7).arg(effect, m_relays.summary()));
        emit described(command, effect.simplified(), true);
        emit relaySet(event.relay, after);
        return;
    }
    case BoardEvent::Kind::OutOfRange: {
        const QString effect =
            QStringLiteral("relais %1 hors plage (1 à %2), ignoré").arg(event.relay).arg(RelayBank::kRelayCount);
        emit reported(QStringLiteral("%1  %2").arg(command, -7).arg(effect));
        emit described(command, effect, false);
        return;
    }
    case BoardEvent::Kind::Unparsed: {
        const QString effect = QStringLiteral("octets non reconnus (%1)").arg(event.bytes.size());
        emit reported(QStringLiteral("%1 : %2").arg(effect, quoted(event.bytes)));
        emit described(quoted(event.bytes), effect, false);
        return;
    }
    }
}

QString VirtualBoard::quoted(const QByteArray &bytes)
{
    QString shown;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\' && c != '"')
            shown += QLatin1Char(c);
        else
            shown += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

} // namespace zelvar::board
