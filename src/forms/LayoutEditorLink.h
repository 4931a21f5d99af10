#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace zelvar {

// What the main window and its prompts need from the open layout editor: its window, its
// save command, and its "closing confirmed" flag. The editor attaches itself when it is
// created; while no editor is attached (or it is hidden), there is no open editor.
struct LayoutEditorLink
{
    QPointer<QWidget> window;
    std::function<void()> save;           // rewrites the panel file from the editor's lists
    std::function<void()> confirmClosing; // lets the editor close without asking again

    static LayoutEditorLink &instance();

    void attach(QWidget *editor, std::function<void()> saveCommand, std::function<void()> confirm);
    bool isOpen() const;
};

} // namespace zelvar
