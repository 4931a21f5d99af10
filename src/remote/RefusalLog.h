#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace zelvar {

// Refusals for the journal, bounded: whoever keeps sending what is refused cannot fill it.
// A minute lets so many lines through, then one line at its end counts the others.
class RefusalLog : public QObject
{
    Q_OBJECT

public:
    explicit RefusalLog(int linesPerMinute, QObject *parent = nullptr);

    void refused(const QString &line);

signals:
    void logLine(const QString &line);

private:
    QTimer window_;
    int linesPerMinute_;
    int logged_ = 0;
    int skipped_ = 0;
};

} // namespace zelvar
