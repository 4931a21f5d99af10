#pragma once

#include "widgets/XiButton.h"

namespace zelvar {

// The live panel's button: leaving it also tells the panel, which then forgets its current button.
class TXiButton2 : public TXiButton
{
    Q_OBJECT

public:
    using TXiButton::TXiButton;

signals:
    void mouseLeft();

protected:
    void handlePointerLeave() override;
};

} // namespace zelvar
