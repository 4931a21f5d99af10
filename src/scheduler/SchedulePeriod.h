#pragma once

#include "panel/PanelButtons.h"
#include "scheduler/ScheduleEngine.h"

#include <QString>

namespace zelvar {

// Why row `row` cannot run as a period on this panel: a period's buttons must each set a
// state ("On" or "Off"), since it sends them again whenever its relay is put back in its
// state. Empty for a row that is not a period or whose buttons do.
QString periodRefusal(const ScheduleRow &row, const PanelButtons &buttons);

} // namespace zelvar
