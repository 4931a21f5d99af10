#pragma once

namespace zelvar {

// Multiply then divide in 64 bits, rounded to the nearest integer with halves away from
// zero, as the platform's MulDiv does; a zero divisor gives -1.
int mulDiv(int number, int numerator, int denominator);

} // namespace zelvar
