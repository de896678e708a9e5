// The CPU side of program building: joining a prefix into a scene text, the
// loading steps and the Sequence-to-program table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/timetable.h"
#include "render/loading_screen.h"
#include "render/programs.h"
#include "runtime/memory.h"

namespace {

// joinSource's text as a string; the show keeps its texts for the whole run,
// a test gives them back.
std::string joined(const char* prefix, const char* source) {
    char* text = joinSource(prefix, source);
    std::string result(text);
    deallocate(text);
    return result;
}

}  // namespace

TEST(ProgramTexts, EmptyPrefixesLeaveTheSourceExactly) {
    for (int32_t i = 0; i < kSceneProgramCount; i++) {
        EXPECT_EQ(sceneSourcePrefixes[i], nullptr);
        EXPECT_EQ(joined(sceneSourcePrefixes[i], kSceneSources[i]), kSceneSources[i]);
    }
    EXPECT_EQ(joined("", "abc"), "abc");
    EXPECT_EQ(joined("#define X 1\n", "void main(){}"), "#define X 1\nvoid main(){}");
    // GLSL needs #version first: every scene text starts with it.
    for (int32_t i = 0; i < kSceneProgramCount; i++)
        EXPECT_EQ(std::strncmp(kSceneSources[i], "#version 1", 10), 0) << "scene " << i;
    EXPECT_EQ(std::strncmp(kSceneSources[4], "#version 130", 12), 0);
}

TEST(ProgramTexts, APrefixGoesRightAfterTheVersionLine) {
    // Before #version the compiler would reject the text.
    EXPECT_EQ(joined("#define frozen\n", "#version 120\nvoid main(){}"),
              "#version 120\n#define frozen\nvoid main(){}");
    EXPECT_EQ(joined("#define A\n", "#version 130 compatibility\n#version\n"),
              "#version 130 compatibility\n#define A\n#version\n");
    // Only a #version at the very start counts.
    EXPECT_EQ(joined("#define A\n", " #version 120\n"), "#define A\n #version 120\n");
    EXPECT_EQ(joined("#define A\n", "#versio"), "#define A\n#versio");
    EXPECT_EQ(joined(nullptr, "#version 120\nx"), "#version 120\nx");
}

TEST(ProgramTexts, LoadingStepsAreSixthsEndingAtExactlyOne) {
    EXPECT_EQ(loadingPercent(6), 1.0f);
    EXPECT_EQ(loadingPercent(3), 0.5f);
    EXPECT_FLOAT_EQ(loadingPercent(1), 1.0f / 6.0f);
    for (int32_t step = 1; step < 6; step++) EXPECT_LT(loadingPercent(step), loadingPercent(step + 1));
}

TEST(SequencePrograms, AgreeWithTheTimetableAndEndWithNull) {
    for (int32_t s = 0; s < kSequenceCount; s++) {
        int32_t slot = int32_t(sequencePrograms[s] - scenePrograms);
        EXPECT_EQ(slot, kSequences.sceneProgram[s]) << "Sequence " << s;
    }
    EXPECT_EQ(sequencePrograms[0], &scenePrograms[5]);
    EXPECT_EQ(sequencePrograms[kSequenceCount], nullptr);
    // The note grid draws only the last Sequence.
    for (int32_t s = 0; s < kSequenceCount - 1; s++) EXPECT_NE(sequencePrograms[s], &scenePrograms[4]);
    EXPECT_EQ(sequencePrograms[10], &scenePrograms[4]);
}
