// Drizzle's option variables and its per-screen state array.
#include "drizzle.h"

extern "C" {

int g_nNumDropletsPerSecond = 16;
float g_fGradientTransitionTime = 15.0f;
int g_nSimResolutionEnum = 1;
float g_fRippleHeight = 2.0f;

DrizzleState *g_pDrizzleState = nullptr;
int g_nDrizzleStateCount = 0;

}  // extern "C"
