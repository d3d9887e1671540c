#pragma once

// Included by every translation unit whose floating-point loop is timed. The
// compiler announces relaxed floating-point semantics through these macros,
// whichever way the option reached it (cache variable, CXXFLAGS, a target's
// own options, a toolchain file), so refusing them here covers every route.
// Relaxed errno handling is what lets the square roots be vectorised or
// dropped, and reassociation what lets the additions be reordered.
#if defined(__FAST_MATH__) || defined(__NO_MATH_ERRNO__) || defined(__ASSOCIATIVE_MATH__) ||       \
    defined(__RECIPROCAL_MATH__) || (defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__)
#error "The stress workload must be compiled without floating-point shortcuts."
#endif
