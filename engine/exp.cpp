// exp as the C library computes it. glibc's exp reaches its implementation
// through a wrapper that only sets errno on overflow and underflow, which
// the engine never reads. The implementation stays exported under a
// versioned name for old programs; where the build found that name, it is
// called directly: the same function, so the same values, a call shorter.
#include "decay.h"

#if NET1_DIRECT_EXP
extern "C" double __exp_finite(double);
__asm__(".symver __exp_finite,__exp_finite@GLIBC_2.15");
double net1::libraryExp(double x) { return __exp_finite(x); }
#else
double net1::libraryExp(double x) { return std::exp(x); }
#endif
