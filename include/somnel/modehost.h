/* The mode layer: runs a hack written to the mode-table interface through
 * the hack function table.
 *
 * A mode-table hack declares one static modehost_function_table (its class
 * name, defaults text, colour wishes, hooks and typed option variables) and
 * exports a somnel_function_table whose setup_cb is modehost_setup and whose
 * setup_arg is the address of that mode table. Setup turns the mode table
 * into option rows and default lines and installs the adapters below; the
 * adapters hand every hook a ModeRecord with the display, window, colours,
 * a GC and the common settings already read. Plain C. */
#ifndef SOMNEL_MODEHOST_H
#define SOMNEL_MODEHOST_H

#include <stdint.h>

#include "somnel/somnel_function_table.h"
#include "somnel/xshim.h"

XSHIM_BEGIN_DECLS

struct fps_state;

typedef struct ModeRecord ModeRecord;

/* The hooks a mode-table hack provides. */
typedef void (*ModeHook)(ModeRecord *mi);
typedef void (*ModeReshapeHook)(ModeRecord *mi, int width, int height);
typedef Bool (*ModeEventHook)(ModeRecord *mi, XEvent *event);

/* ModeVar.type: how the resource is read and what the variable holds. */
enum {
    ModeVarText = 0,  /* char *, newly allocated, or null */
    ModeVarFloat = 1, /* float */
    ModeVarInt = 2,   /* int */
    ModeVarBool = 3   /* int, 0 or 1 */
};

/* modehost_function_table.color_scheme */
enum {
    ModeColorsRandom = 0,  /* random colours */
    ModeColorsUniform = 1, /* a uniform hue ramp */
    ModeColorsSmooth = 2,  /* a smooth random path */
    ModeColorsBright = 3   /* random bright colours */
};

/* One typed variable of the hack bound to a resource, read at each init. */
typedef struct {
    void *var;             /* the hack's variable, of the kind type names */
    const char *name;      /* resource name, "dps" */
    const char *classname; /* resource class, "DPS" */
    const char *def;       /* default value as text: required, 1..1000 chars */
    int type;              /* ModeVarText ... ModeVarBool */
} ModeVar;

/* Help for one switch: the switch with its argument placeholder and a
 * sentence. The mode layer does not read it. */
typedef struct {
    const char *opt;
    const char *desc;
} ModeOptionDesc;

/* The hack's switches and variables. Fill it with MODEHOST_OPTIONS (below),
 * which counts the arrays, never with counts written by hand. A zeroed row
 * (option null) ends the rows, and a zeroed variable (var and name null)
 * the variables, before their count: arrays ended the way the function
 * table's are serve as well. */
typedef struct {
    int opt_count;
    XrmOptionDescRec *opts; /* opt_count rows; specifiers hold a dot */
    int var_count;
    ModeVar *vars; /* var_count variables */
    ModeOptionDesc *desc;
} ModeOptions;

/* The mode table, one per hack, static data of the hack. */
typedef struct {
    const char *progclass; /* class name, "Drizzle" */
    const char *defaults;  /* default lines, each ended by a newline */
    Bool writable_colors;
    int color_scheme; /* ModeColorsRandom ... ModeColorsBright */
    ModeHook init_hook;
    ModeHook draw_hook;
    ModeReshapeHook reshape_hook; /* may be null */
    ModeHook refresh_hook;        /* never called by the mode layer */
    ModeHook free_hook;           /* never called by the mode layer */
    ModeEventHook event_hook;     /* may be null; true = consumed */
    ModeOptions *options;         /* may be null: no switches or variables */
} modehost_function_table;

/* The record handed to every hook (the hook's "mi"), made by each init.
 * screen_number is always below screen_count; numbers are reused once the
 * run that held them has ended (see modehost_free). */
struct ModeRecord {
    modehost_function_table *table;
    Display *display;
    Window window;
    int screen_count;
    int screen_number;
    int npixels;
    unsigned long *pixels;
    XColor *colors;
    Bool writable;
    unsigned long white_pixel;
    unsigned long black_pixel;
    XWindowAttributes window_attributes;
    GC gc;
    int64_t delay; /* microseconds, 0 .. 100000000; a draw hook may change it
                      for one frame */
    int64_t cycles;
    int64_t count;
    int64_t size;
    Bool use3d;
    unsigned long left3d_pixel;
    unsigned long right3d_pixel;
    unsigned long both3d_pixel;
    unsigned long none3d_pixel;
    int64_t delta3d;
    Bool wireframe;
    struct fps_state *fps_meter; /* set by the GL FPS callback on its first call */
    Bool fps_on;
    unsigned long polygon_count; /* the hack's polygons in its last frame */
    double depth;                /* a value the FPS meter shows; negative = none */
};

/* Monochrome display: always false here. */
extern Bool mono_p;

/* Setup callback of a mode-table hack's function table; arg is the mode table. */
void modehost_setup(somnel_function_table *xsft, void *arg);

/* The adapters that modehost_setup puts into the function table. */
void *modehost_init(Display *dpy, Window window, void *mode_table);
unsigned long modehost_draw(Display *dpy, Window window, void *mi);
void modehost_reshape(Display *dpy, Window window, void *mi, unsigned int width,
                      unsigned int height);
Bool modehost_event(Display *dpy, Window window, void *mi, XEvent *event);
void modehost_free(Display *dpy, Window window, void *mi);

/* FPS callback for non-GL mode-table hacks: computes and draws the meter. */
void modehost_do_fps(Display *dpy, Window window, struct fps_state *fps, void *mi);

XSHIM_END_DECLS

/* The number of entries of an array defined in the same source. Never a
 * pointer, whose size says nothing of the rows behind it: the compiler
 * refuses one. */
#ifdef __cplusplus
template <class T, size_t N>
char (&modehost_count_of(T (&array)[N]))[N];
#define MODEHOST_COUNT(array) ((int)sizeof(modehost_count_of(array)))
#else
#define MODEHOST_COUNT(array)                                                                    \
    ((int)(sizeof(array) / sizeof((array)[0]) +                                                  \
           0 * sizeof(struct { int modehost_count_needs_an_array : MODEHOST_ARRAY_WIDTH(array); })))
/* 1 for an array, -1 (a bit-field the compiler refuses) for a pointer. */
#define MODEHOST_ARRAY_WIDTH(a) (__builtin_types_compatible_p(__typeof__(a), __typeof__(&(a)[0])) ? -1 : 1)
#endif

/* A hack's ModeOptions from its arrays of option rows, variables and help:
 *
 *   static ModeOptions drizzle_opts = MODEHOST_OPTIONS(opts, vars, desc);
 */
#define MODEHOST_OPTIONS(opts, vars, desc) \
    { MODEHOST_COUNT(opts), (opts), MODEHOST_COUNT(vars), (vars), (desc) }

#endif
