/* The real-X rival of the emulation benchmark (real_x.c). */
#ifndef SOMNEL_BENCH_REAL_X_H
#define SOMNEL_BENCH_REAL_X_H
#ifdef __cplusplus
extern "C" {
#endif
/* Opens $DISPLAY and makes a canvas pixmap; false without a server. */
int realx_open(int width, int height);
/* Milliseconds for n operations of kind op (0 fill, 1 line, 2 string,
 * 3 copy area, 4 put image), XSync'ed at the end. */
double realx_run(int op, int n);
void realx_close(void);
#ifdef __cplusplus
}
#endif
#endif
