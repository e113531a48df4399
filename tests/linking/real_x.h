/* The real libX11, seen from a translation unit that includes no emulation
 * header. */
#ifndef SOMNEL_TEST_REAL_X_H
#define SOMNEL_TEST_REAL_X_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the X display, makes and frees a GC, syncs, and returns the
 * default screen's width (0 when there is no X server). */
int real_x_roundtrip(void);
/* Addresses of real libX11 functions as this unit links them. */
void *real_x_address_of_XSync(void);
void *real_x_address_of_XCreateGC(void);

#ifdef __cplusplus
}
#endif

#endif
