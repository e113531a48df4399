/* The GLX names a GL hack uses. The view owns the OpenGL context: init_GL
 * makes (or reuses) it, glXSwapBuffers presents a frame, glXMakeCurrent has
 * no effect. Each is mapped to a prefixed link name so that the real GLX
 * library in the process is never shadowed. */
#ifndef SOMNEL_XSHIM_GLX_H
#define SOMNEL_XSHIM_GLX_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

typedef struct __GLXcontextRec *GLXContext;

#define glXSwapBuffers xshim_glXSwapBuffers
void glXSwapBuffers(Display *dpy, Window window);
#define glXMakeCurrent xshim_glXMakeCurrent
Bool glXMakeCurrent(Display *dpy, Window window, GLXContext ctx);

/* Builds the OpenGL context of the view that shows the window (or reuses
 * the one a previous run made), makes it current and returns a token that
 * stands for it. The mode layer's init_GL calls this with its record's
 * display and window. */
GLXContext *xshim_init_GL(Display *dpy, Window window);

struct ModeRecord;
/* A mode-table hack's way in: the context of the view that shows the
 * record's window (see xshim_init_GL). */
GLXContext *init_GL(struct ModeRecord *mi);

/* Aborts with "<step> GL error: <name>" when OpenGL has an error pending. */
void check_gl_error(const char *step);
/* Discards every pending OpenGL error. */
void clear_gl_error(void);

XSHIM_END_DECLS

#endif
