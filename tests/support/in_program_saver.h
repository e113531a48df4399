// A saver that lives in the test program: its function table names a class
// and defaults and no callbacks, and a view over it hands the code under
// test (the frame-rate meter, the texture fonts) its resources, as a hack's
// view does.
#pragma once

#include "tests/support/test_support.h"

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/gl.h"
#include "platform/value.h"

#include <memory>
#include <string>
#include <vector>

// Exports <lower>_somnel_function_table for the saver "Class", whose
// resources default to `defaults` (a null-ended array of resource lines).
#define SOMNEL_TEST_SAVER(lower, Class, defaults)                                                \
    extern "C" {                                                                                 \
    SOMNEL_EXPORT_SYMBOL somnel_function_table lower##_somnel_function_table = {                  \
        Class,   defaults, nullptr, nullptr, nullptr, nullptr, nullptr,                          \
        nullptr, nullptr,  nullptr, nullptr, nullptr, nullptr};                                  \
    }

namespace testsupport {

class InProgramSaver : public ::testing::Test {
protected:
    void TearDown() override;

    // `view`: a width x height view over the saver of that name, in a bundle
    // folder of the test's own; false when it cannot be made.
    bool makeView(const std::string &name, int width, int height);
    // Stores a preference over the built-in default, for this test only.
    void setResource(const std::string &key, const platform::Value &value);
    // `dpy`: the emulated display over the view, its root window the view's size.
    void makeDisplay();
    // `ctx`: an off-screen GL context of the view's size, current, the
    // viewport covering it.
    ::testing::AssertionResult makeGLContext();

    TempDir dir;
    std::unique_ptr<SomnelView> view;
    std::vector<std::string> stored;
    std::unique_ptr<platform::GLContext> ctx;
    Display *dpy = nullptr;

private:
    int width_ = 0, height_ = 0;
};

}  // namespace testsupport
