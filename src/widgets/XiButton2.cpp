#include "widgets/XiButton2.h"

namespace zelvar {

void TXiButton2::handlePointerLeave()
{
    TXiButton::handlePointerLeave();
    emit mouseLeft();
}

} // namespace zelvar
