#include "remote/RemoteApi.h"

#include "common/RegularFile.h"
#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"
#include "panel/PanelJson.h"
#include "remote/RemoteControl.h"
#include "scheduler/Recurrence.h"

#include <QFile>
#include <QLocale>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <functional>
#include <limits>
#include <map>

namespace zelvar {

namespace {

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

ApiReply reply(int status, const QJsonObject &object)
{
    return {status, "application/json", json(object), {}, false};
}

ApiReply error(int status, const QString &why)
{
    return reply(status, {{"error", why}});
}

// `done` is asked for after the action, so that it tells what the action did.
ApiReply fromResult(const RemoteResult &result, const std::function<QByteArray()> &done)
{
    switch (result.kind) {
    case RemoteResult::Kind::Ok: return {200, "application/json", done(), {}, false};
    case RemoteResult::Kind::NotFound: return error(404, result.error);
    case RemoteResult::Kind::BadRequest: return error(400, result.error);
    case RemoteResult::Kind::Failed: break;
    }
    return error(503, result.error);
}

QString stateName(RelayStates::State state)
{
    switch (state) {
    case RelayStates::State::On: return QStringLiteral("on");
    case RelayStates::State::Off: return QStringLiteral("off");
    case RelayStates::State::Unknown: break;
    }
    return QStringLiteral("unknown");
}

// A number made of decimal digits only; none for anything else. Too many digits for an int
// read as the largest one, which no button or relay has.
std::optional<int> digitsOnly(const QString &text)
{
    if (text.isEmpty() || text.size() > 12)
        return text.isEmpty() ? std::nullopt : std::optional<int>(std::numeric_limits<int>::max());
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return int(qMin<qlonglong>(value, std::numeric_limits<int>::max()));
}

std::optional<QJsonObject> parseObject(const QByteArray &body, QString *why)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *why = QStringLiteral("JSON invalide à l'octet %1").arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *why = QStringLiteral("un objet JSON est attendu");
        return std::nullopt;
    }
    return document.object();
}

// The web page's own files, built into the program: its path → its resource and type.
const std::map<QString, std::pair<QString, QByteArray>> &pageFiles()
{
    static const std::map<QString, std::pair<QString, QByteArray>> files{
        {QStringLiteral("/"), {QStringLiteral("index.html"), "text/html; charset=utf-8"}},
        {QStringLiteral("/remote.js"), {QStringLiteral("remote.js"), "text/javascript; charset=utf-8"}},
        {QStringLiteral("/remote.css"), {QStringLiteral("remote.css"), "text/css; charset=utf-8"}},
        // Fetched by the browser without credentials to install the page on a home screen.
        {QStringLiteral("/manifest.webmanifest"), {QStringLiteral("manifest.webmanifest"), "application/manifest+json"}},
        {QStringLiteral("/icon-192.png"), {QStringLiteral("icon-192.png"), "image/png"}},
        {QStringLiteral("/icon-512.png"), {QStringLiteral("icon-512.png"), "image/png"}},
    };
    return files;
}

std::optional<ApiReply> pageFile(const QString &path)
{
    const auto &files = pageFiles();
    const auto found = files.find(path);
    if (found == files.end())
        return std::nullopt;
    QFile file(QStringLiteral(":/zelvar/web/") + found->second.first);
    if (!file.open(QIODevice::ReadOnly))
        return error(404, QStringLiteral("page absente du programme : ") + found->second.first);
    return ApiReply{200, found->second.second, file.readAll(), {}, true};
}

} // namespace

bool RemoteApi::isPageFile(const QString &path)
{
    return pageFiles().contains(path);
}

// Written by hand so that the relays come in their order ("1", "2" … "16").
QByteArray RemoteApi::relays() const
{
    QByteArray states = "{";
    for (int relay = 1; relay <= RelayCount; ++relay)
        states += (relay > 1 ? ",\"" : "\"") + QByteArray::number(relay) + "\":\""
                  + stateName(m_control.relays().state(relay)).toLatin1() + '"';
    return states + '}';
}

// Written by hand so that "type" comes first, as a reader of the stream expects.
QByteArray RemoteApi::relayEvent(int relay, RelayStates::State state)
{
    return R"({"type":"relay","relay":)" + QByteArray::number(relay) + R"(,"state":")" + stateName(state).toLatin1() + "\"}";
}

QByteArray RemoteApi::firedEvent(int row, int button)
{
    return R"({"type":"fired","row":)" + QByteArray::number(row) + R"(,"button":)" + QByteArray::number(button) + "}";
}

QByteArray RemoteApi::panelEvent()
{
    return R"({"type":"panel"})";
}

ApiReply RemoteApi::answer(const QByteArray &method, const QString &path, const QByteArray &body)
{
    const auto only = [&](const QByteArray &allowed, const std::function<ApiReply()> &run) {
        if (method == allowed)
            return run();
        ApiReply refused = error(405, QStringLiteral("méthode %1 refusée ici : %2 attendu")
                                          .arg(QString::fromLatin1(method), QString::fromLatin1(allowed)));
        refused.allow = allowed;
        return refused;
    };
    if (std::optional<ApiReply> file = pageFile(path))
        return only("GET", [&] { return *file; });
    if (path == QLatin1String("/api/panel"))
        return only("GET", [&] { return reply(200, panel()); });
    if (path == QLatin1String("/api/picture"))
        return only("GET", [&] {
            FileReadFailure failure;
            const std::optional<QByteArray> bytes = readRegularFile(RemoteControl::picturePath(), &failure);
            if (!bytes)
                return error(404, RemoteControl::picturePath() + QStringLiteral(" : ")
                                      + (failure.missing ? QStringLiteral("pas d'image de fond") : failure.reason));
            return ApiReply{200, "image/bmp", *bytes, {}, false};
        });
    if (path == QLatin1String("/api/relays")) {
        if (method == "PUT")
            return putRelays(body);
        ApiReply got = only("GET", [&] { return ApiReply{200, "application/json", relays(), {}, false}; });
        if (got.status == 405)
            got.allow = "GET, PUT";
        return got;
    }
    if (path == QLatin1String("/api/all-off"))
        return only("POST", [&] { return fromResult(m_control.allOff(), [this] { return relays(); }); });
    if (path == QLatin1String("/api/sequence/play"))
        return only("POST", [&] { return play(body); });
    if (path == QLatin1String("/api/sequence/stop"))
        return only("POST", [&] { return fromResult(m_control.stopSequence(), [] { return json({{"playing", false}}); }); });
    if (path == QLatin1String("/api/schedule"))
        return only("GET", [&] { return reply(200, schedule()); });
    if (path == QLatin1String("/api/health"))
        return only("GET", [&] { return reply(200, health()); });
    const QStringList parts = path.split(u'/');
    if (parts.size() == 5 && parts[1] == QLatin1String("api") && parts[2] == QLatin1String("relays")
        && parts[4] == QLatin1String("pulse"))
        return only("POST", [&] { return pulse(parts[3], body); });
    if (parts.size() == 5 && parts[1] == QLatin1String("api") && parts[2] == QLatin1String("buttons")
        && (parts[4] == QLatin1String("press") || parts[4] == QLatin1String("release") || parts[4] == QLatin1String("click")))
        return only("POST", [&] { return buttonAction(parts[3], parts[4]); });
    return error(404, QStringLiteral("chemin inconnu : ") + path.left(200));
}

ApiReply RemoteApi::pulse(const QString &number, const QByteArray &body)
{
    const std::optional<int> relay = digitsOnly(number);
    if (!relay)
        return error(400, QStringLiteral("numéro de relais invalide : « %1 »").arg(number.left(40)));
    const QJsonValue seconds = QJsonDocument::fromJson(body).object().value(QStringLiteral("seconds"));
    if (!seconds.isDouble())
        return error(400, QStringLiteral("{\"seconds\": S} attendu, S de %1 à %2")
                              .arg(QLocale(QLocale::French).toString(RemoteControl::MinPulseSeconds))
                              .arg(QLocale(QLocale::French).toString(RemoteControl::MaxPulseSeconds, 'f', 0)));
    return fromResult(m_control.pulse(*relay, seconds.toDouble()), [this] { return relays(); });
}

ApiReply RemoteApi::buttonAction(const QString &number, const QString &action)
{
    const std::optional<int> button = digitsOnly(number);
    if (!button)
        return error(400, QStringLiteral("numéro de bouton invalide : « %1 »").arg(number.left(40)));
    // Plain requests hold buttons in the name of the interface itself.
    RemoteResult result;
    if (action == QLatin1String("press"))
        result = m_control.press(*button, this);
    else if (action == QLatin1String("release"))
        result = m_control.release(*button, this);
    else
        result = m_control.click(*button);
    return fromResult(result, [this] { return relays(); });
}

ApiReply RemoteApi::putRelays(const QByteArray &body)
{
    QString why;
    const std::optional<QJsonObject> object = parseObject(body, &why);
    if (!object)
        return error(400, why);
    if (object->isEmpty())
        return error(400, QStringLiteral("aucun relais demandé"));
    std::map<int, RelayAction> actions;
    for (auto it = object->begin(); it != object->end(); ++it) {
        const std::optional<int> relay = digitsOnly(it.key());
        if (!relay)
            return error(400, QStringLiteral("relais invalide : « %1 » (un numéro de 1 à %2)").arg(it.key().left(40)).arg(RelayCount));
        const std::optional<RelayAction> action = relayActionNamed(it.value().toString().toUtf8());
        if (!action)
            return error(400, QStringLiteral("état invalide pour le relais %1 : on, off ou toggle attendu").arg(it.key()));
        actions[*relay] = *action;
    }
    return fromResult(m_control.setRelays(actions), [this] { return relays(); });
}

ApiReply RemoteApi::play(const QByteArray &body)
{
    QString why;
    const std::optional<QJsonObject> object = parseObject(body, &why);
    if (!object)
        return error(400, why);
    const QString activity = object->value(QLatin1String("activity")).toString();
    if (activity.isEmpty())
        return error(400, QStringLiteral("« activity » attendu : \"Default\" ou le nom d'un fichier d'activité"));
    return fromResult(m_control.playSequence(activity), [&] { return json({{"activity", activity}, {"playing", true}}); });
}

QByteArray RemoteApi::webSocketMessage(const QByteArray &text, const void *holder)
{
    QString why;
    const std::optional<QJsonObject> object = parseObject(text, &why);
    RemoteResult result = RemoteResult::badRequest(why);
    if (object) {
        const QString type = object->value(QLatin1String("type")).toString();
        const QJsonValue button = object->value(QLatin1String("button"));
        const double number = button.toDouble(-1);
        if (type != QLatin1String("press") && type != QLatin1String("release"))
            result = RemoteResult::badRequest(QStringLiteral("« type » attendu : press ou release"));
        else if (!button.isDouble() || number != std::floor(number) || number < 0 || number > 1e9)
            result = RemoteResult::badRequest(QStringLiteral("« button » attendu : un numéro de bouton"));
        else if (type == QLatin1String("press"))
            result = m_control.press(int(number), holder);
        else
            result = m_control.release(int(number), holder);
    }
    if (result.ok())
        return {};
    return json({{"type", "error"}, {"error", result.error}});
}

QJsonObject RemoteApi::panel() const
{
    const PanelConfig &config = m_control.panel();
    const PanelButtons &entries = m_control.buttons();
    QJsonArray buttons;
    for (size_t k = 1; k < entries.size() && k <= config.buttons.size(); ++k) {
        const ButtonEntry &e = entries[k];
        const ButtonConfig &b = config.buttons[k - 1];
        QJsonObject button = buttonJson(int(k), e, b);
        button.insert("relay", isRelayMode(e.mode) ? QJsonValue(b.relay) : QJsonValue());
        button.insert("width", PanelButtonWidth);
        button.insert("height", PanelButtonHeight);
        buttons.append(button);
    }
    QJsonArray texts;
    for (size_t k = 0; k < config.texts.size(); ++k)
        texts.append(textJson(int(k + 1), config.texts[k]));
    return {{"width", PanelWidth},
            {"height", PanelHeight},
            {"picture", "/api/picture"},
            {"buttons", buttons},
            {"texts", texts}};
}

QJsonObject RemoteApi::schedule() const
{
    QJsonArray rows;
    int n = 0;
    for (const RemoteScheduleRow &row : m_control.schedule()) {
        const SavedScheduleRow &saved = row.saved;
        QJsonValue end;
        if (const std::optional<PeriodEnd> &e = saved.end)
            end = QJsonObject{{"time", e->timeText},       {"sun", sunText(e->sun)},
                              {"offset", e->offsetMinutes}, {"button", e->button},
                              {"description", saved.endDescription}, {"reassert", saved.reassertMinutes}};
        rows.append(QJsonObject{{"row", ++n},
                                {"date", saved.date.toString(Qt::ISODate)},
                                {"time", saved.time},
                                {"button", saved.button},
                                {"description", saved.description},
                                {"repetition", repetitionText(saved.recurrence.weekdays)},
                                {"sun", sunText(saved.recurrence.sun)},
                                {"offset", saved.recurrence.offsetMinutes},
                                {"end", end},
                                {"armed", row.armed},
                                {"next", row.next ? QJsonValue(row.next->toOffsetFromUtc(row.next->offsetFromUtc())
                                                                   .toString(Qt::ISODate))
                                                  : QJsonValue()}});
    }
    return {{"rows", rows}};
}

QJsonObject RemoteApi::health() const
{
    return {{"version", ZELVAR_VERSION},
            {"host", m_control.hostName()},
            {"port", m_control.portName()},
            {"port_open", m_control.portOpen()},
            {"port_lost", m_control.portLost()}};
}

} // namespace zelvar
