// Client-side images, pixmaps, and moving pixels between images and
// drawables: XPutImage, XGetImage, XCopyArea, and scaled picture drawing.
//
// A pixmap's memory is one native-order word 0xFFRRGGBB per pixel, rows of
// width * 4 bytes, top row first. Depth-1 pixmaps hold black (0) and white
// (1) in the same format.
#include "xshim/xshim_private.h"
#include "xshim/xshim_draw.h"
#include "xshim/xshim_pixmap.h"
#include "platform/context2d.h"
#include "platform/geometry.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

using namespace somnel::xshim;
using platform::Painter2D;

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

void checkSize(unsigned int v, const char *what) {
    if (v >= 65535) xshim_abort("improbably large %s", what);
}

void checkPosition(int v, const char *what) {
    if (v < -65534 || v > 65534) xshim_abort("improbably large %s", what);
}

unsigned long getPixel1(XImage *image, int x, int y) {
    const unsigned char *b = reinterpret_cast<unsigned char *>(image->data) +
                             size_t(y) * size_t(image->bytes_per_line) + (x >> 3);
    return (*b >> (x & 7)) & 1;
}

int putPixel1(XImage *image, int x, int y, unsigned long pixel) {
    unsigned char *b = reinterpret_cast<unsigned char *>(image->data) +
                       size_t(y) * size_t(image->bytes_per_line) + (x >> 3);
    if (pixel)
        *b = static_cast<unsigned char>(*b | (1u << (x & 7)));
    else
        *b = static_cast<unsigned char>(*b & ~(1u << (x & 7)));
    return 0;
}

unsigned long getPixel32(XImage *image, int x, int y) {
    uint32_t w;
    memcpy(&w, image->data + size_t(y) * size_t(image->bytes_per_line) + size_t(x) * 4, 4);
    return w;
}

int putPixel32(XImage *image, int x, int y, unsigned long pixel) {
    uint32_t w = uint32_t(pixel);
    memcpy(image->data + size_t(y) * size_t(image->bytes_per_line) + size_t(x) * 4, &w, 4);
    return 0;
}

// Fills the X rectangle with opaque black or white, ignoring the rest of the
// GC: what GXclear and GXset mean for transfers.
void fillClearOrSet(Drawable d, GC gc, int x, int y, double width, double height) {
    if (!d || !d->context) xshim_abort("%s", "no CGContext");
    {
        Painter2D p(*d->context);
        p.fillRect(mapRect(d, x, y, width, height), platform::Color{gc->gcv.function == GXset ? 0xFFFFFFFFu : kBlack});
    }
    gcEnd(d);
}

}  // namespace

// ------------------------------------------------------------------ images

extern "C" XImage *XCreateImage(Display *, Visual *, unsigned int depth, int format, int,
                                char *data, unsigned int width, unsigned int height,
                                int bitmap_pad, int bytes_per_line) {
    auto *image = static_cast<XImage *>(calloc(1, sizeof(XImage)));
    if (!image) return nullptr;
    image->width = int(width);
    image->height = int(height);
    image->xoffset = 0;
    image->format = format;
    image->data = data;
    image->byte_order = MSBFirst;
    image->bitmap_unit = 8;
    image->bitmap_bit_order = MSBFirst;
    image->bitmap_pad = bitmap_pad;
    image->depth = int(depth);
    image->bytes_per_line = bytes_per_line;
    image->bits_per_pixel = depth == 1 ? 1 : 32;
    if (depth != 1) {
        image->red_mask = 0xff0000;
        image->green_mask = 0xff00;
        image->blue_mask = 0xff;
    }
    try {
        XInitImage(image);
    } catch (...) {
        free(image);
        throw;
    }
    return image;
}

extern "C" Status XInitImage(XImage *image) {
    if (image->bytes_per_line == 0)
        image->bytes_per_line = image->depth == 1 ? (image->width + 7) / 8 : image->width * 4;
    if (image->depth == 1) {
        image->get_pixel = getPixel1;
        image->put_pixel = putPixel1;
    } else if (image->depth == 24 || image->depth == 32) {
        image->get_pixel = getPixel32;
        image->put_pixel = putPixel32;
    } else {
        xshim_abort("%s", "unknown depth");
    }
    return 1;
}

extern "C" XImage *XSubImage(XImage *image, int x, int y, unsigned int width, unsigned int height) {
    XImage *sub = XCreateImage(nullptr, nullptr, unsigned(image->depth), image->format, 0, nullptr,
                               width, height, image->bitmap_pad, 0);
    if (!sub) return nullptr;
    sub->data = static_cast<char *>(calloc(std::max<size_t>(1, size_t(height) * size_t(sub->bytes_per_line)), 1));
    if (!sub->data) {
        free(sub);
        return nullptr;
    }
    // Only the true overlap is read: a rectangle reaching left of or above
    // the source leaves those result pixels zero rather than reading outside.
    for (int r = 0; r < int(height); ++r) {
        int sy = y + r;
        if (sy < 0) continue;
        if (sy >= image->height) break;
        for (int c = 0; c < int(width); ++c) {
            int sx = x + c;
            if (sx < 0) continue;
            if (sx >= image->width) break;
            sub->put_pixel(sub, c, r, image->get_pixel(image, sx, sy));
        }
    }
    return sub;
}

extern "C" int XPutPixel(XImage *image, int x, int y, unsigned long pixel) {
    return image->put_pixel(image, x, y, pixel);
}

extern "C" unsigned long XGetPixel(XImage *image, int x, int y) { return image->get_pixel(image, x, y); }

extern "C" int XDestroyImage(XImage *image) {
    if (!image) return 0;
    free(image->data);
    free(image);
    return 0;
}

extern "C" XPixmapFormatValues *XListPixmapFormats(Display *, int *count_return) {
    auto *f = static_cast<XPixmapFormatValues *>(calloc(2, sizeof(XPixmapFormatValues)));
    if (f) {
        f[0] = {32, 32, 8};
        f[1] = {1, 1, 8};
    }
    if (count_return) *count_return = f ? 2 : 0;
    return f;
}

// ----------------------------------------------------------------- pixmaps

extern "C" Pixmap XCreatePixmapFromBitmapData(Display *display, Drawable d, char *data,
                                              unsigned int width, unsigned int height,
                                              unsigned long foreground, unsigned long background,
                                              unsigned int depth) {
    Pixmap p = XCreatePixmap(display, d, width, height, depth);
    if (!p) return nullptr;
    XImage *image = XCreateImage(display, nullptr, 1, XYPixmap, 0, data, width, height, 8,
                                 int((width + 7) / 8));
    GC gc = nullptr;
    try {
        XGCValues v{};
        v.foreground = foreground;
        v.background = background;
        gc = XCreateGC(display, p, GCForeground | GCBackground, &v);
        XPutImage(display, p, gc, image, 0, 0, 0, 0, width, height);
    } catch (...) {
        if (gc) XFreeGC(display, gc);
        image->data = nullptr;
        XDestroyImage(image);
        XFreePixmap(display, p);
        throw;
    }
    XFreeGC(display, gc);
    image->data = nullptr;  // the caller's bits stay the caller's
    XDestroyImage(image);
    return p;
}

// --------------------------------------------------------------- transfers

extern "C" int XPutImage(Display *, Drawable d, GC gc, XImage *image, int src_x, int src_y,
                         int dest_x, int dest_y, unsigned int width, unsigned int height) {
    if (!gc) xshim_abort("%s", "no GC");
    checkSize(width, "width");
    checkSize(height, "height");
    checkPosition(src_x, "src_x");
    checkPosition(src_y, "src_y");
    checkPosition(dest_x, "dest_x");
    checkPosition(dest_y, "dest_y");
    if (!image || !d) return 0;

    long long w = width, h = height;
    const long long fw = (long long)d->frame[2], fh = (long long)d->frame[3];
    if (dest_x + w > fw) {
        if (dest_x > fw) return 0;
        w = fw - dest_x;
    }
    if (dest_y + h > fh) {
        if (dest_y > fh) return 0;
        h = fh - dest_y;
    }
    if (w <= 0 || h <= 0) return 0;
    // A negative source position would read before the image's memory:
    // start at its first column or row instead.
    if (src_x < 0) {
        dest_x -= src_x;
        w += src_x;
        src_x = 0;
    }
    if (src_y < 0) {
        dest_y -= src_y;
        h += src_y;
        src_y = 0;
    }
    if (src_x + w > image->width) {
        if (src_x > image->width) return 0;
        w = image->width - src_x;
    }
    if (src_y + h > image->height) {
        if (src_y > image->height) return 0;
        h = image->height - src_y;
    }
    if (w <= 0 || h <= 0) return 0;

    if (gc->gcv.function == GXclear || gc->gcv.function == GXset) {
        fillClearOrSet(d, gc, dest_x, dest_y, double(w), double(h));
        return 0;
    }
    if (!d->context) xshim_abort("%s", "no CGContext");
    const platform::Rect target = mapRect(d, dest_x, dest_y, double(w), double(h));
    const auto *bytes = reinterpret_cast<const unsigned char *>(image->data);
    const size_t bpl = size_t(image->bytes_per_line);

    if (image->bits_per_pixel == 32) {
        // Alpha is not drawn: the rows go in opaque, over whatever is there.
        d->context->drawOpaqueRows(deviceRect(d, target), bytes + size_t(src_y) * bpl + size_t(src_x) * 4, bpl,
                                   int(w), int(h));
        gcEnd(d);
        return 0;
    }

    if (src_x % 8) xshim_abort("%s", "XPutImage with non-byte-aligned 1bpp X offset not implemented");
    {
        Painter2D p = gcBegin(d, gc, true);
        validate_pixel(gc->gcv.background, unsigned(gc->depth), false);
        const platform::Color fg = p.fill();
        const platform::Color bg = pixelColor(gc->gcv.background, unsigned(gc->depth));
        const platform::DeviceRect dev = deviceRect(d, target);
        const int atX = platform::roundToInt(dev.x), atY = platform::roundToInt(dev.y);
        // Each pixel is painted once, with the foreground or the
        // background, so the GC's function sees one source colour per pixel.
        p.save();
        p.clipToMask(bytes, bpl, src_x, src_y, int(w), int(h), atX, atY, true);
        p.fillRect(target, fg);
        p.restore();
        p.save();
        p.clipToMask(bytes, bpl, src_x, src_y, int(w), int(h), atX, atY, false);
        p.fillRect(target, bg);
        p.restore();
    }
    gcEnd(d);
    return 0;
}

extern "C" XImage *XGetImage(Display *, Drawable d, int x, int y, unsigned int width,
                             unsigned int height, unsigned long, int) {
    checkSize(width, "width");
    checkSize(height, "height");
    checkPosition(x, "x");
    checkPosition(y, "y");
    const bool pixmap = d && d->kind == XSHIM_PIXMAP;
    const char *failure =
        pixmap ? "CGBitmapContextGetData failed" : "NSBitmapImageRep initWithFocusedViewRect failed";
    if (!d || !d->context || d->context->isNull()) xshim_abort("%s", failure);
    const platform::Context2D &src = *d->context;
    // Depths other than 1, 24 and 32 draw as colour, and read back as 32.
    int depth = pixmap ? d->depth : 32;
    if (depth != 1 && depth != 24) depth = 32;

    XImage *image = XCreateImage(nullptr, nullptr, unsigned(depth), depth == 1 ? XYPixmap : ZPixmap, 0,
                                 nullptr, width, height, depth == 1 ? 8 : 32, 0);
    if (!image) return nullptr;
    image->data = static_cast<char *>(
        calloc(std::max<size_t>(1, size_t(height) * size_t(image->bytes_per_line)), 1));
    if (!image->data) {
        free(image);
        return nullptr;
    }
    // X coordinates, top-left origin, for the window as for pixmaps; pixels
    // outside the drawable read as black.
    const platform::DeviceRect dev = deviceRect(d, mapRect(d, x, y, width, height));
    const int ox = platform::roundToInt(dev.x), oy = platform::roundToInt(dev.y);
    // The drawable's pixels inside the image, inclusive bounds.
    const platform::PixelRect fr = platform::toPixelRect(deviceRect(d, mapRect(d, 0, 0, d->frame[2], d->frame[3])));
    const int left = std::max(0, fr.x), right = std::min(src.width() - 1, fr.x + fr.width - 1);
    const int top = std::max(0, fr.y), bottom = std::min(src.height() - 1, fr.y + fr.height - 1);
    for (int r = 0; r < int(height); ++r) {
        const int sy = oy + r;
        const uint32_t *line = sy >= top && sy <= bottom ? src.constScanLine(sy) : nullptr;
        for (int c = 0; c < int(width); ++c) {
            const int sx = ox + c;
            uint32_t word = line && sx >= left && sx <= right ? line[sx] : kBlack;
            if (depth == 1)
                image->put_pixel(image, c, r, (word >> 8) & 0xFF ? 1 : 0);
            else
                image->put_pixel(image, c, r, word);
        }
    }
    return image;
}

extern "C" int XCopyArea(Display *, Drawable src, Drawable dst, GC gc, int src_x, int src_y,
                         unsigned int width, unsigned int height, int dst_x, int dst_y) {
    if (!gc) xshim_abort("%s", "no GC");
    checkSize(width, "width");
    checkSize(height, "height");
    checkPosition(src_x, "src_x");
    checkPosition(src_y, "src_y");
    checkPosition(dst_x, "dst_x");
    checkPosition(dst_y, "dst_y");
    if (width == 0 || height == 0) return 0;
    if (gc->gcv.function == GXclear || gc->gcv.function == GXset) {
        fillClearOrSet(dst, gc, dst_x, dst_y, width, height);
        return 0;
    }
    if (!src || !src->context || !dst) xshim_abort("%s", "no CGContext");

    double w = width, h = height;
    double sx = src->frame[0] + src_x, sy = src->frame[1] + src->frame[3] - h - src_y;
    if (float(sy) < -65535) xshim_abort("%s", "src.origin.y went nuts");
    double dx = dst->frame[0] + dst_x, dy = dst->frame[1] + dst->frame[3] - h - dst_y;
    if (float(dy) < -65535) xshim_abort("%s", "dst.origin.y went nuts");
    const platform::Rect whole = platform::Rect::make(dx, dy, w, h);

    // Cut the rectangles to both drawables (context coordinates, y up).
    bool clipped = false;
    const double dRight = dst->frame[0] + dst->frame[2], dTop = dst->frame[1] + dst->frame[3];
    const double sRight = src->frame[0] + src->frame[2], sTop = src->frame[1] + src->frame[3];
    if (float(dx) < 0) { w += dx; sx -= dx; dx = 0; clipped = true; }
    if (float(dx + w) > float(dRight)) { w -= dx + w - dRight; clipped = true; }
    if (float(dy) < 0) { h += dy; sy -= dy; dy = 0; clipped = true; }
    if (float(dy + h) > float(dTop)) { h -= dy + h - dTop; clipped = true; }
    if (float(sx) < 0) { w += sx; dx -= sx; sx = 0; clipped = true; }
    if (float(sx + w) > float(sRight)) { w -= sx + w - sRight; clipped = true; }
    if (float(sy) < 0) { h += sy; dy -= sy; sy = 0; clipped = true; }
    if (float(sy + h) > float(sTop)) { h -= sy + h - sTop; clipped = true; }
    if (w <= 0 || h <= 0) return 0;

    const platform::DeviceRect devS{sx, src->context->height() - sy - h, w, h};
    const platform::Rect D = platform::Rect::make(dx, dy, w, h);

    if (src->kind == XSHIM_PIXMAP) {
        // One snapshot serves every copy until the pixmap is drawn into;
        // it also makes a copy onto itself read the pixels as they were.
        src->context->takeSnapshot();
        if (src->depth == 1) {
            if (!dst->context) xshim_abort("%s", "no CGC with 1-bit XCopyArea");
            {
                Painter2D p = push_color_gc(dst, gc, gc->gcv.background, gc->gcv.antialias_p, true);
                p.fillRect(whole);
                validate_pixel(gc->gcv.foreground, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
                const platform::Color fg = pixelColor(gc->gcv.foreground, unsigned(gc->depth));
                const platform::DeviceRect devD = deviceRect(dst, D);
                p.clipToLightPixels(*src->context, devS, platform::roundToInt(devD.x), platform::roundToInt(devD.y));
                p.fillRect(D, fg);
            }
            gcEnd(dst);
            return 0;
        }
        {
            Painter2D p = push_gc(dst, gc);
            if (clipped) {
                validate_pixel(gc->gcv.background, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
                p.fillRect(whole, pixelColor(gc->gcv.background, unsigned(gc->depth)));
            }
            p.drawSnapshot(*src->context, deviceRect(dst, D), devS);
        }
        gcEnd(dst);
        return 0;
    }

    // The window: the clipped source is read before anything is drawn, and
    // the piece is not kept.
    src->context->takeSnapshot(devS);
    {
        Painter2D p = push_gc(dst, gc);
        if (clipped) {
            validate_pixel(gc->gcv.background, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
            p.fillRect(whole, pixelColor(gc->gcv.background, unsigned(gc->depth)));
        }
        p.drawSnapshot(*src->context, deviceRect(dst, D));
    }
    src->context->dropSnapshot();
    gcEnd(dst);
    return 0;
}

extern "C" int XCopyPlane(Display *display, Drawable src, Drawable dst, GC gc, int src_x, int src_y,
                          unsigned int width, unsigned int height, int dst_x, int dst_y,
                          unsigned long plane) {
    if (gc && gc->depth != 1 && plane != 1) xshim_abort("%s", "hairy plane mask!");
    return XCopyArea(display, src, dst, gc, src_x, src_y, width, height, dst_x, dst_y);
}

// ------------------------------------------------------ scaled pictures

extern "C" int xshim_draw_NSImage_or_CGImage(Display *, Drawable d, Bool is_platform_object_image,
                                             void *image, XRectangle *geometry_return,
                                             int orientation) {
    if (!d || !d->context) xshim_abort("%s", "no CGContext");
    if (!image) return 0;
    const platform::Size picture = platform::pictureSize(image);
    const bool turned = orientation >= 5 && orientation <= 8;
    const double w = picture.width, h = picture.height;
    const double ew = turned ? h : w, eh = turned ? w : h;
    const double dw = d->frame[2], dh = d->frame[3];
    const double scale = std::min(float(dw / ew), float(dh / eh));
    const double drawnW = ew * scale, drawnH = eh * scale;
    const double xOff = (dw - drawnW) / 2, yOff = (dh - drawnH) / 2;

    // Clear first: a pixmap to black, the window to its background.
    if (d->kind == XSHIM_PIXMAP) {
        Painter2D p(*d->context);
        p.fillRect(mapRect(d, 0, 0, dw, dh), platform::Color{kBlack});
    } else {
        set_color(d->context, d->background, 32, false, true);
        d->context->fillRect(mapRect(d, 0, 0, int(dw), int(dh)));
    }

    const double m = turned ? drawnH : drawnW, o = turned ? drawnW : drawnH;
    {
        // The offsets count from the drawable's own corner, so a window
        // that does not sit at its context's origin shows the picture too.
        Painter2D p(*d->context);
        p.drawPicture(image, is_platform_object_image, m, o, orientation, d->frame[0] + xOff, d->frame[1] + yOff);
    }
    if (geometry_return) {
        geometry_return->x = short(int(xOff));
        geometry_return->y = short(int(yOff));
        geometry_return->width = static_cast<unsigned short>(int(drawnW));
        geometry_return->height = static_cast<unsigned short>(int(drawnH));
    }
    gcEnd(d);
    return 0;
}
