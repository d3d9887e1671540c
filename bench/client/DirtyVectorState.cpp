// Preloaded into a program (LD_PRELOAD), leaves its main thread's upper vector halves dirty
// before main() runs, as AVX code that ends without vzeroupper would: front_ends_agree.sh's
// planted fault.
namespace {

__attribute__((constructor)) void dirtyUpperHalves() {
    __builtin_cpu_init(); // may run before libgcc's own constructor
    if (__builtin_cpu_supports("avx")) {
        asm volatile("vpcmpeqd %%ymm1, %%ymm1, %%ymm1" ::: "xmm1");
    }
}

} // namespace
