#include "common/MulDiv.h"

#include <cstdlib>

namespace zelvar {

int mulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const long long p = std::llabs(product);
    const long long d = std::llabs(static_cast<long long>(denominator));
    long long q = p / d;
    if (2 * (p % d) >= d)
        ++q;
    return static_cast<int>(negative ? -q : q);
}

} // namespace zelvar
