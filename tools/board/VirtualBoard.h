#pragma once

#include "BoardParser.h"
#include "RelayBank.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace zelvar::board {

// The board's behaviour: bytes in, relay states and one report line per event out.
class VirtualBoard : public QObject
{
    Q_OBJECT
public:
    explicit VirtualBoard(QObject *parent = nullptr);

    // Reads a non-blocking descriptor (the pseudo-terminal's master) whenever bytes arrive.
    void listen(int fd);

    void receive(QByteArrayView bytes);

    const RelayBank &relays() const { return m_relays; }

    // Bytes as text, unprintable ones as \xNN, in quotes.
    static QString quoted(const QByteArray &bytes);

signals:
    // One line per command or unparsed run, without time stamp.
    void reported(const QString &line);
    // The same event in two parts: what was received, and what the board made of it.
    void described(const QString &received, const QString &effect, bool accepted);
    // A relay received a command; on is its state afterwards, changed or not.
    void relaySet(int relay, bool on);
    // The device cannot be read any more.
    void failed(const QString &reason);

private:
    void readAvailable();
    void handle(const BoardEvent &event);

    BoardParser m_parser;
    RelayBank m_relays;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace zelvar::board
