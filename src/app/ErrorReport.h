#pragma once

#include <QApplication>

class QWidget;

namespace zelvar {

// Shows an error's text in a plain message box, as the program's default report for an
// error no handler caught; the action that raised it is abandoned, the program carries on.
void showErrorReport(const QString &message, QWidget *parent = nullptr);

// The application object: no exception may cross the Qt event loop, so every event
// delivery is guarded and an escaped error is shown with showErrorReport().
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace zelvar
