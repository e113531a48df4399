// Drizzle's background: a vertical two-colour gradient of a cool and a warm
// tone that blends to a new random pair every colour-transition period.
#include "drizzle.h"

#include "somnel/yarandom.h"

#include <cmath>

extern "C" {

float drizzle_frand(void) {
    return float(ya_random() & 0x7fffffff) * 4.656613e-10f;
}

// A random base colour lit two ways: a cool tone (more blue) and a warm one
// (more yellow). Components may exceed 1; the 8-bit texture clamps them.
void GenerateRandomGoochTones(float cool[3], float warm[3]) {
    float kr = drizzle_frand();
    float kg = drizzle_frand();
    float kb = drizzle_frand();
    float b = drizzle_frand();
    float y = drizzle_frand();
    float alpha = drizzle_frand();
    float beta = drizzle_frand();
    cool[0] = alpha * kr;
    cool[1] = alpha * kg;
    cool[2] = b + alpha * kb;
    warm[0] = beta * kr + y;
    warm[1] = beta * kg + y;
    warm[2] = beta * kb;
}

float drizzle_midpoint_difference(const float sb[3], const float st[3], const float nb[3],
                                  const float nt[3]) {
    float d = 0.0f;
    for (int i = 0; i < 3; i++) {
        float mb = 0.5f * sb[i] + 0.5f * nb[i];
        float mt = 0.5f * st[i] + 0.5f * nt[i];
        d += std::fabs(mb - mt);
    }
    return d;
}

// A period of zero or less would make the blend weight undefined (0/0, or
// a negative ramp); it is read as the shortest blend offered, one second.
// A value that is not a number falls back to the default.
float drizzle_transition_time(void) {
    float t = g_fGradientTransitionTime;
    if (std::isnan(t)) return 15.0f;
    if (t <= 0.0f) return 1.0f;
    return t;
}

}  // extern "C"

namespace {

const float *bottomOf(const float *a, const float *b, int aAtBottom) { return aAtBottom ? a : b; }
const float *topOf(const float *a, const float *b, int aAtBottom) { return aAtBottom ? b : a; }

// The target pair becomes the start; a new target is drawn, with a random
// end for each tone unless swapping ends would pass through two colours
// too alike halfway (which would look like the gradient going flat).
void startTransition(DrizzleState *s) {
    s->fGradientTime = 0.0f;
    s->bNewColors = 0;
    for (int i = 0; i < 3; i++) {
        s->vToneA[i] = s->vNextToneA[i];
        s->vToneB[i] = s->vNextToneB[i];
    }
    s->bToneAAtBottom = s->bNextToneAAtBottom;
    GenerateRandomGoochTones(s->vNextToneA, s->vNextToneB);
    s->bNextToneAAtBottom = drizzle_frand() > 0.5f ? 1 : 0;
    if (s->bNextToneAAtBottom != s->bToneAAtBottom) {
        float d = drizzle_midpoint_difference(
            bottomOf(s->vToneA, s->vToneB, s->bToneAAtBottom),
            topOf(s->vToneA, s->vToneB, s->bToneAAtBottom),
            bottomOf(s->vNextToneA, s->vNextToneB, s->bNextToneAAtBottom),
            topOf(s->vNextToneA, s->vNextToneB, s->bNextToneAAtBottom));
        if (d <= 0.5f) s->bNextToneAAtBottom = s->bToneAAtBottom;
    }
}

}  // namespace

extern "C" void drizzle_gradient_pass(DrizzleState *s) {
    float period = drizzle_transition_time();
    if (s->fGradientTime > period) s->bNewColors = 1;
    if (s->bNewColors) startTransition(s);

    float c = s->fGradientTime / period;
    float e = c < 0.0f ? 0.0f : c >= 1.0f ? 1.0f : c * c * (3.0f - 2.0f * c);

    const float *sb = bottomOf(s->vToneA, s->vToneB, s->bToneAAtBottom);
    const float *st = topOf(s->vToneA, s->vToneB, s->bToneAAtBottom);
    const float *nb = bottomOf(s->vNextToneA, s->vNextToneB, s->bNextToneAAtBottom);
    const float *nt = topOf(s->vNextToneA, s->vNextToneB, s->bNextToneAAtBottom);
    float bottom[3], top[3];
    for (int i = 0; i < 3; i++) {
        bottom[i] = (1.0f - e) * sb[i] + e * nb[i];
        top[i] = (1.0f - e) * st[i] + e * nt[i];
    }

    glUseProgramObjectARB(s->hGradientProgram);
    glUniform4fARB(s->nLocColor0, bottom[0], bottom[1], bottom[2], 1.0f);
    glUniform4fARB(s->nLocColor1, top[0], top[1], top[2], 1.0f);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s->uBackgroundFBO);
    glViewport(0, 0, 1, s->nBackgroundHeight);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawScreenQuad();
}
