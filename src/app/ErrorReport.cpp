#include "app/ErrorReport.h"

#include <QMessageBox>
#include <exception>

namespace zelvar {

void showErrorReport(const QString &message, QWidget *parent)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message,
                    QMessageBox::Ok, parent);
    box.exec();
}

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showErrorReport(QString::fromUtf8(error.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("Erreur inconnue"));
    }
    return true;
}

} // namespace zelvar
