#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace zelvar {

// Lines for the journal that others can cause (refusals, reconnections), bounded: whoever
// keeps sending what is refused cannot fill it.
// A minute lets so many lines through, then one line at its end counts the others.
class RefusalLog : public QObject
{
    Q_OBJECT

public:
    // `skipped` tells how many lines a minute left out ("%1 …").
    explicit RefusalLog(int linesPerMinute, QString skipped = QStringLiteral("%1 refus de plus dans la minute, non journalisés"),
                        QObject *parent = nullptr);

    void refused(const QString &line);

signals:
    void logLine(const QString &line);

private:
    QTimer window_;
    int linesPerMinute_;
    QString skipped_text_;
    int logged_ = 0;
    int skipped_ = 0;
};

} // namespace zelvar
