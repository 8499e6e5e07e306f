// The colour conversion's constants: the single-precision values of the usual
// coefficients, held in double. A product of one with a channel value or a
// 2x2 average, and any sum of such products, is exact in double precision, so
// the order of the additions never matters; only the final rounding does.
#pragma once

namespace jpeg {

inline constexpr double kYR = static_cast<double>(0.299f);
inline constexpr double kYG = static_cast<double>(0.587f);
inline constexpr double kYB = static_cast<double>(0.114f);
inline constexpr double kCbR = static_cast<double>(0.1687f);
inline constexpr double kCbG = static_cast<double>(0.3313f);
inline constexpr double kCrG = static_cast<double>(0.4187f);
inline constexpr double kCrB = static_cast<double>(0.0813f);

}  // namespace jpeg
