#pragma once

#include "common/ProfileFile.h"

#include <QString>
#include <vector>

namespace zelvar {

// One thing in a panel file that the program would read otherwise than its author meant.
struct PanelProblem
{
    int line = 0; // 1-based line in the file, 0 when the problem has no line of its own
    QString message;
};

// Looks for unknown modes, relays outside 1..16, shared shortcuts, counts that do not match
// the sections present, keys that differ from a known key only by blanks or accents, keys
// repeated within a section, and texts left unread because the file has no buttons.
std::vector<PanelProblem> checkPanelFile(const ProfileFile &profile);

} // namespace zelvar
