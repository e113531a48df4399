/* xsplit N WIDTH HEIGHT: shows the X screen as N monitors of the size side
 * by side. The monitors last as long as the server does not reset (start
 * it with -noreset). */
#include "tests/onscreen/xserver.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: xsplit N WIDTH HEIGHT\n");
        return 2;
    }
    if (!xs_open(NULL)) {
        fprintf(stderr, "xsplit: cannot open the display\n");
        return 1;
    }
    int ok = xs_split_screen(atoi(argv[1]), atoi(argv[2]), atoi(argv[3]));
    xs_close();
    if (!ok) fprintf(stderr, "xsplit: the server cannot set monitors\n");
    return ok ? 0 : 1;
}
