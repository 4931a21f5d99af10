#include "scheduler/ScheduleMemory.h"

#include "common/AtomicFile.h"
#include "common/DataPaths.h"
#include "common/SystemError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace zelvar {

namespace {

// Far above what the largest schedule file needs; a bigger file is not ours.
constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

const QString FolderKey = QStringLiteral("dossier");
const QString RowsKey = QStringLiteral("lignes");
const QString PulsesKey = QStringLiteral("impulsions");

QByteArray digest(const QString &key)
{
    return QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
}

QString contentKey(const SavedScheduleRow &row)
{
    QStringList parts{row.date.toString(Qt::ISODate), row.time.trimmed(), QString::number(row.button),
                      row.description.trimmed(), QString::number(row.recurrence.weekdays),
                      QString::number(int(row.recurrence.sun)), QString::number(row.recurrence.offsetMinutes)};
    // A row that is not a period keeps the key it had before periods were.
    if (const std::optional<PeriodEnd> &end = row.end)
        parts << end->timeText.trimmed() << QString::number(int(end->sun)) << QString::number(end->offsetMinutes)
              << QString::number(end->button) << row.endDescription.trimmed();
    return parts.join(QChar(0x1f));
}

} // namespace

ScheduleMemory::ScheduleMemory(const QString &folder)
{
    const QFileInfo info(folder);
    m_folder = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    // The folder's own name stays readable; the digest tells apart folders of one name.
    const QString name = QFileInfo(m_folder).fileName().left(40).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    m_path = stateFolder() + QStringLiteral("/schedule-%1-%2.json").arg(name, QString::fromLatin1(digest(m_folder).left(16)));
    reload();
}

QStringList ScheduleMemory::keysOf(const std::vector<SavedScheduleRow> &rows)
{
    QStringList keys;
    QHash<QString, int> seen;
    for (const SavedScheduleRow &row : rows) {
        const QString key = contentKey(row);
        keys << key + QLatin1Char('#') + QString::number(seen[key]++);
    }
    return keys;
}

std::optional<qint64> ScheduleMemory::accountedUntil(const QString &key) const
{
    const auto found = m_instants.constFind(digest(key));
    if (found == m_instants.constEnd())
        return std::nullopt;
    return *found;
}

bool ScheduleMemory::remember(const QString &key, qint64 ms)
{
    return remember(QHash<QString, qint64>{{key, ms}});
}

bool ScheduleMemory::remember(const QHash<QString, qint64> &instants)
{
    if (instants.isEmpty())
        return true;
    // The other host of the folder may have written since this one read.
    reload();
    for (auto it = instants.constBegin(); it != instants.constEnd(); ++it) {
        qint64 &kept = m_instants[digest(it.key())];
        kept = std::max(kept, it.value());
    }
    return write();
}

bool ScheduleMemory::forgetOthers(const QStringList &keys, qint64 before)
{
    reload();
    QSet<QByteArray> current;
    for (const QString &key : keys)
        current.insert(digest(key));
    bool changed = false;
    for (auto it = m_instants.begin(); it != m_instants.end();) {
        if (!current.contains(it.key()) && it.value() < before) {
            it = m_instants.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    return !changed || write();
}

bool ScheduleMemory::setPulseOff(int relay, std::optional<qint64> dueMs)
{
    reload();
    if (dueMs)
        m_pulseOffs.insert(relay, *dueMs);
    else if (!m_pulseOffs.remove(relay))
        return true;
    return write();
}

void ScheduleMemory::reload()
{
    m_instants.clear();
    m_pulseOffs.clear();
    m_error.clear();
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = m_path + QStringLiteral(" : ") + file.errorString();
        return;
    }
    if (file.size() > MaxFileBytes) {
        m_error = m_path + QStringLiteral(" : fichier trop grand, ignoré");
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        m_error = m_path + QStringLiteral(" : illisible (%1), ignoré").arg(parseError.errorString());
        return;
    }
    const QJsonObject rows = document.object().value(RowsKey).toObject();
    for (auto it = rows.constBegin(); it != rows.constEnd(); ++it)
        if (it.value().isDouble())
            m_instants.insert(it.key().toLatin1(), qint64(it.value().toDouble()));
    const QJsonObject pulses = document.object().value(PulsesKey).toObject();
    for (auto it = pulses.constBegin(); it != pulses.constEnd(); ++it) {
        bool ok = false;
        const int relay = it.key().toInt(&ok);
        if (ok && it.value().isDouble())
            m_pulseOffs.insert(relay, qint64(it.value().toDouble()));
    }
}

bool ScheduleMemory::write()
{
    const QString folder = QFileInfo(m_path).path();
    QDir().mkpath(QFileInfo(folder).path());
    // What the alarms did is the user's own business.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        m_error = folder + QStringLiteral(" : ") + systemErrorText(errno);
        return false;
    }
    QJsonObject rows;
    for (auto it = m_instants.constBegin(); it != m_instants.constEnd(); ++it)
        rows.insert(QString::fromLatin1(it.key()), double(it.value()));
    QJsonObject document{{FolderKey, m_folder}, {RowsKey, rows}};
    if (!m_pulseOffs.isEmpty()) {
        QJsonObject pulses;
        for (auto it = m_pulseOffs.constBegin(); it != m_pulseOffs.constEnd(); ++it)
            pulses.insert(QString::number(it.key()), double(it.value()));
        document.insert(PulsesKey, pulses);
    }
    QString error;
    if (!writeFileAtomically(m_path, QJsonDocument(document).toJson(QJsonDocument::Indented), &error)) {
        m_error = m_path + QStringLiteral(" : ") + error;
        return false;
    }
    m_error.clear();
    return true;
}

} // namespace zelvar
