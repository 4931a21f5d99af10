// zelvar-cli-pictures: the zelvar-cli commands that read or write pictures. They need Qt's
// GUI module, which the everyday commands must not load: zelvar-cli hands them over here.
#include "cli/CliCommands.h"
#include "panel/PanelConfig.h"
#include "panel/PanelExport.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace zelvar::cli {

int runExport(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Écrit dans FICHIER la configuration de Zelvar2.ini telle que l'éditeur de disposition l'enregistrerait "
        "juste après l'avoir chargée, octet pour octet, et l'image de fond à côté (même nom, .bmp)."));
    parser.addPositionalArgument(QStringLiteral("FICHIER"), QStringLiteral("Le fichier à écrire."));
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1) {
        err() << "zelvar-cli export : un seul FICHIER attendu\n";
        return UsageError;
    }
    const auto result = exportPanel(PanelFiles::config(), PanelFiles::picture(), parser.positionalArguments().first());
    if (!result.ok) {
        err() << result.error << "\n";
        return 1;
    }
    if (result.lossy)
        err() << "Attention : des caractères que Windows-1252 ne connaît pas ont été écrits « ? ».\n";
    return 0;
}

} // namespace zelvar::cli

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvar-cli"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("export"))
        return zelvar::cli::runExport(arguments.mid(1));
    zelvar::cli::err() << "zelvar-cli-pictures : commande inconnue « " << arguments.value(1) << " »\n";
    return zelvar::cli::UsageError;
}
