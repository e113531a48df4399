// How Drizzle filters its water textures: exact anisotropy where it is
// cheap, none on a software rasteriser unless the exact settings are asked
// for, and no anisotropy call at all on a driver without the extension.
#include "tests/drizzle/drizzle_gl.h"
#include "tests/support/test_support.h"

#include "somnel/hints.h"

#include <QImage>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

// This program's own entries: the principal class a saver declares in C
// (drizzle_view.cpp) and a framework subclass (drizzle_test.cpp).
extern "C" void *SomnelDrizzleView_create(const void *args);
extern "C" platform::ScreenSaverView *DrizzleTestView_create(const platform::ViewCreateArgs *);

using drizzletest::GLFixture;

namespace {

TEST(DrizzleFilteringRules, SoftwareRenderersAreKnownByTheirRendererText) {
    for (const char *r : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Gallium 0.4 on softpipe",
                          "Mesa X11 swrast", "Software Rasterizer", "LLVMPIPE"})
        EXPECT_TRUE(drizzle_is_software_renderer(r)) << r;
    for (const char *r : {"NVIDIA GeForce RTX 3060/PCIe/SSE2", "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)",
                          "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "virgl", ""})
        EXPECT_FALSE(drizzle_is_software_renderer(r)) << r;
    EXPECT_FALSE(drizzle_is_software_renderer(nullptr));
}

// The host's hint reaches the saver with the view's creation arguments,
// through either kind of entry, whichever way the last view set it.
TEST(DrizzleFilteringRules, TheExactHintComesWithTheCreationArguments) {
    testsupport::TempDir dir;
    auto bundle = testsupport::inProcessBundle(dir, "Drizzle");
    for (bool subclass : {false, true})
        for (bool exact : {true, false, true}) {
            platform::ViewCreateArgs args;
            args.frame = platform::Rect::make(0, 0, 32, 24);
            args.exactFiltering = exact;
            std::unique_ptr<platform::ScreenSaverView> view(
                subclass ? DrizzleTestView_create(&args)
                         : static_cast<platform::ScreenSaverView *>(SomnelDrizzleView_create(&args)));
            ASSERT_TRUE(view);
            EXPECT_EQ(somnel_exact_filtering(), exact ? 1 : 0) << (subclass ? "subclass" : "principal class");
        }
    somnel::support::setExactFiltering(false);
}

class DrizzleFiltering : public GLFixture {
protected:
    void TearDown() override {
        if (state_ && ctx_) drizzle_delete_gl_objects(state_.get());
        GLFixture::TearDown();
    }
    DrizzleState &setUpState(bool exact) {
        if (!ctx_) makeContext(64, 48);
        somnel::support::setExactFiltering(exact);
        if (state_) drizzle_delete_gl_objects(state_.get());
        state_ = std::make_unique<DrizzleState>();
        std::memset(state_.get(), 0, sizeof(DrizzleState));
        drizzle_setup_state(state_.get(), 64, 48);
        RippleDisplay(state_.get());
        return *state_;
    }
    static float anisotropyOf(GLuint texture) {
        GLfloat a = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &a);
        glBindTexture(GL_TEXTURE_2D, 0);
        return a;
    }
    std::unique_ptr<DrizzleState> state_;
};

// What the renderer is decides, not the machine the test runs on: the
// expectation follows the renderer text the context reports.
TEST_F(DrizzleFiltering, ASoftwareRendererGetsNoAnisotropyUnlessExactIsAsked) {
    DrizzleState &adapted = setUpState(false);
    if (!drizzle_has_gl_extension("GL_EXT_texture_filter_anisotropic"))
        GTEST_SKIP() << "the driver offers no anisotropic filtering";
    GLfloat maxAniso = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAniso);
    const bool software =
        drizzle_is_software_renderer(reinterpret_cast<const char *>(glGetString(GL_RENDERER))) && maxAniso > 1;
    EXPECT_EQ(adapted.bAdaptedFiltering, software ? 1 : 0);
    EXPECT_EQ(adapted.bOwnMipmaps,
              drizzle_is_software_renderer(reinterpret_cast<const char *>(glGetString(GL_RENDERER))));
    EXPECT_EQ(anisotropyOf(adapted.uNormalTex), software ? 1.0f : maxAniso);
    EXPECT_EQ(anisotropyOf(adapted.uBackgroundTex), software ? 1.0f : maxAniso);
    // The simulation textures are sampled exactly either way.
    EXPECT_EQ(anisotropyOf(adapted.uSimTex[0]), 1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    DrizzleState &exact = setUpState(true);
    EXPECT_EQ(exact.bAdaptedFiltering, 0);
    EXPECT_EQ(exact.bOwnMipmaps, 0);
    EXPECT_EQ(exact.fAnisotropy, maxAniso);
    EXPECT_EQ(anisotropyOf(exact.uNormalTex), maxAniso);
    EXPECT_EQ(anisotropyOf(exact.uBackgroundTex), maxAniso);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The shader pass that stands in for glGenerateMipmap on a software
// rasteriser must give the levels glGenerateMipmap gives. Forced on here,
// so the check runs on any renderer.
TEST_F(DrizzleFiltering, TheMipmapPassGivesTheLevelsGenerateMipmapGives) {
    g_nNumDropletsPerSecond = 600;  // plenty of ripples, so every level varies
    DrizzleState &s = setUpState(false);
    if (!s.bOwnMipmaps) {
        s.bOwnMipmaps = 1;
        glGenFramebuffersEXT(1, &s.uMipmapFBO);
    }
    for (int i = 0; i < 12; i++) {
        drizzle_advance_time(&s);
        RippleDisplay(&s);
    }
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    auto level = [&](int l) {
        std::vector<unsigned char> out(size_t(256 >> l) * size_t(256 >> l) * 4);
        glBindTexture(GL_TEXTURE_2D, s.uNormalTex);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, l, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    };
    std::vector<std::vector<unsigned char>> drawn;
    for (int l = 0; l <= 8; l++) drawn.push_back(level(l));
    glBindTexture(GL_TEXTURE_2D, s.uNormalTex);
    glGenerateMipmapEXT(GL_TEXTURE_2D);
    for (int l = 1; l <= 8; l++) {
        std::vector<unsigned char> want = level(l);
        int worst = 0, lo = 255, hi = 0;
        for (size_t i = 0; i < want.size(); i++) {
            worst = std::max(worst, std::abs(int(want[i]) - int(drawn[size_t(l)][i])));
            if (i % 4 == 0) {
                lo = std::min<int>(lo, want[i]);
                hi = std::max<int>(hi, want[i]);
            }
        }
        EXPECT_LE(worst, 1) << "level " << l;
        if (l <= 3) {
            EXPECT_GT(hi - lo, 4) << "level " << l << " is flat: the check would prove little";
        }
    }
    // The pass leaves the texture's whole level range usable.
    GLint base = -1, max = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, &base);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &max);
    EXPECT_EQ(base, 0);
    EXPECT_EQ(max, 1000);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The extension list is the one the context reports, whole names only.
TEST_F(DrizzleFiltering, ExtensionsAreMatchedByWholeName) {
    makeContext(16, 16);
    EXPECT_TRUE(drizzle_has_gl_extension("GL_ARB_framebuffer_object") ||
                drizzle_has_gl_extension("GL_EXT_framebuffer_object"));
    EXPECT_FALSE(drizzle_has_gl_extension("GL_EXT_texture_filter"));
    EXPECT_FALSE(drizzle_has_gl_extension("GL_SOMNEL_no_such_extension"));
}

// Runs in a child process whose driver hides the extension (the driver
// reads the override once per process, so the parent cannot do this).
TEST_F(DrizzleFiltering, ChildWithoutTheExtension) {
    if (!getenv("SOMNEL_DRIZZLE_HIDDEN_ANISOTROPY")) GTEST_SKIP() << "runs only as the child of the test below";
    makeContext(64, 48);
    if (drizzle_has_gl_extension("GL_EXT_texture_filter_anisotropic"))
        GTEST_SKIP() << "the driver did not hide the extension";
    while (glGetError() != GL_NO_ERROR) {
    }
    somnel::support::setExactFiltering(false);
    state_ = std::make_unique<DrizzleState>();
    std::memset(state_.get(), 0, sizeof(DrizzleState));
    drizzle_setup_state(state_.get(), 64, 48);
    RippleDisplay(state_.get());
    EXPECT_EQ(state_->fAnisotropy, 0.0f);
    EXPECT_EQ(state_->bAdaptedFiltering, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));  // no enum the driver does not know
}

std::string selfPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = 0;
    return buf;
}

int exitStatus(int rc) { return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1; }

const char kHide[] = "MESA_EXTENSION_OVERRIDE=-GL_EXT_texture_filter_anisotropic ";

TEST(DrizzleWithoutAnisotropy, SetUpLeavesNoGLError) {
    testsupport::TempDir tmp;
    std::string self = selfPath();
    ASSERT_FALSE(self.empty());
    std::string cmd = std::string(kHide) + "SOMNEL_DRIZZLE_HIDDEN_ANISOTROPY=1 '" + self +
                      "' --gtest_filter=DrizzleFiltering.ChildWithoutTheExtension >'" + tmp.file("out") + "' 2>&1";
    int rc = system(cmd.c_str());
    std::ifstream f(tmp.file("out"));
    std::string log((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(exitStatus(rc), 0) << log;
    EXPECT_NE(log.find("[  PASSED  ] 1 test"), std::string::npos) << log;
}

// The whole saver through the host with the frame-rate meter on, whose
// GL text checks the error queue: it must run and write its picture.
TEST(DrizzleWithoutAnisotropy, TheHostRendersWithTheMeterOn) {
    testsupport::TempDir tmp;
    const char *bin = getenv("SOMNEL_BIN_DIR");
    std::string config = tmp.file("config");
    ASSERT_EQ(system(("mkdir -p '" + config + "/somnel'").c_str()), 0);
    {
        std::ofstream prefs(config + "/somnel/org.somnel.savers.Drizzle.json");
        prefs << "{\"values\": {\"doFPS\": {\"bool\": true}}}\n";
    }
    std::string out = tmp.file("drizzle.png");
    std::string cmd = std::string(kHide) + "XDG_CONFIG_HOME='" + config + "' '" + std::string(bin ? bin : "bin") +
                      "/somnel' render Drizzle --frames 40 --size 160x90 --out '" + out + "' 2>'" +
                      tmp.file("err") + "'";
    int rc = system(cmd.c_str());
    std::ifstream f(tmp.file("err"));
    std::string err((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_EQ(exitStatus(rc), 0) << err;
    EXPECT_EQ(err.find("GL error"), std::string::npos) << err;
    QImage img(QString::fromStdString(out));
    ASSERT_EQ(img.size(), QSize(160, 90));
    // The meter's white text is in the picture's lower left corner.
    int white = 0;
    for (int y = 45; y < 90; y++)
        for (int x = 0; x < 80; x++) white += qRed(img.pixel(x, y)) > 240 && qGreen(img.pixel(x, y)) > 240;
    EXPECT_GT(white, 10);
}

}  // namespace
