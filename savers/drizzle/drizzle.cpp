// Drizzle: a water surface under rain. The mode table, options and
// defaults, the lifecycle callbacks the mode layer drives, and the keys.
#include "drizzle.h"

#include "somnel/modehost.h"
#include "somnel/xshim_glx.h"

#include "somnel/fps_gl.h"

#include <cstdlib>
#include <cstring>

namespace {

const char drizzle_defaults[] =
    "*delay:\t10000\n"
    "*count:\t30\n"
    "*showFPS:\tFalse\n"
    "*wireframe:\tFalse\n";

XrmOptionDescRec opts[] = {
    {"-dps", ".drizzle.dps", XrmoptionSepArg, nullptr},
    {"-colortime", ".drizzle.colortime", XrmoptionSepArg, nullptr},
    {"-simres", ".drizzle.simres", XrmoptionSepArg, nullptr},
    {"-ripheight", ".drizzle.ripheight", XrmoptionSepArg, nullptr},
};

ModeVar vars[] = {
    {&g_nNumDropletsPerSecond, "dps", "DPS", "16", ModeVarInt},
    {&g_fGradientTransitionTime, "colortime", "ColorTime", "15", ModeVarFloat},
    {&g_nSimResolutionEnum, "simres", "SimRes", "1", ModeVarInt},
    {&g_fRippleHeight, "ripheight", "RipHeight", "2", ModeVarFloat},
};

ModeOptionDesc desc[] = {
    {"-dps num", "droplets per second"},
    {"-colortime num", "color transition time"},
    {"-simres num", "sim resolution: 0=256, 1=512, 2=1024, 3=2048"},
    {"-ripheight num", "ripple height"},
};

ModeOptions drizzle_opts = MODEHOST_OPTIONS(opts, vars, desc);

// The screen's record, or null when there is none (no array, or a number
// outside it).
DrizzleState *entryFor(ModeRecord *mi) {
    if (!g_pDrizzleState || mi->screen_number < 0 || mi->screen_number >= g_nDrizzleStateCount)
        return nullptr;
    return &g_pDrizzleState[mi->screen_number];
}

// Makes sure the array has an entry for this screen. The array is sized
// from the first screen count; a later screen number beyond it grows the
// array (existing entries kept, new ones zeroed) rather than writing past
// its end. False when memory runs out or the number is negative.
bool ensureEntry(ModeRecord *mi) {
    int need = mi->screen_number + 1;
    if (mi->screen_number < 0) return false;
    if (!g_pDrizzleState) {
        int count = mi->screen_count > need ? mi->screen_count : need;
        g_pDrizzleState = static_cast<DrizzleState *>(calloc(size_t(count), sizeof(DrizzleState)));
        if (!g_pDrizzleState) return false;
        g_nDrizzleStateCount = count;
        return true;
    }
    if (need <= g_nDrizzleStateCount) return true;
    void *grown = realloc(g_pDrizzleState, size_t(need) * sizeof(DrizzleState));
    if (!grown) return false;
    g_pDrizzleState = static_cast<DrizzleState *>(grown);
    memset(g_pDrizzleState + g_nDrizzleStateCount, 0,
           size_t(need - g_nDrizzleStateCount) * sizeof(DrizzleState));
    g_nDrizzleStateCount = need;
    return true;
}

}  // namespace

extern "C" {

void init_drizzle(ModeRecord *mi);
void draw_drizzle(ModeRecord *mi);
void reshape_drizzle(ModeRecord *mi, int width, int height);
void refresh_drizzle(ModeRecord *mi);
void release_drizzle(ModeRecord *mi);
Bool drizzle_handle_event(ModeRecord *mi, XEvent *event);

modehost_function_table drizzle_modehost_function_table = {
    .progclass = "Drizzle",
    .defaults = drizzle_defaults,
    .writable_colors = False,
    .color_scheme = ModeColorsRandom,
    .init_hook = init_drizzle,
    .draw_hook = draw_drizzle,
    .reshape_hook = reshape_drizzle,
    .refresh_hook = refresh_drizzle,
    .free_hook = release_drizzle,
    .event_hook = drizzle_handle_event,
    .options = &drizzle_opts,
};

somnel_function_table drizzle_somnel_function_table = {
    .progclass = nullptr,
    .defaults = nullptr,
    .options = nullptr,
    .setup_cb = modehost_setup,
    .setup_arg = &drizzle_modehost_function_table,
    .init_cb = nullptr,
    .draw_cb = nullptr,
    .reshape_cb = nullptr,
    .event_cb = nullptr,
    .free_cb = nullptr,
    .fps_cb = modehost_gl_compute_fps,
    .unused_cb1 = nullptr,
    .unused_cb2 = nullptr,
};

void init_drizzle(ModeRecord *mi) {
    if (!ensureEntry(mi)) return;
    DrizzleState *s = &g_pDrizzleState[mi->screen_number];

    s->pContext = init_GL(mi);
    if (!s->pContext) {
        XClearWindow(mi->display, mi->window);
        return;
    }
    // The mode layer never calls release, and it hands a screen number out
    // again once the run that held it has ended: that run's objects are
    // stale, and would otherwise leak (tens of megabytes at high
    // resolutions) on every restart. Nothing live can carry these names in
    // the current context, since this screen's run is the one starting.
    if (s->uSimTex[0] || s->hPassThroughProgram) drizzle_delete_gl_objects(s);
    void *context = s->pContext;
    memset(s, 0, sizeof *s);
    s->pContext = context;

    drizzle_setup_state(s, mi->window_attributes.width, mi->window_attributes.height);
    RippleDisplay(s);
    glXSwapBuffers(mi->display, mi->window);
}

void draw_drizzle(ModeRecord *mi) {
    DrizzleState *s = entryFor(mi);
    if (!s) return;
    drizzle_advance_time(s);
    if (!s->pContext) return;
    glXMakeCurrent(mi->display, mi->window, static_cast<GLXContext>(s->pContext));
    // No clear here: the composite pass clears the window's buffer before
    // it draws, and on a renderer that draws on the processor a clear
    // before the passes into textures is a full-screen pass of its own.
    RippleDisplay(s);
    if (mi->fps_on) modehost_gl_draw_fps(mi);
    glXSwapBuffers(mi->display, mi->window);
}

void reshape_drizzle(ModeRecord *mi, int width, int height) {
    DrizzleState *s = entryFor(mi);
    if (!s || !s->pContext) return;
    drizzle_set_camera(s, width, height);
}

void refresh_drizzle(ModeRecord *) {}

void release_drizzle(ModeRecord *) {
    if (!g_pDrizzleState) return;
    for (int i = 0; i < g_nDrizzleStateCount; i++) drizzle_delete_gl_objects(&g_pDrizzleState[i]);
    free(g_pDrizzleState);
    g_pDrizzleState = nullptr;
    g_nDrizzleStateCount = 0;
}

Bool drizzle_handle_event(ModeRecord *mi, XEvent *event) {
    if (event->type != KeyPress) return False;
    DrizzleState *s = entryFor(mi);
    if (!s) return False;
    KeySym sym = XKeycodeToKeysym(mi->display, event->xkey.keycode, 0);
    return drizzle_handle_key(s, sym) ? True : False;
}

}  // extern "C"
