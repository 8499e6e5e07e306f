// The vector versions of the hot stages (colour sampling, transform), each
// built for its instruction set; the encoder picks one at run time from what
// the processor offers. All give the same values as the portable ones.
#pragma once

#include <cstdint>

namespace jpeg {

struct CodingTables;

// Coefficient I of one block of samples, computed the exact way; for the
// separable transforms' coefficients near a half.
std::int32_t ExactCoefficient(const CodingTables& t, const std::int32_t* block, int i, double factor);

// Samples one MCU from its 16 rows of 16 pixels into the luminance blocks and
// the Cb and Cr blocks.
void SampleRowsPortable(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr);

#if defined(ZEMBRIK_X86_KERNELS)
bool CpuHasAvx512();
bool CpuHasAvx2();
void SampleRowsAvx512(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr);
void SampleRowsAvx2(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr);
void TransformMcuAvx512(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
void TransformMcuAvx2(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
void TransformMcuSeparableAvx512(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
void TransformMcuSeparableAvx2(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
#endif

}  // namespace jpeg
