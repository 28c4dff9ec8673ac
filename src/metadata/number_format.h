#pragma once
// Numbers written by format patterns of the numeric-format kind:
//   0   a digit that is always written       #   a digit written when significant
//   ,   thousands grouping of the integer    .   the decimal point
//   "…" or '…'  text copied unchanged;  other characters are copied too.
// An optional second section after ';' is used for negative values and
// writes the absolute value (its own text carries the sign); a one-section
// pattern writes '-' before a negative value. Values are rounded half away
// from zero to the decimals the pattern shows; trailing zeros at '#'
// positions are dropped, and the point with them when no decimal remains.
#include <string>
#include <string_view>

namespace metadata {

std::string formatNumber(double value, std::string_view pattern);

}  // namespace metadata
