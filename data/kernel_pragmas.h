// Included first by every kernel source file (and only there: it changes how the
// rest of the including file is compiled).
//
// The default -O2 cost model of this compiler only vectorises loops whose trip
// count needs no epilogue, and trapping math keeps the saturating selects as
// branches (as does jump threading, which turns the clamps into chains of masks);
// the kernels are meant to vectorise for any count and never read the
// floating-point exception flags.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("vect-cost-model=dynamic", "no-trapping-math", "no-thread-jumps")
#endif

// Regions of a kernel file compiled for wider vector units, chosen at run time. AVX-512
// carries fused multiply-adds of its own: a file with an AVX-512 region whose products
// and sums must round separately turns contraction off (fp-contract=off).
#if defined(__clang__)
#define ORVA_TARGET_AVX2_BEGIN \
    _Pragma("clang attribute push (__attribute__((target(\"avx2\"))), apply_to = function)")
#define ORVA_TARGET_AVX2_FMA_BEGIN \
    _Pragma("clang attribute push (__attribute__((target(\"avx2,fma\"))), apply_to = function)")
#define ORVA_TARGET_AVX512_BEGIN \
    _Pragma("clang attribute push (__attribute__((target(\"avx2,avx512f\"))), apply_to = function)")
#define ORVA_TARGET_END _Pragma("clang attribute pop")
#else
#define ORVA_TARGET_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define ORVA_TARGET_AVX2_FMA_BEGIN \
    _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,fma\")")
#define ORVA_TARGET_AVX512_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,avx512f\")")
#define ORVA_TARGET_END _Pragma("GCC pop_options")
#endif
