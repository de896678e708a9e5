// Reading the GLSL version out of the driver's version string, which decides
// whether the context is good enough for the scenes.
#include <gtest/gtest.h>

#include "render/display.h"

TEST(GlslVersionNumber, ReadsMajorAndMinorWhateverFollows) {
    EXPECT_EQ(glslVersionNumber("4.50"), 450);
    EXPECT_EQ(glslVersionNumber("1.30 NVIDIA via Cg compiler"), 130);
    EXPECT_EQ(glslVersionNumber("10.00"), 1000);
    // A lone minor digit counts as tens: "1.3" must not read as 1.03.
    EXPECT_EQ(glslVersionNumber("1.3"), 130);
}

TEST(GlslVersionNumber, UnreadableTextGivesZero) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "4", "4.", ".50",
                             "OpenGL ES GLSL ES 3.20", "99999999999.50"})
        EXPECT_EQ(glslVersionNumber(text), 0) << (text ? text : "null");
}
