/* Resource getters for hacks and the framework's procedural modules: typed
 * option values by resource name, colours, and time intervals. Plain C.
 * The class argument is accepted for Xlib compatibility and not used. */
#ifndef SOMNEL_RESOURCES_H
#define SOMNEL_RESOURCES_H

#include "somnel/xshim.h"

XSHIM_BEGIN_DECLS

/* A newly allocated string (free it), or null when the resource is missing. */
char *get_string_resource(Display *dpy, const char *res_name, const char *res_class);
Bool get_boolean_resource(Display *dpy, const char *res_name, const char *res_class);
int get_integer_resource(Display *dpy, const char *res_name, const char *res_class);
double get_float_resource(Display *dpy, const char *res_name, const char *res_class);

/* The resource as an allocated colour; black for a class ending in
 * "Background", else white, when it is missing or unusable. */
unsigned long get_pixel_resource(Display *dpy, Colormap cmap, const char *res_name, const char *res_class);

/* "H:MM:SS", ":MM:SS", "M:SS", ":SS" or a bare number (seconds when
 * seconds_default, else minutes) as seconds; (unsigned) -1 when invalid,
 * with a message on stderr unless silent. */
unsigned int parse_time(const char *string, Bool seconds_default, Bool silent);
/* A time resource in seconds; 0 when missing or invalid. */
unsigned int get_time_resource(Display *dpy, const char *res_name, const char *res_class,
                               Bool seconds_default);
unsigned int get_seconds_resource(Display *dpy, const char *res_name, const char *res_class);
unsigned int get_minutes_resource(Display *dpy, const char *res_name, const char *res_class);

XSHIM_END_DECLS

#endif
