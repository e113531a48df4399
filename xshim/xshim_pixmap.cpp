// Pixmap records: creation over new memory, private copies, and freeing.
// A pixmap's memory is one 32-bit word 0xFFRRGGBB per pixel, rows of
// width * 4 bytes, top row first.
#include "xshim/xshim_pixmap.h"
#include "platform/context2d.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kBlack = 0xFF000000u;

// A pixmap record over new memory of width x height pixels (at least one,
// so that an empty pixmap still has a context), filled from `contents`
// when given, else opaque black. None when the memory cannot be had.
Pixmap makePixmap(unsigned int width, unsigned int height, int depth, const unsigned char *contents) {
    size_t mw = std::max(width, 1u), mh = std::max(height, 1u);
    if (mw > size_t(INT_MAX / 4) || mh > size_t(INT_MAX)) return nullptr;
    size_t bytes = mw * 4 * mh;
    auto *pixels = static_cast<unsigned char *>(malloc(bytes));
    if (!pixels) return nullptr;
    if (contents) {
        memcpy(pixels, contents, bytes);
    } else {
        auto *w = reinterpret_cast<uint32_t *>(pixels);
        std::fill(w, w + mw * mh, kBlack);
    }
    auto *d = new xshim_drawable{};
    d->kind = XSHIM_PIXMAP;
    d->frame[2] = width;
    d->frame[3] = height;
    d->depth = depth;
    d->pixels = pixels;
    d->owned_context = std::make_unique<platform::Context2D>(pixels, int(mw), int(mh), int(mw * 4));
    d->context = d->owned_context.get();
    if (d->context->isNull()) {
        d->owned_context.reset();
        free(pixels);
        delete d;
        xshim_abort("%s", "could not create CGBitmapContext");
    }
    return d;
}

}  // namespace

extern "C" Pixmap XCreatePixmap(Display *, Drawable, unsigned int width, unsigned int height,
                                unsigned int depth) {
    return makePixmap(width, height, int(depth), nullptr);
}

Pixmap somnel::xshim::copyPixmap(Pixmap src) {
    const platform::Context2D &from = *src->context;
    Pixmap copy = makePixmap(unsigned(src->frame[2]), unsigned(src->frame[3]), src->depth, nullptr);
    if (!copy) return nullptr;
    platform::Context2D &to = *copy->context;
    const int rows = std::min(from.height(), to.height());
    const size_t n = std::min(from.bytesPerLine(), to.bytesPerLine());
    unsigned char *bits = to.bits();
    for (int y = 0; y < rows; ++y) memcpy(bits + size_t(y) * to.bytesPerLine(), from.constScanLine(y), n);
    return copy;
}

extern "C" int XFreePixmap(Display *, Pixmap pixmap) {
    if (!pixmap || pixmap->kind != XSHIM_PIXMAP) xshim_abort("%s", "not a pixmap");
    pixmap->owned_context.reset();
    pixmap->context = nullptr;
    free(pixmap->pixels);
    delete pixmap;
    return 0;
}
