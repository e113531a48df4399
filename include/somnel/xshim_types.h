/* Basic types of the Xlib subset that hacks draw with. Plain C: a hack
 * written in C includes this (through xshim.h) and never the real Xlib
 * headers. Each emulated call is declared under a prefixed link name
 * (XCreateGC is xshim_XCreateGC) so that it never shadows the real libX11
 * that the host process also holds. */
#ifndef SOMNEL_XSHIM_TYPES_H
#define SOMNEL_XSHIM_TYPES_H

#include <stddef.h>
#include <stdint.h>

#include "somnel/export.h"

#ifdef __cplusplus
#define XSHIM_BEGIN_DECLS extern "C" {
#define XSHIM_END_DECLS }
#else
#define XSHIM_BEGIN_DECLS
#define XSHIM_END_DECLS
#endif

XSHIM_BEGIN_DECLS

typedef int Bool;
typedef int Status;
#ifndef True
#define True 1
#define False 0
#endif
/* NOTE: None is a macro, as hacks expect; it breaks toolkit headers read
 * after it (an enumerator named None), so no source of the framework
 * includes both these names and Qt. */
#ifndef None
#define None 0
#endif

typedef unsigned long XID;
typedef unsigned long Colormap;
typedef unsigned long KeySym;
typedef unsigned long Atom;
typedef unsigned long Time;
typedef char *XPointer;

typedef struct xshim_Display Display;
typedef struct xshim_Screen Screen;
typedef struct xshim_Visual Visual;

/* Window, Pixmap and Drawable are all pointers to the one drawable record. */
typedef struct xshim_drawable *Drawable;
typedef Drawable Window;
typedef Drawable Pixmap;

typedef struct xshim_gc *GC;
typedef struct xshim_font *Font;

/* The X Toolkit's application context is the display itself. */
typedef Display *XtAppContext;

/* Stops on a programming error: formats the message (at most 10240 bytes,
 * "abort" for a null or empty format) and raises the internal-inconsistency
 * exception with it. Modules use the form "abort in %s:%d" with the
 * routine's name and a line number. */
#define xshim_abort xshim_xshim_abort
__attribute__((noreturn, format(printf, 1, 2))) void xshim_abort(const char *fmt, ...);

/* The X event record handed to hacks: five 32-bit fields, zeroed before
 * filling. The key event's keycode holds the X key symbol itself. */
enum { KeyPress = 2, KeyRelease = 3, ButtonPress = 4, ButtonRelease = 5, MotionNotify = 6 };
enum { ShiftMask = 1, LockMask = 2, ControlMask = 4, Mod1Mask = 8, Mod2Mask = 16 };

/* The key symbols that key events carry besides Latin-1 characters. */
#define XK_Home 0xff50
#define XK_Left 0xff51
#define XK_Up 0xff52
#define XK_Right 0xff53
#define XK_Down 0xff54
#define XK_Prior 0xff55
#define XK_Next 0xff56
#define XK_End 0xff57
#define XK_Begin 0xff58
#define XK_Shift_L 0xffe1
#define XK_Control_L 0xffe3
#define XK_Caps_Lock 0xffe5
#define XK_Meta_L 0xffe7
#define XK_Alt_L 0xffe9

typedef struct {
    int type, x, y;
    unsigned int state, button;
} XButtonEvent;
typedef struct {
    int type, x, y;
    unsigned int state;
} XMotionEvent;
typedef struct {
    int type;
    unsigned int state, keycode;
} XKeyEvent;
typedef union {
    int type;
    XButtonEvent xbutton;
    XMotionEvent xmotion;
    XKeyEvent xkey;
    int32_t pad[5];
} XEvent;

XSHIM_END_DECLS

#endif
