#pragma once

#include <QString>

#include <memory>

namespace zelvar::board {

// A raw pseudo-terminal: the board reads the master side, programs open the slave path.
// The board keeps a slave descriptor of its own, so a program closing its end does not
// turn the master into end-of-file.
class PseudoTerminal
{
public:
    // Null with the reason in error when no pseudo-terminal can be had.
    static std::unique_ptr<PseudoTerminal> open(QString *error);
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    int masterFd() const { return m_master; }
    const QString &slavePath() const { return m_slavePath; }

private:
    PseudoTerminal(int master, int slave, QString slavePath);

    int m_master;
    int m_slave;
    QString m_slavePath;
};

} // namespace zelvar::board
