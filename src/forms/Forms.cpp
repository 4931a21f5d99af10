#include "forms/Forms.h"

namespace zelvar {

Forms &Forms::instance()
{
    static Forms forms;
    return forms;
}

void ActivBtnP(int p1, int p2, int p3, int p4, int p5, int p6, int p7)
{
    emit Forms::instance().commandsSwitched(p1, p2, p3, p4, p5, p6, p7);
}

void requestPrompt(const QString &caption, const QString &leftText, const QString &rightText,
                   const QString &middleText, const QString &message, int leftCode, int rightCode,
                   int middleCode, bool leftVisible, bool rightVisible, bool middleVisible)
{
    emit Forms::instance().promptRequested(caption, leftText, rightText, middleText, message, leftCode,
                                           rightCode, middleCode, leftVisible, rightVisible, middleVisible);
}

void requestQuit()
{
    emit Forms::instance().quitRequested();
}

} // namespace zelvar
