#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace zelvar {

// Error numbers of EComPort, each an index into its message table.
enum ComErrorNumber {
    CError_OpenFailed = 1,
    CError_WriteFailed,
    CError_ReadFailed,
    CError_InvalidAsync,
    CError_PurgeFailed,
    CError_AsyncCheck,
    CError_SetStateFailed,
    CError_TimeoutsFailed,
    CError_SetupComFailed,
    CError_ClearComFailed,
    CError_ModemStatFailed,
    CError_EscapeComFailed,
    CError_TransmitFailed,
    CError_ConnChangeProp,
    CError_EnumPortsFailed,
    CError_StoreFailed,
    CError_LoadFailed,
    CError_RegFailed,
    CError_LedStateFailed,
    CError_ThreadCreated,
    CError_WaitFailed,
    CError_HasLink,
    CError_RegError,
};

// The system's reason for an error number a serial device meets, in French whatever the
// locale; other numbers are shown as such.
QString portErrorText(int code);

// The only error the serial component raises. The message comes from the French "cport"
// catalogue whatever the locale (English when it is missing); a system error code adds a
// suffix and the reason for that code.
class EComPort : public std::exception
{
public:
    // systemError -1 means the error has no system code. A hint, when given, tells the
    // user what to do and is shown after the message.
    explicit EComPort(int errorNumber, int systemError = -1, const QString &hint = {});

    int ErrorNumber() const { return errorNumber_; }
    int SystemError() const { return systemError_; }
    // The message with its suffix, the system's explanation of its code on a second line,
    // and the hint on a line of its own when there is one.
    QString Message() const { return message_; }
    QString hint() const { return hint_; }
    const char *what() const noexcept override { return utf8_.constData(); }

    // Looks the message table up in the catalogue. Called once at start-up (or on first
    // use).
    static void loadMessages();
    // The message of an error number as currently loaded, or an empty text out of range.
    static QString messageFor(int errorNumber);

private:
    int errorNumber_;
    int systemError_;
    QString hint_;
    QString message_;
    QByteArray utf8_;
};

} // namespace zelvar
