#pragma once

#include <QString>

namespace zelvar {

// The system's explanation of an error number (strerror), in the user's language.
QString systemErrorText(int code);

} // namespace zelvar
