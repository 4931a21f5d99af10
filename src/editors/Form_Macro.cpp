#include "editors/Form_Macro.h"

#include "widgets/DegradeClass.h"
#include "widgets/Fonts.h"
#include "widgets/SystemColors.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

namespace zelvar {

TForm_Macro::TForm_Macro(QWidget *owner) : QWidget(owner, Qt::Window), m_owner(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form_Macro"));
    setWindowTitle(QStringLiteral("Form_Macro"));
    setFont(uiFont());
    resize(444, 413);

    DegradeClass1 = new TDegradeClass(this);
    DegradeClass1->setObjectName(QStringLiteral("DegradeClass1"));
    DegradeClass1->setStartColor(SystemColor::MenuHighlight);
    DegradeClass1->setEndColor(ColorCream);

    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(160, 48, 225, 313);
    TreeView1->setIndentation(19);
    TreeView1->setHeaderHidden(true);

    Btn_addEvenement = new QPushButton(QStringLiteral("Ajouter un evenement"), this);
    Btn_addEvenement->setObjectName(QStringLiteral("Btn_addEvenement"));
    Btn_addEvenement->setGeometry(32, 17, 137, 25);
    connect(Btn_addEvenement, &QPushButton::clicked, this, &TForm_Macro::Btn_addEvenementClick);

    // FormCreate: the owner waits for this window.
    if (m_owner)
        m_owner->setEnabled(false);
    setEnabled(true);
}

void TForm_Macro::Btn_addEvenementClick()
{
    auto *node = new QTreeWidgetItem(QStringList{QStringLiteral("Evenement")});
    TreeView1->insertTopLevelItem(0, node);
    TreeView1->setCurrentItem(node);
}

void TForm_Macro::closeEvent(QCloseEvent *event)
{
    if (m_owner)
        m_owner->setEnabled(true);
    QWidget::closeEvent(event);
}

} // namespace zelvar
