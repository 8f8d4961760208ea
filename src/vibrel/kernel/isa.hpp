#pragma once

// Per-call helpers shared by scalar and SIMD files (BorderInterpolation, DividerI64) live in
// `namespace vibrel { inline namespace VIBREL_ISA { ... } }`. CMake sets VIBREL_ISA for the
// files under avx/ and sse/, so every instruction set gets its own copy of each inline symbol
// and the linker can never give scalar code a copy compiled with -mavx2.
#ifndef VIBREL_ISA
#define VIBREL_ISA isa_scalar
#endif
