#pragma once

#include "widgets/UpDown.h"

namespace zelvar {

// The up-down control laid on its side: the right arrow adds one, the left one takes one away.
class THorzUpDown : public TUpDown
{
public:
    explicit THorzUpDown(QWidget *parent = nullptr);

protected:
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace zelvar
