#include "tests/support/in_program_saver.h"

#include "platform/geometry.h"
#include "platform/preferences.h"
#include "xshim/xshim_view.h"

#include <GL/gl.h>

namespace testsupport {

bool InProgramSaver::makeView(const std::string &name, int width, int height) {
    width_ = width;
    height_ = height;
    view = SomnelView::create(platform::Rect::make(0, 0, width, height), nullptr, false, inProcessBundle(dir, name));
    return view != nullptr;
}

void InProgramSaver::setResource(const std::string &key, const platform::Value &value) {
    view->prefsReader()->userDefaults()->setObject(key, value);
    stored.push_back(key);
}

void InProgramSaver::makeDisplay() {
    dpy = xshim_make_display(view.get(), nullptr);
    xshim_window_resized(dpy, XRootWindow(dpy, 0), 0, 0, width_, height_, nullptr);
}

::testing::AssertionResult InProgramSaver::makeGLContext() {
    std::string error;
    ctx = platform::GLContext::create(platform::GLFormat{}, view.get(), &error);
    if (!ctx) return ::testing::AssertionFailure() << "no GL context: " << error;
    if (!ctx->makeCurrent()) return ::testing::AssertionFailure() << "the GL context cannot be made current";
    glViewport(0, 0, width_, height_);
    return ::testing::AssertionSuccess();
}

void InProgramSaver::TearDown() {
    if (dpy) xshim_free_display(dpy);
    dpy = nullptr;
    for (const std::string &key : stored) view->prefsReader()->userDefaults()->removeObjectForKey(key);
    stored.clear();
    if (ctx) platform::GLContext::clearCurrent();
}

}  // namespace testsupport
