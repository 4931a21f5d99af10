#include "remote/RefusalLog.h"

namespace zelvar {

RefusalLog::RefusalLog(int linesPerMinute, QObject *parent) : QObject(parent), linesPerMinute_(linesPerMinute)
{
    window_.setSingleShot(true);
    window_.setInterval(60000);
    connect(&window_, &QTimer::timeout, this, [this] {
        if (skipped_ > 0)
            emit logLine(QStringLiteral("%1 refus de plus dans la minute, non journalisés").arg(skipped_));
        logged_ = skipped_ = 0;
    });
}

void RefusalLog::refused(const QString &line)
{
    if (!window_.isActive())
        window_.start();
    if (logged_++ < linesPerMinute_)
        emit logLine(line);
    else
        ++skipped_;
}

} // namespace zelvar
