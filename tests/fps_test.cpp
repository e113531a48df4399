// The frame-rate meter's measurement and text, with the clock readings set
// by hand so that each case is one exact measurement.
#include "test_support.h"

#include "fps.h"

#include <cstdlib>
#include <string>

namespace {

// A meter whose previous reading was `ago` seconds before now, with n frames
// counted since.
struct Meter {
    fps_state st{};
    Meter(double ago, int frames, unsigned long slept = 0) {
        strcpy(st.text, "FPS: ... ");
        gettimeofday(&st.prev_frame_end, nullptr);
        long usecs = long(ago * 1e6);
        st.prev_frame_end.tv_sec -= usecs / 1000000;
        st.prev_frame_end.tv_usec -= usecs % 1000000;
        if (st.prev_frame_end.tv_usec < 0) {
            st.prev_frame_end.tv_usec += 1000000;
            st.prev_frame_end.tv_sec -= 1;
        }
        st.frame_count = frames;
        st.slept_usecs = slept;
    }
    std::string text() const { return st.text; }
};

TEST(Fps, FirstReadingOnlyStartsTheClock) {
    fps_state st{};
    strcpy(st.text, "FPS: ... ");
    EXPECT_EQ(fps_compute(&st, 0, -1), 0.0);
    EXPECT_STREQ(st.text, "FPS: ... ");
    EXPECT_NE(st.prev_frame_end.tv_sec, 0);
    EXPECT_EQ(st.frame_count, 1);
    EXPECT_EQ(fps_compute(nullptr, 0, -1), 0.0);
}

TEST(Fps, RateLoadAndText) {
    Meter m(2.0, 59, 1000000);  // 60 frames in 2 s, asleep half of it
    double fps = fps_compute(&m.st, 0, -1);
    EXPECT_NEAR(fps, 30.0, 0.1);
    EXPECT_EQ(m.st.frame_count, 0);
    EXPECT_EQ(m.st.slept_usecs, 0u);
    EXPECT_EQ(m.st.last_whole_fps, int(fps));
    EXPECT_EQ(m.text().substr(0, 10), "FPS:  30.0");
    EXPECT_NE(m.text().find("\nLoad: 50.0% "), std::string::npos) << m.text();
}

TEST(Fps, PolygonsWithThousandsSeparatorsAndDepth) {
    struct {
        unsigned long polys;
        const char *shown;
    } cases[] = {{999, "Polys: 999 "}, {1000, "Polys: 1,000 "}, {1234567, "Polys: 1,234,567 "}};
    for (auto &c : cases) {
        Meter m(1.5, 10);
        fps_compute(&m.st, c.polys, -1);
        EXPECT_NE(m.text().find(std::string("\n") + c.shown), std::string::npos) << m.text();
        EXPECT_EQ(m.text().find("Depth"), std::string::npos);
    }
    Meter whole(1.5, 10);
    fps_compute(&whole.st, 5, 3);
    EXPECT_EQ(whole.text().substr(whole.text().size() - 9), "\nDepth: 3");
    Meter half(1.5, 10);
    fps_compute(&half.st, 0, 2.5);
    EXPECT_EQ(half.text().substr(half.text().size() - 11), "\nDepth: 2.5");
}

TEST(Fps, OversleepingShowsNoNegativeLoad) {
    Meter m(1.0, 9, 5000000);
    fps_compute(&m.st, 0, -1);
    EXPECT_NE(m.text().find("Load: 0.0% "), std::string::npos) << m.text();
}

TEST(Fps, SleepAddsUp) {
    fps_state st{};
    fps_slept(&st, 100);
    fps_slept(&st, 250);
    EXPECT_EQ(st.slept_usecs, 350u);
    fps_slept(nullptr, 5);
}

}  // namespace
