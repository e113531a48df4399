/* The hack function table: the one record through which a saver view drives
 * a hack. Each saver bundle exports exactly one, named
 * <saver name in lower case, blanks removed>_somnel_function_table; the
 * saver name is the bundle's (savers/drizzle builds Drizzle.saver, whose
 * table is drizzle_somnel_function_table). docs/WRITING-A-SAVER.md is the
 * whole contract. */
#ifndef SOMNEL_FUNCTION_TABLE_H
#define SOMNEL_FUNCTION_TABLE_H

#include "somnel/xrm_options.h"
#include "somnel/xshim.h"

XSHIM_BEGIN_DECLS

struct fps_state;


typedef struct somnel_function_table somnel_function_table;

struct somnel_function_table {
    const char *progclass;
    const char *const *defaults;
    const XrmOptionDescRec *options;
    void (*setup_cb)(somnel_function_table *, void *);
    void *setup_arg;
    void *(*init_cb)(Display *, Window, void *);
    unsigned long (*draw_cb)(Display *, Window, void *);
    void (*reshape_cb)(Display *, Window, void *, unsigned int, unsigned int);
    Bool (*event_cb)(Display *, Window, void *, XEvent *);
    void (*free_cb)(Display *, Window, void *);
    void (*fps_cb)(Display *, Window, struct fps_state *, void *);
    void *unused_cb1;
    void *unused_cb2;
};

/* The build's saver rule (somnel_add_saver) compiles a bundle's sources
 * with SOMNEL_SAVER_TABLE set to the table's name. Declared here with
 * default visibility, the table a saver defines under that name is
 * exported although bundles build with hidden visibility: the saver writes
 * no export mark. A static table does not compile; one under another
 * name or inside a C++ namespace is another object, and the build's check
 * after linking names the symbol that is missing. */
#ifdef SOMNEL_SAVER_TABLE
extern SOMNEL_EXPORT_SYMBOL somnel_function_table SOMNEL_SAVER_TABLE;
#endif

/* The hack's class name and program name, set by the saver view. */
extern const char *progclass;
extern const char *progname;

XSHIM_END_DECLS

#endif
