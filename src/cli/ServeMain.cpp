// zelvar-cli-serve: the service. It hosts what runs unattended, network interfaces included,
// which the everyday commands must not load: zelvar-cli hands `serve` over here.
#include "cli/CliCommands.h"
#include "devices/ComError.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    zelvar::EComPort::loadMessages();
    QCoreApplication::setApplicationName(QStringLiteral("zelvar-cli"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("serve"))
        return zelvar::cli::runServe(arguments.mid(1));
    zelvar::cli::err() << "zelvar-cli-serve : commande inconnue « " << arguments.value(1) << " »\n";
    return zelvar::cli::UsageError;
}
