// The shared additive random-number generator.
#include "somnel/yarandom.h"
#include "support/random_seed.h"

#include <cstdlib>

#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int VectorSize = 55;
constexpr int Lag = 24;  // i2 runs this far ahead of i1: outputs lag 55 and 31

// Fixed starting table; any values will do as long as some are odd.
uint32_t a[VectorSize] = {
    0x3a85a4dc, 0xd443c47c, 0x6dc47761, 0x28f0ae6a, 0xe48a855e,
    0x21871330, 0x2702c2fd, 0x4784cb12, 0x83a3f88e, 0xc6b6c90e,
    0x6d5fe21c, 0xd50f11f9, 0xbdbeb6dc, 0x4ff3511a, 0x9fdf0574,
    0x6b65b406, 0x888eb791, 0x6a15576e, 0x9096d3e9, 0x06874899,
    0x6e2ce103, 0x0a9faa6d, 0xdb998dc1, 0xc7cd18d7, 0x72c33fce,
    0x5d2a033e, 0x7eebb517, 0x3d036000, 0xae691b21, 0xd6707698,
    0xd22fc4b9, 0x19481338, 0xfb070efc, 0xc2e3a9a8, 0x348c36f6,
    0xf1bb1bd8, 0xc82915cb, 0x1687e355, 0x61980ffa, 0x288e4c34,
    0x7b76d269, 0x690d4669, 0x253a581e, 0xe923e53a, 0xc9e9fd79,
    0x673c14cf, 0xb2d0963c, 0xad9df6b7, 0x59c7d362, 0x5af17618,
    0xc86dfc0c, 0xd7c82c93, 0x29cd3fa3, 0x1b67fc3d, 0x6eaed22b,
};
int i1 = 0, i2 = Lag;

uint32_t rol(uint32_t x, unsigned k) { return (x << k) | (x >> (32 - k)); }

}  // namespace

namespace {
uint32_t fixedSeed = 0;
}

void somnel::support::fixRandomSeed(unsigned int seed) { fixedSeed = seed; }

// A seed of 0 asks for an unpredictable one from the clock and the process
// id, unless a fixed one was given (the host's render --seed gives one, so
// that pictures and tests can be made again exactly).
extern "C" void ya_rand_init(unsigned int seed) {
    uint32_t s = seed ? seed : fixedSeed;
    if (s == 0) {
        struct timeval tp;
        gettimeofday(&tp, nullptr);
        s = rol(uint32_t(tp.tv_sec) * 999u, 11);
        s = rol(s + uint32_t(tp.tv_usec) * 1001u, 7);
        s = rol(s + uint32_t(getpid()) * 1003u, 13);
    }
    a[0] += s;
    for (int i = 1; i < VectorSize; i++) {
        s = rol(rol(s * 999u, 9) + a[i - 1] * 1001u, 15);
        a[i] += s;
    }
    i1 = int(a[0] % VectorSize);
    i2 = (i1 + Lag) % VectorSize;
}

extern "C" uint32_t ya_random(void) {
    uint32_t r = a[i1] + a[i2];
    a[i1] = r;
    if (++i1 >= VectorSize) i1 = 0;
    if (++i2 >= VectorSize) i2 = 0;
    return r;
}

extern "C" void ya_rand_get_state(ya_rand_state *out) {
    for (int i = 0; i < VectorSize; i++) out->a[i] = a[i];
    out->i1 = i1;
    out->i2 = i2;
}

extern "C" void ya_rand_set_state(const ya_rand_state *in) {
    for (int i = 0; i < VectorSize; i++) a[i] = in->a[i];
    // Indexes outside the table would read past it: wrap them into range.
    i1 = ((in->i1 % VectorSize) + VectorSize) % VectorSize;
    i2 = ((in->i2 % VectorSize) + VectorSize) % VectorSize;
}
