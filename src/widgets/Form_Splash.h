#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>

namespace zelvar {

// The borderless splash window, also the sequencer's about box: the program's name over a
// violet picture, and a "Site web" link. A click anywhere on it closes it (hides it: the
// about box shows the same instance again).
class TForm_Splash : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_Splash(QWidget *owner = nullptr);

    QLabel *Image1 = nullptr;
    QWidget *Panel1 = nullptr;
    QLabel *Label1 = nullptr;

    // The picture as it is drawn at creation (the outline's colour made transparent).
    static QImage picture();
    // What "Site web" opens: the program's README installed beside it, else the source tree's.
    static QUrl siteUrl();

    void Panel1Click();
    void Label1Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace zelvar
