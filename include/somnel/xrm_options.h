/* The option row: one command-line-style switch and the resource it sets.
 * Plain C, and free of the Xlib subset, so that code built over widgets can
 * read option tables without the Xlib macros. */
#ifndef SOMNEL_XRM_OPTIONS_H
#define SOMNEL_XRM_OPTIONS_H

typedef struct {
    const char *option;    /* "-delay" */
    const char *specifier; /* ".delay" */
    int argKind;           /* 0: sets value; 1: takes the next argument */
    const char *value;     /* the value a no-argument switch sets, else null */
} XrmOptionDescRec;

enum { XrmoptionNoArg = 0, XrmoptionSepArg = 1 };

#endif
