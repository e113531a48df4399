/* A small GL hack written to the mode-table interface, for end-to-end runs
 * of the mode layer and the GL view: it paints the window's left half red
 * and its right half blue, turning the right half green once it has taken
 * a key press. */
#include <GL/gl.h>

#include "somnel/fps_gl.h"
#include "somnel/modehost.h"
#include "somnel/xshim_glx.h"

/* What a test in the same program may look at. */
int glmode_inits, glmode_draws, glmode_reshapes, glmode_keys;
int glmode_width, glmode_height;
GLXContext *glmode_context;

static void glmode_reshape(ModeRecord *mi, int width, int height) {
    (void)mi;
    glmode_reshapes++;
    glmode_width = width;
    glmode_height = height;
    glViewport(0, 0, width, height);
}

static void glmode_init(ModeRecord *mi) {
    glmode_inits++;
    glmode_context = init_GL(mi);
    glmode_width = mi->window_attributes.width;
    glmode_height = mi->window_attributes.height;
    glViewport(0, 0, glmode_width, glmode_height);
}

static void glmode_draw(ModeRecord *mi) {
    int w = glmode_width, h = glmode_height;
    glmode_draws++;
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, w / 2, h);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(w / 2, 0, w - w / 2, h);
    if (glmode_keys)
        glClearColor(0, 1, 0, 1);
    else
        glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    mi->polygon_count = 2;
    /* The FPS meter, when "doFPS" is on, over the frame as a GL hack shows it. */
    modehost_gl_draw_fps(mi);
    glXSwapBuffers(mi->display, mi->window);
}

static Bool glmode_event(ModeRecord *mi, XEvent *e) {
    (void)mi;
    if (e->type != KeyPress) return False;
    glmode_keys++;
    return True;
}

static void glmode_never(ModeRecord *mi) { (void)mi; }

static modehost_function_table glmode_table = {
    "GLModeTest", "*delay: 20000\n*showFPS: False\n", False, ModeColorsRandom,
    glmode_init, glmode_draw, glmode_reshape, glmode_never, glmode_never, glmode_event, 0,
};

SOMNEL_EXPORT_SYMBOL somnel_function_table glmodetest_somnel_function_table = {
    0, 0, 0, modehost_setup, &glmode_table, 0, 0, 0, 0, 0, modehost_gl_compute_fps, 0, 0,
};
