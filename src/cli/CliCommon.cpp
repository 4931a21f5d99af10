#include "cli/CliCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace zelvar::cli {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool parseCommand(QCommandLineParser &parser, const QStringList &arguments, int *status, const QString &helpEpilogue)
{
    parser.addHelpOption();
    if (!parser.parse(arguments)) {
        err() << parser.errorText() << "\n";
        *status = UsageError;
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // The parser names the program as it was typed; the usage line names the command.
        QString help = parser.helpText();
        const QString typed = QCoreApplication::arguments().value(0);
        const qsizetype at = help.indexOf(typed);
        if (!typed.isEmpty() && at >= 0 && at < help.indexOf(u'\n'))
            help.replace(at, typed.size(), QStringLiteral("zelvar-cli ") + arguments.value(0));
        out() << help << helpEpilogue;
        *status = 0;
        return false;
    }
    return true;
}

std::optional<ProfileFile> readProfile(const QString &command, const QString &path)
{
    ProfileFile profile = ProfileFile::load(path);
    if (profile.unreadable()) {
        err() << "zelvar-cli " << command << " : " << path << " : illisible (" << profile.readError() << ")\n";
        return std::nullopt;
    }
    return profile;
}

std::optional<QDate> readDateArgument(const QString &command, const QString &text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        err() << "zelvar-cli " << command << " : date « " << text << " » invalide (AAAA-MM-JJ attendu)\n";
        return std::nullopt;
    }
    return date;
}

} // namespace zelvar::cli
