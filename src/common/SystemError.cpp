#include "common/SystemError.h"

#include <cstring>

namespace zelvar {

QString systemErrorText(int code)
{
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(code, buffer, sizeof buffer));
}

} // namespace zelvar
