#pragma once

#include <QPointer>
#include <QWidget>

class QPushButton;
class QTreeWidget;

namespace zelvar {

class TDegradeClass;

// The macro events of a button, as a tree the user adds events to. Nothing in it is stored
// or acted on yet; the properties dialog it belongs to waits while it is open.
class TForm_Macro : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_Macro(QWidget *owner);

    TDegradeClass *DegradeClass1;
    QTreeWidget *TreeView1;
    QPushButton *Btn_addEvenement;

    void Btn_addEvenementClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace zelvar
