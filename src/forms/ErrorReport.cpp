#include "forms/ErrorReport.h"

#include <QMessageBox>
#include <exception>

namespace zelvar {

namespace {
ErrorReportHook &reportHook()
{
    static ErrorReportHook hook;
    return hook;
}
} // namespace

void showErrorReport(const QString &message, QWidget *parent)
{
    if (reportHook()) {
        reportHook()(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message,
                    QMessageBox::Ok, parent);
    box.exec();
}

void setErrorReportHook(ErrorReportHook hook)
{
    reportHook() = std::move(hook);
}

bool runReportingErrors(const std::function<void()> &action, QWidget *parent)
{
    try {
        action();
        return true;
    } catch (const std::exception &error) {
        showErrorReport(QString::fromUtf8(error.what()), parent);
    } catch (...) {
        showErrorReport(QStringLiteral("Erreur inconnue"), parent);
    }
    return false;
}

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    bool handled = true;
    runReportingErrors([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace zelvar
