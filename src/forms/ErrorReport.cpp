#include "forms/ErrorReport.h"

#include "devices/PortSender.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <exception>

namespace zelvar {

namespace {
ErrorReportHook &reportHook()
{
    static ErrorReportHook hook;
    return hook;
}

bool &infraredFailureShown()
{
    static bool shown = false;
    return shown;
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

void reportInfraredFailure(const std::optional<QString> &reason, QWidget *parent)
{
    if (!reason || infraredFailureShown())
        return;
    infraredFailureShown() = true;
    // Not inside the press that failed: a modal box there would run within its mouse or
    // key handling.
    const QString message = QStringLiteral("Code infrarouge non émis : ") + *reason;
    QPointer<QWidget> owner(parent);
    QTimer::singleShot(0, qApp, [message, owner] { showErrorReport(message, owner); });
}

void reportSendResult(const SendResult &result, QWidget *parent)
{
    if (result.error)
        showErrorReport(QString::fromUtf8(result.error->what()), parent);
    reportInfraredFailure(result.infraredNotSent, parent);
}

void resetInfraredFailureReport()
{
    infraredFailureShown() = false;
}

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    bool handled = true;
    runReportingErrors([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace zelvar
