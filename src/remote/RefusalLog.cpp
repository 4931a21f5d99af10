#include "remote/RefusalLog.h"

namespace zelvar {

RefusalLog::RefusalLog(int linesPerMinute, QString skipped, QObject *parent)
    : QObject(parent), linesPerMinute_(linesPerMinute), skipped_text_(std::move(skipped))
{
    window_.setSingleShot(true);
    window_.setInterval(60000);
    connect(&window_, &QTimer::timeout, this, [this] {
        if (skipped_ > 0)
            emit logLine(skipped_text_.arg(skipped_));
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
