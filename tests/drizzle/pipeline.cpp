// Drizzle's GPU passes, checked by reading textures and pixels back and
// comparing them with values computed from the shaders' formulas.
#include "tests/drizzle/drizzle_gl.h"
#include "tests/support/test_support.h"
#include "platform/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using drizzletest::GLFixture;
using drizzletest::readTexture8;
using drizzletest::readTextureF;
using drizzletest::readWindow;

namespace {

class DrizzlePipeline : public GLFixture {
protected:
    // What init does once it has a context: set up, then the first frame.
    void init(int width = 64, int height = 48) {
        makeContext(width, height);
        state_ = std::make_unique<DrizzleState>();
        std::memset(state_.get(), 0, sizeof(DrizzleState));
        drizzle_setup_state(state_.get(), width, height);
        RippleDisplay(state_.get());
    }
    void frame() {
        drizzle_advance_time(state_.get());
        RippleDisplay(state_.get());
    }
    void TearDown() override {
        if (state_ && ctx_) drizzle_delete_gl_objects(state_.get());
        GLFixture::TearDown();
    }
    // Largest distance of any simulation channel (r, g, b) from rest.
    static float maxFromRest(const std::vector<float> &t) {
        float m = 0;
        for (size_t i = 0; i < t.size(); i += 4)
            for (int c = 0; c < 3; c++) m = std::max(m, std::fabs(t[i + c] - 0.5f));
        return m;
    }

    std::unique_ptr<DrizzleState> state_;
};

// The rain-drop shader and the source-alpha blend over water at rest.
double dropletTexel(double u, double v, double age) {
    double dx = u * 2 - 1, dy = v * 2 - 1;
    double dist = std::clamp(std::sqrt(dx * dx + dy * dy), 0.0, 1.0);
    double mask = std::clamp(1.0 - dist * 1.1 - 0.1, 0.0, 1.0);
    double pulse = std::sin(age * 3.14159 * 3.0) * mask * 2.0 + 0.5;
    double enc = 0.5 + 0.5 * std::clamp(pulse, -1.0, 1.0);
    return enc * mask + 0.5 * (1.0 - mask);
}

double smoothstep(double a, double b, double x) {
    double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

TEST_F(DrizzlePipeline, InitSetsUpTexturesAndLeavesWaterAtRest) {
    init();
    DrizzleState &s = *state_;
    EXPECT_EQ(s.nSimSize, 256);
    EXPECT_EQ(s.nBackgroundHeight, 48);
    EXPECT_EQ(s.nCurrentSim, 0);
    EXPECT_EQ(s.nDebugView, -1);
    EXPECT_EQ(s.bResetPending, 0);
    EXPECT_EQ(s.bNewColors, 0);  // the first frame started a transition
    EXPECT_EQ(s.fGradientTime, 0.0f);
    for (const Droplet &d : s.aDroplets) ASSERT_GE(d.fAge, 0.5f);

    // Formats, filters, wrap modes and anisotropy as set up.
    GLfloat maxAniso = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAniso);
    struct Expect {
        GLuint tex;
        GLint format, minF, magF, wrap, w, h;
        bool aniso;
    } expect[] = {
        {s.uNormalTex, GL_RGBA8, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT, 256, 256, true},
        {s.uSimTex[0], GL_RGBA16F_ARB, GL_NEAREST, GL_NEAREST, GL_REPEAT, 256, 256, false},
        {s.uSimTex[1], GL_RGBA16F_ARB, GL_NEAREST, GL_NEAREST, GL_REPEAT, 256, 256, false},
        {s.uBackgroundTex, GL_RGBA8, GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, 1, 48, true},
    };
    for (const Expect &e : expect) {
        glBindTexture(GL_TEXTURE_2D, e.tex);
        GLint v = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &v);
        EXPECT_EQ(v, e.format);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &v);
        EXPECT_EQ(v, e.w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &v);
        EXPECT_EQ(v, e.h);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
        EXPECT_EQ(v, e.minF);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &v);
        EXPECT_EQ(v, e.magF);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &v);
        EXPECT_EQ(v, e.wrap);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v);
        EXPECT_EQ(v, e.wrap);
        GLfloat a = 0;
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &a);
        EXPECT_EQ(a, e.aniso ? maxAniso : 1.0f);
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    for (GLuint tex : s.uSimTex) {
        std::vector<float> t = readTextureF(tex);
        EXPECT_EQ(maxFromRest(t), 0.0f);
    }
    // The frame leaves the window's framebuffer and the full viewport.
    GLint fbo = -1, vp[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &fbo);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fbo, 0);
    EXPECT_EQ(vp[2], 64);
    EXPECT_EQ(vp[3], 48);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrizzlePipeline, ShaderLogsArePrintedUnderTheirNames) {
    // Valid sources compile and link without a word.
    EXPECT_EQ(testsupport::captureStderr([&] { init(); }), "");
    GLhandleARB bad = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    const char *src = "void main() { gl_FragColor = undeclared; }";
    glShaderSourceARB(bad, 1, &src, nullptr);
    glCompileShaderARB(bad);
    std::string named = testsupport::captureStderr([&] { PrintShaderCompilationLog("Gradient FS", bad); });
    EXPECT_EQ(named.rfind("Gradient FS :\n ", 0), 0u) << named;
    EXPECT_NE(named.find("undeclared"), std::string::npos) << named;
    std::string unnamed = testsupport::captureStderr([&] { PrintShaderCompilationLog(nullptr, bad); });
    EXPECT_EQ(unnamed.rfind("Unknown :\n ", 0), 0u) << unnamed;
    glDeleteObjectARB(bad);
}

TEST_F(DrizzlePipeline, WithoutRainTheWaterStaysAtRestAndNormalsPointUp) {
    g_nNumDropletsPerSecond = 0;
    init();
    for (int i = 0; i < 40; i++) frame();
    for (GLuint tex : state_->uSimTex) EXPECT_LE(maxFromRest(readTextureF(tex)), 1e-3f);
    for (const Droplet &d : state_->aDroplets) ASSERT_GE(d.fAge, 0.5f);
    std::vector<unsigned char> n = readTexture8(state_->uNormalTex);
    for (size_t i = 0; i < n.size(); i += 4) {
        ASSERT_NEAR(n[i], 127.5, 0.5) << i;
        ASSERT_NEAR(n[i + 1], 127.5, 0.5) << i;
        ASSERT_EQ(n[i + 2], 255) << i;
    }
}

TEST_F(DrizzlePipeline, ADropletWritesThePulseBlendedByItsMask) {
    g_nNumDropletsPerSecond = 0;
    init();
    DrizzleState &s = *state_;
    // A droplet centred on a texel corner covers texels 126..129 both ways.
    s.aDroplets[7] = Droplet{0.0f, 0.0f, 0.3f};
    frame();
    EXPECT_FLOAT_EQ(s.aDroplets[7].fAge, 0.3f + DRIZZLE_FRAME_TIME);
    std::vector<float> t = readTextureF(s.uSimTex[0]);
    const double age = 2 * 0.3f;
    int covered = 0;
    for (int y = 120; y < 136; y++)
        for (int x = 120; x < 136; x++) {
            const float *p = &t[(size_t(y) * 256 + size_t(x)) * 4];
            double want = 0.5;
            if (x >= 126 && x <= 129 && y >= 126 && y <= 129) {
                want = dropletTexel((x - 126 + 0.5) / 4, (y - 126 + 0.5) / 4, age);
                covered += want != 0.5;
            }
            for (int c = 0; c < 3; c++) ASSERT_NEAR(p[c], want, 2e-3) << x << "," << y << " ch " << c;
        }
    EXPECT_EQ(covered, 12);  // the four corner texels lie outside the disc
    // Nothing else changed.
    float far = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            if (x < 120 || x >= 136 || y < 120 || y >= 136)
                for (int c = 0; c < 3; c++) far = std::max(far, std::fabs(t[(y * 256 + x) * 4 + c] - 0.5f));
    EXPECT_EQ(far, 0.0f);
}

TEST_F(DrizzlePipeline, ARippleFrontTravelsAtTheWaveSpeed) {
    g_nNumDropletsPerSecond = 0;
    init();
    DrizzleState &s = *state_;
    s.aDroplets[0] = Droplet{0.0f, 0.0f, 0.0f};
    // The outermost radius at which the height differs from rest by more
    // than a tenth of the current peak, about the droplet's centre.
    auto front = [&] {
        std::vector<float> t = readTextureF(s.uSimTex[0]);
        float peak = 0;
        for (size_t i = 0; i < t.size(); i += 4) peak = std::max(peak, std::fabs(t[i] - 0.5f));
        double r = 0;
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++)
                if (std::fabs(t[(size_t(y) * 256 + size_t(x)) * 4] - 0.5f) > 0.1f * peak)
                    r = std::max(r, std::hypot(x + 0.5 - 128, y + 0.5 - 128));
        return r;
    };
    for (int i = 0; i < 20; i++) frame();
    double r20 = front();
    for (int i = 0; i < 60; i++) frame();
    double r80 = front();
    double perFrame = (r80 - r20) / 60;
    // sqrt(200) texels per simulated second, two steps of 1/30 s a frame:
    // 0.943 texel a frame. The grid's dispersion slows a pulse this narrow
    // (about 8 texels) to some 0.9; one step a frame would give 0.47.
    RecordProperty("texels_per_frame", std::to_string(perFrame));
    EXPECT_NEAR(perFrame, std::sqrt(200.0) / 15.0, 0.07);
}

TEST_F(DrizzlePipeline, RainFillsFreeSlotsOnly) {
    g_nNumDropletsPerSecond = 30 * 600;  // mean 600 a frame: more than the slots
    init();
    frame();
    int busy = 0;
    for (const Droplet &d : state_->aDroplets) {
        if (d.fAge >= 0.5f) continue;
        busy++;
        EXPECT_GE(d.fX, -1.0f);
        EXPECT_LE(d.fX, 1.0f);
        EXPECT_GE(d.fY, -1.0f);
        EXPECT_LE(d.fY, 1.0f);
        // Emitted in 0..0.25 and aged once in this frame.
        EXPECT_GE(d.fAge, DRIZZLE_FRAME_TIME);
        EXPECT_LE(d.fAge, 0.25f + DRIZZLE_FRAME_TIME);
    }
    EXPECT_GT(busy, 0);
    EXPECT_GT(maxFromRest(readTextureF(state_->uSimTex[0])), 0.01f);
}

TEST_F(DrizzlePipeline, NegativeRainRateEmitsNothing) {
    g_nNumDropletsPerSecond = -100;
    init();
    for (int i = 0; i < 5; i++) frame();
    for (const Droplet &d : state_->aDroplets) ASSERT_GE(d.fAge, 0.5f);
}

TEST_F(DrizzlePipeline, ZeroRippleHeightGivesFlatNormalsNotNaN) {
    g_nNumDropletsPerSecond = 0;
    g_fRippleHeight = 0.0f;
    init();
    state_->aDroplets[0] = Droplet{0.0f, 0.0f, 0.1f};
    for (int i = 0; i < 3; i++) frame();
    std::vector<float> n = readTextureF(state_->uNormalTex);
    for (size_t i = 0; i < n.size(); i += 4) {
        ASSERT_FALSE(std::isnan(n[i]) || std::isnan(n[i + 1]) || std::isnan(n[i + 2]));
        ASSERT_NEAR(n[i + 2], 1.0, 1.0 / 255);
    }
    // With the default height the same droplet tilts the normals.
    g_fRippleHeight = 2.0f;
    frame();
    n = readTextureF(state_->uNormalTex);
    float minZ = 1;
    for (size_t i = 0; i < n.size(); i += 4) minZ = std::min(minZ, n[i + 2]);
    EXPECT_LT(minZ, 0.99f);
}

TEST_F(DrizzlePipeline, ResolutionCodeIsClampedToTheOfferedSizes) {
    g_nSimResolutionEnum = -1;
    EXPECT_EQ(drizzle_sim_size(), 256);
    g_nSimResolutionEnum = 3;
    EXPECT_EQ(drizzle_sim_size(), 2048);
    g_nSimResolutionEnum = 7;
    EXPECT_EQ(drizzle_sim_size(), 2048);
    g_nSimResolutionEnum = 40;
    EXPECT_EQ(drizzle_sim_size(), 2048);
}

// ---------------------------------------------------------- the gradient

// Bottom and top rows of the gradient for the state's current blend.
void expectGradientRows(const DrizzleState &s, double e) {
    int h = 0;
    std::vector<unsigned char> g = readTexture8(s.uBackgroundTex, nullptr, &h);
    ASSERT_EQ(h, s.nBackgroundHeight);
    const float *sb = s.bToneAAtBottom ? s.vToneA : s.vToneB;
    const float *st = s.bToneAAtBottom ? s.vToneB : s.vToneA;
    const float *nb = s.bNextToneAAtBottom ? s.vNextToneA : s.vNextToneB;
    const float *nt = s.bNextToneAAtBottom ? s.vNextToneB : s.vNextToneA;
    for (int row : {0, h - 1}) {
        double w = smoothstep(0, 1, (row + 0.5) / h);
        for (int c = 0; c < 3; c++) {
            double bottom = (1 - e) * sb[c] + e * nb[c];
            double top = (1 - e) * st[c] + e * nt[c];
            double want = std::min(1.0, bottom * (1 - w) + top * w) * 255;
            EXPECT_NEAR(g[size_t(row) * 4 + size_t(c)], want, 1.0) << "row " << row << " ch " << c;
        }
        EXPECT_EQ(g[size_t(row) * 4 + 3], 255);
    }
}

TEST_F(DrizzlePipeline, GradientRowsHoldTheBlendedColours) {
    init();
    DrizzleState &s = *state_;
    expectGradientRows(s, 0.0);
    for (int i = 0; i < 200; i++) frame();
    double c = double(s.fGradientTime) / 15.0;
    expectGradientRows(s, c * c * (3 - 2 * c));

    // Bright tones appear clamped to 1.
    const float bright[3] = {1.8f, 1.2f, 0.25f};
    std::copy(bright, bright + 3, s.vToneA);
    std::copy(bright, bright + 3, s.vToneB);
    std::copy(bright, bright + 3, s.vNextToneA);
    std::copy(bright, bright + 3, s.vNextToneB);
    frame();
    std::vector<unsigned char> g = readTexture8(s.uBackgroundTex);
    EXPECT_EQ(g[0], 255);
    EXPECT_EQ(g[1], 255);
    EXPECT_NEAR(g[2], 0.25 * 255, 1.0);
}

TEST_F(DrizzlePipeline, ANewTransitionStartsOnThe450thFrame) {
    init();
    DrizzleState &s = *state_;
    float target[3];
    std::copy(s.vNextToneA, s.vNextToneA + 3, target);
    int started = 0;
    for (int i = 1; i <= 460 && !started; i++) {
        frame();
        if (s.fGradientTime == 0.0f) started = i;
    }
    EXPECT_EQ(started, 450);
    // The pair just reached is the next transition's start: no jump.
    EXPECT_EQ(s.vToneA[0], target[0]);
    EXPECT_EQ(s.vToneA[2], target[2]);
}

TEST_F(DrizzlePipeline, NonPositiveTransitionTimeIsGuarded) {
    g_fGradientTransitionTime = 0.0f;
    EXPECT_EQ(drizzle_transition_time(), 1.0f);
    g_fGradientTransitionTime = -3.0f;
    EXPECT_EQ(drizzle_transition_time(), 1.0f);
    g_fGradientTransitionTime = NAN;
    EXPECT_EQ(drizzle_transition_time(), 15.0f);
    g_fGradientTransitionTime = 0.0f;
    init();
    for (int i = 0; i < 10; i++) frame();
    std::vector<unsigned char> g = readTexture8(state_->uBackgroundTex);
    // One-second blends: ten frames in, no new transition, finite colours.
    EXPECT_NEAR(state_->fGradientTime, 10 * DRIZZLE_FRAME_TIME, 1e-5);
    double c = double(state_->fGradientTime);
    expectGradientRows(*state_, c * c * (3 - 2 * c));
}

// Sets up a transition whose ends would swap, with tones scripted through
// the generator, and a start pair chosen so that the midpoint difference
// is exactly `d`.
int orientationAfterSwapTest(DrizzleState &s, float startRed) {
    // Start pair (the present target): A at the top, B at the bottom.
    s.bNextToneAAtBottom = 0;
    const float a[3] = {0, 0, 0};
    const float b[3] = {startRed, 0, 0};
    std::copy(a, a + 3, s.vNextToneA);
    std::copy(b, b + 3, s.vNextToneB);
    s.bNewColors = 1;
    // kr kg kb b y alpha beta: both new tones (0.25, 0.25, 0.25); then the
    // orientation draw 0.75 puts the new A at the bottom: a swap.
    drizzletest::scriptRandom({0.5, 0.5, 0.5, 0, 0, 0.5, 0.5, 0.75});
    drizzle_gradient_pass(&s);
    EXPECT_EQ(s.vNextToneA[0], 0.25f);
    EXPECT_EQ(s.vNextToneB[0], 0.25f);
    return s.bNextToneAAtBottom;
}

TEST_F(DrizzlePipeline, MidpointDifferenceOfExactlyHalfRefusesTheSwap) {
    init();
    // Midpoints: bottom 0.5 * startRed + 0.125, top 0.125: d = startRed / 2.
    EXPECT_EQ(orientationAfterSwapTest(*state_, 1.0f), 0);
    EXPECT_EQ(orientationAfterSwapTest(*state_, 1.0f + 1.0f / 64), 1);
    const float x[3] = {1, 0, 0}, z[3] = {0, 0, 0};
    EXPECT_EQ(drizzle_midpoint_difference(x, z, z, z), 0.5f);
}

TEST_F(DrizzlePipeline, GoochTonesFollowTheDrawOrder) {
    drizzletest::scriptRandom({0.5, 0.25, 0.75, 0.125, 0.0625, 0.5, 1.0 - 1.0 / 8});
    float cool[3], warm[3];
    GenerateRandomGoochTones(cool, warm);
    EXPECT_EQ(cool[0], 0.25f);
    EXPECT_EQ(cool[1], 0.125f);
    EXPECT_EQ(cool[2], 0.125f + 0.375f);
    EXPECT_EQ(warm[0], 0.875f * 0.5f + 0.0625f);
    EXPECT_EQ(warm[1], 0.875f * 0.25f + 0.0625f);
    EXPECT_EQ(warm[2], 0.875f * 0.75f);
}

// ---------------------------------------------------------- camera, composite

// The camera's matrix as gluPerspective and gluLookAt define it.
void expectedMVP(double aspect, double m[16]) {
    double f = 1.0 / std::tan(45.0 * M_PI / 360.0), zn = double(0.1f), zf = 100.0;
    double p[16] = {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (zf + zn) / (zn - zf), -1,
                    0, 0, 2 * zf * zn / (zn - zf), 0};
    double eye[3] = {0, -1, 0.125}, fw[3] = {0, 2, -1.125}, up[3] = {0, 1, 0};
    double fl = std::sqrt(fw[0] * fw[0] + fw[1] * fw[1] + fw[2] * fw[2]);
    for (double &v : fw) v /= fl;
    double sd[3] = {fw[1] * up[2] - fw[2] * up[1], fw[2] * up[0] - fw[0] * up[2], fw[0] * up[1] - fw[1] * up[0]};
    double sl = std::sqrt(sd[0] * sd[0] + sd[1] * sd[1] + sd[2] * sd[2]);
    for (double &v : sd) v /= sl;
    double u[3] = {sd[1] * fw[2] - sd[2] * fw[1], sd[2] * fw[0] - sd[0] * fw[2], sd[0] * fw[1] - sd[1] * fw[0]};
    double mv[16] = {sd[0], u[0], -fw[0], 0, sd[1], u[1], -fw[1], 0, sd[2], u[2], -fw[2], 0, 0, 0, 0, 1};
    for (int r = 0; r < 3; r++) {  // translate by -eye
        mv[12 + r] = -(mv[r] * eye[0] + mv[4 + r] * eye[1] + mv[8 + r] * eye[2]);
    }
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++) {
            m[c * 4 + r] = 0;
            for (int k = 0; k < 4; k++) m[c * 4 + r] += p[k * 4 + r] * mv[c * 4 + k];
        }
}

TEST_F(DrizzlePipeline, AResizeChangesViewportAndAspectNotTheGradient) {
    init(64, 48);
    DrizzleState &s = *state_;
    double m[16];
    expectedMVP(64.0 / 48.0, m);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(s.mMVP[i], m[i], 1e-5) << i;

    view_->setFrameSize(platform::Size{80, 40});
    ctx_->update(view_.get());
    ASSERT_TRUE(ctx_->makeCurrent());
    drizzle_set_camera(&s, 80, 40);
    frame();
    expectedMVP(2.0, m);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(s.mMVP[i], m[i], 1e-5) << i;
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 80);
    EXPECT_EQ(vp[3], 40);
    int h = 0;
    readTexture8(s.uBackgroundTex, nullptr, &h);
    EXPECT_EQ(h, 48);
    EXPECT_EQ(s.nBackgroundHeight, 48);
}

// Inverts a column-major 4x4 matrix (Gauss-Jordan).
bool invert(const double in[16], double out[16]) {
    double a[4][8];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            a[r][c] = in[c * 4 + r];
            a[r][c + 4] = r == c;
        }
    for (int c = 0; c < 4; c++) {
        int piv = c;
        for (int r = c + 1; r < 4; r++)
            if (std::fabs(a[r][c]) > std::fabs(a[piv][c])) piv = r;
        if (a[piv][c] == 0) return false;
        std::swap(a[c], a[piv]);
        double d = a[c][c];
        for (double &v : a[c]) v /= d;
        for (int r = 0; r < 4; r++)
            if (r != c) {
                double f = a[r][c];
                for (int k = 0; k < 8; k++) a[r][k] -= f * a[c][k];
            }
    }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) out[c * 4 + r] = a[r][c + 4];
    return true;
}

TEST_F(DrizzlePipeline, FlatWaterShowsTheGradientAsTheCompositeSamplesIt) {
    const int W = 96, H = 64;
    g_nNumDropletsPerSecond = 0;
    init(W, H);
    DrizzleState &s = *state_;
    // A fixed, strongly varying gradient, the same at both ends of the blend.
    const float warm[3] = {0.9f, 0.6f, 0.1f}, cool[3] = {0.05f, 0.2f, 0.8f};
    std::copy(warm, warm + 3, s.vToneA);
    std::copy(warm, warm + 3, s.vNextToneA);
    std::copy(cool, cool + 3, s.vToneB);
    std::copy(cool, cool + 3, s.vNextToneB);
    s.bToneAAtBottom = s.bNextToneAAtBottom = 1;
    frame();
    std::vector<unsigned char> px = readWindow(W, H);
    int gh = 0;
    std::vector<unsigned char> grad = readTexture8(s.uBackgroundTex, nullptr, &gh);
    std::vector<unsigned char> nt = readTexture8(s.uNormalTex);
    double n[3];
    for (int c = 0; c < 3; c++) n[c] = nt[c] / 255.0 * 2 - 1;
    double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (double &v : n) v /= nl;

    double mvp[16], inv[16];
    for (int i = 0; i < 16; i++) mvp[i] = s.mMVP[i];
    ASSERT_TRUE(invert(mvp, inv));
    auto xform = [](const double m[16], const double v[4], double o[4]) {
        for (int r = 0; r < 4; r++) o[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r] * v[3];
    };
    int checked = 0, worst = 0, lowest = 255, highest = 0;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            double ndc[2] = {(x + 0.5) / W * 2 - 1, (y + 0.5) / H * 2 - 1};
            double a4[4] = {ndc[0], ndc[1], -1, 1}, b4[4] = {ndc[0], ndc[1], 1, 1}, a[4], b[4];
            xform(inv, a4, a);
            xform(inv, b4, b);
            for (int k = 0; k < 3; k++) {
                a[k] /= a[3];
                b[k] /= b[3];
            }
            double t = a[2] / (a[2] - b[2]);  // where the ray meets z = 0
            double P[4] = {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), 0, 1}, clip[4];
            if (t < 0 || t > 1 || std::fabs(P[0]) > 3.9 || std::fabs(P[1]) > 3.9) continue;
            xform(mvp, P, clip);
            double w = clip[1] * 0.5 + 0.5;
            double mask = 1 - smoothstep(0.65, 1, std::clamp(w, 0.0, 1.0)) * 0.5;
            double sharp = 30 * (1 - mask) + 8;
            double off = std::clamp(n[1] * std::pow(std::max(n[2], 0.0), sharp), -mask, mask);
            double sty = std::clamp(w + off, 0.0, 1.0);
            double coord = std::clamp(sty * gh - 0.5, 0.0, double(gh - 1));
            int i0 = int(std::floor(coord)), i1 = std::min(i0 + 1, gh - 1);
            double f = coord - i0;
            for (int c = 0; c < 3; c++) {
                double want = grad[size_t(i0) * 4 + size_t(c)] * (1 - f) + grad[size_t(i1) * 4 + size_t(c)] * f;
                int got = px[(size_t(y) * W + size_t(x)) * 4 + size_t(c)];
                worst = std::max(worst, int(std::lround(std::fabs(got - want))));
                ASSERT_NEAR(got, want, 2.0) << "pixel " << x << "," << y << " ch " << c;
            }
            checked++;
            lowest = std::min<int>(lowest, px[(size_t(y) * W + size_t(x)) * 4]);
            highest = std::max<int>(highest, px[(size_t(y) * W + size_t(x)) * 4]);
        }
    RecordProperty("worst_difference", worst);
    EXPECT_GT(checked, W * H / 2);
    EXPECT_GT(highest - lowest, 60);  // the view spans much of the gradient
}

TEST_F(DrizzlePipeline, DebugViewsDrawTheirTexturesAndResetWhenOutOfRange) {
    g_nNumDropletsPerSecond = 0;
    init(64, 64);
    DrizzleState &s = *state_;
    // View 1: the newest simulation state at rest shows mid-grey in the
    // middle of the window.
    s.nDebugView = 1;
    frame();
    std::vector<unsigned char> px = readWindow(64, 64);
    const unsigned char *mid = &px[(32 * 64 + 32) * 4];
    EXPECT_NEAR(mid[0], 128, 1);
    EXPECT_NEAR(mid[1], 128, 1);
    EXPECT_NEAR(mid[2], 128, 1);
    // View 0: the normals, (0.5, 0.5, 1).
    s.nDebugView = 0;
    frame();
    px = readWindow(64, 64);
    mid = &px[(32 * 64 + 32) * 4];
    EXPECT_NEAR(mid[0], 128, 1);
    EXPECT_EQ(mid[2], 255);
    EXPECT_EQ(s.nDebugView, 0);
    for (int bad : {5, -2}) {
        s.nDebugView = bad;
        frame();
        EXPECT_EQ(s.nDebugView, -1);
    }
}

}  // namespace
