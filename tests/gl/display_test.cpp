// The display on Mesa under Xvfb: a hidden window with a real GL context good
// enough for the scenes, the Escape memory, and the frame loop's end rules.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <atomic>

#include "driver/show.h"
#include "render/display.h"
#include "render/gl_entry_points.h"

namespace {

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 90;

// One hidden 160 x 90 display per test, closed again afterwards.
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        display = openDisplay({.hidden = true, .width = kWidth, .height = kHeight});
        ASSERT_EQ(display.failure, nullptr) << display.failure;
    }
    void TearDown() override { closeDisplay(display); }

    Display display;
};

// Pushes one key-down or key-up event into SDL's queue as the keyboard would.
void pushKey(SDL_Scancode code, Uint32 type) {
    SDL_Event event = {};
    event.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = code;
    event.key.keysym.sym = SDL_GetKeyFromScancode(code);
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// Pops everything already queued so a test starts from an empty queue.
void drainEvents(Display& display) {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    display.escapeLatched = false;
}

}  // namespace

TEST_F(DisplayTest, ContextOffersGlsl130AndADeepDepthBuffer) {
    EXPECT_EQ(display.width, kWidth);
    EXPECT_EQ(display.height, kHeight);
    EXPECT_GE(display.depthBits, 24);
    GLint major = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    EXPECT_GE(major, 3);
    EXPECT_GE(glslVersionNumber(reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION))), 130);
    // The scenes use the 1.1 matrix stacks: only a compatibility context has them.
    GLint profile = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_EQ(profile & GL_CONTEXT_CORE_PROFILE_BIT, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DisplayTest, AllEntryPointsResolveAndWork) {
    for (int32_t i = 0; i < kGlEntryPointCount; ++i)
        EXPECT_NE(glEntryPointAddress(glEntry, i), nullptr) << glEntryPointName(i);
    // A GLSL 1.30 shader (textureSize exists only from 1.30) compiled through
    // the loaded slots proves they belong to this context.
    const char* source =
        "#version 130\n"
        "uniform sampler2D t;\n"
        "void main() { gl_FragColor = vec4(vec2(textureSize(t, 0)), 0.0, 1.0); }\n";
    GLuint shader = glEntry.glCreateShader(GL_FRAGMENT_SHADER);
    ASSERT_NE(shader, 0u);
    glEntry.glShaderSource(shader, 1, &source, nullptr);
    glEntry.glCompileShader(shader);
    GLint compiled = 0;
    glEntry.glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    EXPECT_EQ(compiled, GL_TRUE);
}

TEST_F(DisplayTest, BackBufferOfHiddenWindowCanBeDrawnAndRead) {
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    uint8_t pixel[4] = {};
    glReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_NEAR(pixel[1], 128, 1);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_EQ(pixel[3], 255);
}

TEST_F(DisplayTest, QuickEscapePressIsRememberedUntilTestedOnce) {
    drainEvents(display);
    EXPECT_FALSE(escapeRequested(display));
    // Down and up again before the frame loop looks: the key state says "up",
    // only the remembered key-down tells.
    pushKey(SDL_SCANCODE_ESCAPE, SDL_KEYDOWN);
    pushKey(SDL_SCANCODE_ESCAPE, SDL_KEYUP);
    pollDisplayEvent(display);
    pollDisplayEvent(display);
    EXPECT_TRUE(escapeRequested(display));
    EXPECT_FALSE(escapeRequested(display));  // the memory is cleared by the test
}

TEST_F(DisplayTest, OnePollDrainsTheQueueAndKeepsOnlyEscapeAndQuit) {
    drainEvents(display);
    // An Escape behind a crowd of other events is still seen by one poll: a
    // frame can take seconds, and one event per frame made Escape wait.
    for (int i = 0; i < 50; ++i) pushKey(SDL_SCANCODE_SPACE, i % 2 ? SDL_KEYUP : SDL_KEYDOWN);
    pushKey(SDL_SCANCODE_ESCAPE, SDL_KEYDOWN);
    pushKey(SDL_SCANCODE_ESCAPE, SDL_KEYUP);
    pollDisplayEvent(display);
    EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 0);
    EXPECT_TRUE(escapeRequested(display));
    EXPECT_FALSE(escapeRequested(display));
    // Other keys alone are dropped.
    pushKey(SDL_SCANCODE_SPACE, SDL_KEYDOWN);
    pushKey(SDL_SCANCODE_SPACE, SDL_KEYUP);
    pollDisplayEvent(display);
    EXPECT_FALSE(escapeRequested(display));
    // A quit request (window closed, Ctrl-C or SIGTERM caught by SDL) counts
    // as Escape, also behind other events.
    pushKey(SDL_SCANCODE_SPACE, SDL_KEYDOWN);
    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    pollDisplayEvent(display);
    EXPECT_TRUE(escapeRequested(display));
}

// The frame loop against a hand-driven music clock.
class FrameLoopTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        drainEvents(display);
        show.display = display;
        show.musicTime = &musicTime;
    }
    // runFrame and the fixture share the escape memory through show.display.
    void TearDown() override {
        display = show.display;
        DisplayTest::TearDown();
    }

    std::atomic<float> musicTime{0.0f};
    Show show;
};

TEST_F(FrameLoopTest, WithoutSynthTheClockStaysInPreRoll) {
    show.musicTime = nullptr;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(runFrame(show));
    EXPECT_FLOAT_EQ(show.clock, -0.17f);
}

TEST_F(FrameLoopTest, EndsAfterTheFirstFrameAt115Seconds) {
    musicTime = 115.0f;  // clock 114.83
    EXPECT_TRUE(runFrame(show));
    musicTime = 115.17f + 0.001f;  // clock just past 115: shown, then the end
    EXPECT_FALSE(runFrame(show));
    EXPECT_GE(show.clock, 115.0f);
}

TEST_F(FrameLoopTest, EscapeEndsThePreRollLoop) {
    EXPECT_TRUE(runFrame(show));
    pushKey(SDL_SCANCODE_ESCAPE, SDL_KEYDOWN);
    pushKey(SDL_SCANCODE_ESCAPE, SDL_KEYUP);
    EXPECT_FALSE(runFrame(show));  // one poll sees the key-down
    EXPECT_TRUE(runFrame(show));   // the key-up alone does not end anything
}
