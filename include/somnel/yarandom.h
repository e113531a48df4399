/* The process-wide random-number generator: an additive lagged-Fibonacci
 * generator over 55 words. Every screen and every hack shares one state.
 * Plain C. */
#ifndef SOMNEL_YARANDOM_H
#define SOMNEL_YARANDOM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Mixes seed into the state (0: a seed from the clock and the process id).
 * The table is mixed into, not replaced: seeding twice differs from once. */
void ya_rand_init(unsigned int seed);

/* The next 32-bit value. For a number in 0..1 take the low 31 bits times 2^-31. */
uint32_t ya_random(void);

/* The whole generator state, so that a run can be repeated exactly. */
typedef struct {
    uint32_t a[55];
    int i1, i2;
} ya_rand_state;
void ya_rand_get_state(ya_rand_state *out);
void ya_rand_set_state(const ya_rand_state *in);

#ifdef __cplusplus
}
#endif

#endif
