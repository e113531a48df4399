// The nine shader sources through a strict offline validator: users'
// drivers are stricter than Mesa (no implicit int-to-float, for one).
#include "tests/support/test_support.h"

#include "savers/drizzle/drizzle.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>

#ifndef DRIZZLE_GLSLANG_VALIDATOR
#define DRIZZLE_GLSLANG_VALIDATOR "glslangValidator"
#endif

namespace {

struct Source {
    const char *file;
    const char *text;
};

// Runs the validator (desktop GLSL 1.10 when there is no version line, as
// for these sources); its exit status and output.
int validate(const std::string &args, std::string *output) {
    std::string cmd = std::string(DRIZZLE_GLSLANG_VALIDATOR) + " -d " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) output->append(buf);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

class DrizzleShaders : public ::testing::Test {
protected:
    void SetUp() override {
        const Source sources[] = {
            {"passthrough.vert", g_pStrPassThroughVS}, {"passthrough.frag", g_pStrPassThroughFS},
            {"gradient.frag", g_pStrTwoColorGradientFS}, {"ripple.vert", g_pStrWaterRippleVS},
            {"ripple.frag", g_pStrWaterRippleFS}, {"sim.vert", g_pStrWaterSimVS},
            {"sim.frag", g_pStrWaterSimFS}, {"raindrop.frag", g_pStrRainDropFS},
            {"normalgen.frag", g_pStrNormalGenFS},
        };
        for (const Source &s : sources) {
            std::ofstream(dir_.file(s.file)) << s.text;
            // One line each: the sources are handed over as single strings.
            EXPECT_EQ(std::string(s.text).find('\n'), std::string::npos) << s.file;
            EXPECT_EQ(std::string(s.text).find("//"), std::string::npos) << s.file;
        }
    }
    testsupport::TempDir dir_;
};

TEST_F(DrizzleShaders, EverySourceValidates) {
    for (const char *f : {"passthrough.vert", "passthrough.frag", "gradient.frag", "ripple.vert",
                          "ripple.frag", "sim.vert", "sim.frag", "raindrop.frag", "normalgen.frag"}) {
        std::string out;
        EXPECT_EQ(validate(dir_.file(f), &out), 0) << f << ":\n" << out;
        EXPECT_EQ(out.find("WARNING"), std::string::npos) << f << ":\n" << out;
    }
}

TEST_F(DrizzleShaders, EveryProgramLinks) {
    const char *programs[][2] = {
        {"passthrough.vert", "passthrough.frag"}, {"passthrough.vert", "gradient.frag"},
        {"ripple.vert", "ripple.frag"},           {"sim.vert", "sim.frag"},
        {"passthrough.vert", "raindrop.frag"},    {"sim.vert", "normalgen.frag"},
    };
    for (auto &p : programs) {
        std::string out;
        EXPECT_EQ(validate("-l " + dir_.file(p[0]) + " " + dir_.file(p[1]), &out), 0)
            << p[0] << " + " << p[1] << ":\n" << out;
    }
}

TEST_F(DrizzleShaders, TheValidatorRejectsWhatStrictDriversReject) {
    // An implicit int-to-float conversion must fail, or the check proves nothing.
    std::ofstream(dir_.file("bad.frag")) << "void main() { float x = 2; gl_FragColor = vec4(x); }";
    std::string out;
    EXPECT_NE(validate(dir_.file("bad.frag"), &out), 0) << out;
}

}  // namespace
