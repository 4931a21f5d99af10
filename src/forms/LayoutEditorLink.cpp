#include "forms/LayoutEditorLink.h"

namespace zelvar {

LayoutEditorLink &LayoutEditorLink::instance()
{
    static LayoutEditorLink link;
    return link;
}

void LayoutEditorLink::attach(QWidget *editor, std::function<void()> saveCommand,
                              std::function<void()> confirm)
{
    window = editor;
    save = std::move(saveCommand);
    confirmClosing = std::move(confirm);
}

bool LayoutEditorLink::isOpen() const
{
    return window && window->isVisible();
}

} // namespace zelvar
