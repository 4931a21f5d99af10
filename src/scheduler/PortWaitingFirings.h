#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace zelvar {

// The firings that met a lost port, held until it comes back: a firing is sent then if its
// second is less than a minute old, and given up as missed otherwise, so none is dropped
// without a word. Both hosts' schedulers keep one.
class PortWaitingFirings
{
public:
    static constexpr qint64 GraceMs = 60000;

    struct Firing
    {
        int row = 0;
        int button = 0;
        qint64 dueMs = 0; // the second the row fired at
        QString key;      // what the host knows the row by, should rows be renumbered meanwhile
    };

    // A row already waiting keeps its earlier second: it is one firing, late.
    void add(const Firing &firing);
    bool isEmpty() const { return m_waiting.isEmpty(); }

    // The port is back at nowMs: every firing is taken, those still within their minute
    // returned in order, the others left in `missed`.
    QList<Firing> takeOnReturn(qint64 nowMs, QList<Firing> *missed);
    // The firings whose minute ran out by nowMs while the port stays lost, taken.
    QList<Firing> takeExpired(qint64 nowMs);

private:
    QList<Firing> m_waiting;
};

} // namespace zelvar
