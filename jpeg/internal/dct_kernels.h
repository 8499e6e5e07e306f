// The vector transforms, each built for its instruction set; the encoder picks
// one at run time from what the processor offers.
#pragma once

#include <cstdint>

namespace ModuleJPEG {

struct CodingTables;

#if defined(ZEMBRIK_X86_KERNELS)
void TransformMcuAvx512(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
void TransformMcuAvx2(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
#endif

}  // namespace ModuleJPEG
