/* A swap counter: preloaded into a program (LD_PRELOAD), it wraps the GLX
 * and EGL swap calls and appends one line per swap to the file named by
 * SOMNEL_SWAP_LOG:
 *
 *     <drawable, hex> <start, monotonic seconds> <time in the call, seconds>
 *
 * so that frames presented, per window, can be counted from outside the
 * program. Calls reached through the GetProcAddress functions are wrapped
 * too. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef void (*GlxSwap)(void *dpy, unsigned long drawable);
typedef unsigned (*EglSwap)(void *dpy, void *surface);
typedef unsigned (*EglSwapDamage)(void *dpy, void *surface, int *rects, int n);
typedef void *(*GetProc)(const char *name);

static int logFd = -2;

static double monotonic(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void note(unsigned long drawable, double start) {
    const double spent = monotonic() - start;
    if (logFd == -2) {
        const char *path = getenv("SOMNEL_SWAP_LOG");
        logFd = path && *path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    if (logFd < 0) return;
    char line[96];
    const int n = snprintf(line, sizeof line, "%lx %.6f %.6f\n", drawable, start, spent);
    /* One write of a short line with O_APPEND: lines never interleave. */
    if (n > 0 && write(logFd, line, (size_t)n) < 0) logFd = -1;
}

static void *next(const char *name) { return dlsym(RTLD_NEXT, name); }

__attribute__((visibility("default"))) void glXSwapBuffers(void *dpy, unsigned long drawable) {
    static GlxSwap real;
    if (!real) real = (GlxSwap)next("glXSwapBuffers");
    const double start = monotonic();
    real(dpy, drawable);
    note(drawable, start);
}

__attribute__((visibility("default"))) unsigned eglSwapBuffers(void *dpy, void *surface) {
    static EglSwap real;
    if (!real) real = (EglSwap)next("eglSwapBuffers");
    const double start = monotonic();
    const unsigned ok = real(dpy, surface);
    note((unsigned long)surface, start);
    return ok;
}

static unsigned swapWithDamage(const char *name, void *dpy, void *surface, int *rects, int n) {
    EglSwapDamage real = (EglSwapDamage)next(name);
    const double start = monotonic();
    const unsigned ok = real ? real(dpy, surface, rects, n) : 0;
    note((unsigned long)surface, start);
    return ok;
}

__attribute__((visibility("default"))) unsigned eglSwapBuffersWithDamageKHR(void *dpy, void *surface, int *rects,
                                                                           int n) {
    return swapWithDamage("eglSwapBuffersWithDamageKHR", dpy, surface, rects, n);
}

__attribute__((visibility("default"))) unsigned eglSwapBuffersWithDamageEXT(void *dpy, void *surface, int *rects,
                                                                           int n) {
    return swapWithDamage("eglSwapBuffersWithDamageEXT", dpy, surface, rects, n);
}

/* The wrapper for a swap function looked up by name, else the real one. */
static void *wrapped(const char *name, GetProc real) {
    static const struct {
        const char *name;
        void *fn;
    } ours[] = {
        {"glXSwapBuffers", (void *)glXSwapBuffers},
        {"eglSwapBuffers", (void *)eglSwapBuffers},
        {"eglSwapBuffersWithDamageKHR", (void *)eglSwapBuffersWithDamageKHR},
        {"eglSwapBuffersWithDamageEXT", (void *)eglSwapBuffersWithDamageEXT},
    };
    for (size_t i = 0; name && i < sizeof ours / sizeof ours[0]; i++)
        if (!strcmp(name, ours[i].name)) return ours[i].fn;
    return real ? real(name) : NULL;
}

__attribute__((visibility("default"))) void *glXGetProcAddressARB(const char *name) {
    return wrapped(name, (GetProc)next("glXGetProcAddressARB"));
}

__attribute__((visibility("default"))) void *glXGetProcAddress(const char *name) {
    return wrapped(name, (GetProc)next("glXGetProcAddress"));
}

__attribute__((visibility("default"))) void *eglGetProcAddress(const char *name) {
    return wrapped(name, (GetProc)next("eglGetProcAddress"));
}
