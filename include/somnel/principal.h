/* A saver bundle's principal class: the view that the host creates for the
 * saver. A saver names its class and the kind of view it draws in once, at
 * file scope in one of its sources:
 *
 *   SOMNEL_PRINCIPAL_CLASS(SomnelDrizzleView, SOMNEL_GL_VIEW);
 *
 * This defines the entry point the host looks up by the manifest's class
 * name, <Class>_create. The class adds nothing to the framework's view, so
 * the saver name (and so the function table the view looks for) comes from
 * the name of the bundle holding the code. Plain C. */
#ifndef SOMNEL_PRINCIPAL_H
#define SOMNEL_PRINCIPAL_H

#include "somnel/xshim_types.h"

/* What the saver draws with: the emulated Xlib calls, or OpenGL. */
enum somnel_view_kind { SOMNEL_2D_VIEW = 0, SOMNEL_GL_VIEW = 1 };

XSHIM_BEGIN_DECLS

/* Creates the principal view from the host's creation arguments. `entry` is
 * an address inside the bundle, by which the view finds its bundle. Null
 * when the bundle holds no function table. */
void *somnel_create_principal_view(const void *args, const char *class_name, int kind,
                                   const void *entry);

XSHIM_END_DECLS

/* The view finds its bundle by an address inside it: a file-local object's,
 * never the exported entry's, whose address a program holding its own copy
 * of the class (and exporting it) would supply instead. */
#define SOMNEL_PRINCIPAL_CLASS(Class, kind)                                                        \
    XSHIM_BEGIN_DECLS                                                                              \
    SOMNEL_EXPORT_SYMBOL void *Class##_create(const void *args);                                   \
    XSHIM_END_DECLS                                                                                \
    static const char somnel_principal_anchor_##Class = 0;                                         \
    void *Class##_create(const void *args) {                                                       \
        return somnel_create_principal_view(args, #Class, kind, &somnel_principal_anchor_##Class); \
    }                                                                                              \
    typedef int somnel_principal_class_##Class

#endif
