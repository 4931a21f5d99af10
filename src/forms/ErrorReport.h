#pragma once

#include <QApplication>

#include <functional>
#include <optional>

class QWidget;

namespace zelvar {

struct SendResult;

// Shows an error's text in a plain message box, as the program's default report for an
// error no handler caught; the action that raised it is abandoned, the program carries on.
void showErrorReport(const QString &message, QWidget *parent = nullptr);

// Replaces the message box by a call of the hook (tests record the reports instead of
// blocking on a modal box); an empty hook restores the box.
using ErrorReportHook = std::function<void(const QString &message)>;
void setErrorReportHook(ErrorReportHook hook);

// Runs an action of a handler and reports any error it raises, so that no exception
// leaves the handler for the event loop. True when the action ran to its end.
bool runReportingErrors(const std::function<void()> &action, QWidget *parent = nullptr);

// Shows the first infrared transmission of the run that failed or was refused, once the
// current handler is done; later failures stay quiet, so that a panel without transmitter
// says so once rather than at every press. Nothing happens for an empty reason.
void reportInfraredFailure(const std::optional<QString> &reason, QWidget *parent = nullptr);
// Tells the user how a queued sending sequence ended: a write failure in a message box, an
// infrared code not sent as reportInfraredFailure does.
void reportSendResult(const SendResult &result, QWidget *parent = nullptr);

// Lets the next infrared failure be shown, as at the start of a run.
void resetInfraredFailureReport();

// The application object: no exception may cross the Qt event loop, so every event
// delivery is guarded and an escaped error is shown with showErrorReport().
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace zelvar
