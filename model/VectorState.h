#pragma once

namespace model {

// A thread starts with its creator's vector registers, and AVX code that ran earlier on it
// (drawing code, a preloaded library) may leave the upper halves of YMM/ZMM 0-15 dirty. On Intel
// cores since Skylake every legacy-SSE instruction then depends on the whole register, which
// chains the kernel's square roots by latency: the same work takes several times longer.
// vzeroupper returns that state to clean; ZMM 16-31 and the mask registers, which it leaves,
// are out of the legacy-SSE encoding's reach. Called first in every timed child, so the pool
// and whatever thread created it cannot matter. The instruction needs AVX, hence the check.
// Other processors keep no such state: there the function is empty and inlines to nothing.
inline void startWithCleanVectorState() noexcept {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx")) {
        // Clobbers: a build with AVX enabled may hold 256-bit values in these registers.
        asm volatile("vzeroupper" ::
                         : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                           "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
    }
#endif
}

} // namespace model
