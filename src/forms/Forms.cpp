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

} // namespace zelvar
