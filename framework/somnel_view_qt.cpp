// The saver views' Qt-facing half: the configuration sheet a view builds
// from its saver's description, and the frame a GL view reads back. The
// Xlib-facing half is somnel_view.cpp and somnel_gl_view.cpp.
#include "framework/somnel_gl_view.h"
#include "framework/somnel_view.h"
#include "framework/sheet/somnel_config_sheet.h"

#include "platform/gl.h"

#include <QImage>

QWidget *SomnelView::configureSheet() {
    const std::string path = descriptionPath();
    if (path.empty()) return nullptr;
    // Description errors raise; the host catches them at its boundary.
    return SomnelConfigSheet::create(path, optionRows(), prefsReader_->userDefaultsController(),
                                     &prefsReader_->defaultOptions())
        .release();
}

QImage SomnelGLView::grabFrame() {
    if (!ogl_ctx) return SomnelView::grabFrame();
    return ogl_ctx->readPixels();
}
