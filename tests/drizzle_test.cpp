// Drizzle through its mode-layer callbacks: lifecycle and keys.
#include "drizzle_gl.h"
