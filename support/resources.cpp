// Colour and time-interval resources, over the string resource getter.
#include "somnel/resources.h"

#include "somnel/somnel_function_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

extern "C" unsigned long get_pixel_resource(Display *dpy, Colormap cmap, const char *res_name,
                                            const char *res_class) {
    XColor color;
    char *s = get_string_resource(dpy, res_name, res_class);
    bool told = false;
    if (s) {
        // Trailing blanks and tabs, but never the first character.
        for (size_t n = strlen(s); n > 1 && (s[n - 1] == ' ' || s[n - 1] == '\t'); n--) s[n - 1] = 0;
        if (!XParseColor(dpy, cmap, s, &color)) {
            fprintf(stderr, "%s: can't parse color %s", progname, s);
            told = true;
        } else if (!XAllocColor(dpy, cmap, &color)) {
            fprintf(stderr, "%s: couldn't allocate color %s", progname, s);
            told = true;
        } else {
            free(s);
            return color.pixel;
        }
        free(s);
    }

    size_t len = res_class ? strlen(res_class) : 0;
    bool black = len >= 10 && !strcasecmp(res_class + len - 10, "Background");
    const char *fallback = black ? "black" : "white";
    if (told) fprintf(stderr, ": using %s.\n", fallback);

    memset(&color, 0, sizeof color);
    color.red = color.green = color.blue = black ? 0 : 0xFFFF;
    color.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(dpy, cmap, &color)) return color.pixel;
    fprintf(stderr, "%s: couldn't allocate %s either!\n", progname, fallback);
    return 0;
}

extern "C" unsigned int parse_time(const char *string, Bool seconds_default, Bool silent) {
    unsigned int h = 0, m = 0, s = 0;
    char c;
    if (!string) string = "";
    bool minutesOnly = false;
    if (sscanf(string, " %u : %2u : %2u %c", &h, &m, &s, &c) == 3) {
    } else if (sscanf(string, " : %2u : %2u %c", &m, &s, &c) == 2) {
        h = 0;
    } else if (sscanf(string, " %u : %2u %c", &m, &s, &c) == 2) {
        h = 0;
    } else if (sscanf(string, " : %2u %c", &s, &c) == 1) {
        h = m = 0;
    } else if (sscanf(string, " %u %c", &s, &c) == 1) {
        if (seconds_default) {
            h = m = 0;
        } else {
            m = s;
            h = s = 0;
            minutesOnly = true;
        }
    } else {
        if (!silent) fprintf(stderr, "%s: invalid time interval specification \"%s\".\n", progname, string);
        return (unsigned int)-1;
    }
    if (!minutesOnly && s >= 60 && (h != 0 || m != 0)) {
        if (!silent) fprintf(stderr, "%s: seconds > 59 in \"%s\".\n", progname, string);
        return (unsigned int)-1;
    }
    if (m >= 60 && h > 0) {
        if (!silent) fprintf(stderr, "%s: minutes > 59 in \"%s\".\n", progname, string);
        return (unsigned int)-1;
    }
    return h * 3600 + m * 60 + s;
}

extern "C" unsigned int get_time_resource(Display *dpy, const char *res_name, const char *res_class,
                                          Bool seconds_default) {
    char *s = get_string_resource(dpy, res_name, res_class);
    if (!s) return 0;
    unsigned int t = parse_time(s, seconds_default, False);
    free(s);
    return int(t) < 0 ? 0 : t;
}

extern "C" unsigned int get_seconds_resource(Display *dpy, const char *res_name, const char *res_class) {
    return get_time_resource(dpy, res_name, res_class, True);
}

extern "C" unsigned int get_minutes_resource(Display *dpy, const char *res_name, const char *res_class) {
    return get_time_resource(dpy, res_name, res_class, False);
}
