#include "app/formDynamique.h"

#include "app/Form_Base.h"
#include "forms/Forms.h"

#include <QCloseEvent>

namespace zelvar {

TformDynamique::TformDynamique(QWidget *owner) : QWidget(owner)
{
    // A small caption bar without a Close box; a top-level window owned by the main window.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose);
}

void TformDynamique::closeDialog()
{
    m_leaving = true;
    close();
}

void TformDynamique::closeEvent(QCloseEvent *event)
{
    if (m_leaving)
        event->accept();
    else
        event->ignore();
}

QString promptText(const QString &message)
{
    QString text = message;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void CreationDynamique(const QString &caption, const QString &leftText, const QString &rightText,
                       const QString &middleText, const QString &message, int leftCode,
                       int rightCode, int middleCode, bool leftVisible, bool rightVisible,
                       bool middleVisible)
{
    if (TForm_Base *base = Forms::instance().Form_Base)
        base->CreationDynamique(caption, leftText, rightText, middleText, message, leftCode,
                                rightCode, middleCode, leftVisible, rightVisible, middleVisible);
}

} // namespace zelvar
