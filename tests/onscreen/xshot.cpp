// xshot WINDOW|root OUT.png: writes what the X server holds for a window
// (its id, decimal or 0x-hex, or "root") as a PNG, to look at.
#include "tests/onscreen/xserver.h"

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: xshot WINDOW|root OUT.png\n");
        return 2;
    }
    if (!xs_open(nullptr)) {
        fprintf(stderr, "xshot: cannot open the display\n");
        return 1;
    }
    unsigned long w = strcmp(argv[1], "root") ? strtoul(argv[1], nullptr, 0) : xs_root();
    int width = 0, height = 0;
    if (!xs_size(w, &width, &height)) {
        fprintf(stderr, "xshot: no window %s\n", argv[1]);
        return 1;
    }
    QImage img(width, height, QImage::Format_RGB32);
    if (!xs_get_image(w, 0, 0, width, height, reinterpret_cast<unsigned *>(img.bits()))) {
        fprintf(stderr, "xshot: cannot read the window\n");
        return 1;
    }
    if (!img.save(argv[2], "PNG")) return 1;
    printf("%s %dx%d\n", argv[2], width, height);
    return 0;
}
