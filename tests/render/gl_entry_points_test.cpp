// The entry-point table: names asked for in slot order, each answer stored in
// the member of that name, and which missing slots stop the show.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "render/gl_entry_points.h"

namespace {

// The load order the rest of the program relies on.
const char* const kExpectedOrder[kGlEntryPointCount] = {
    "glGenBuffers", "glBindBuffer", "glBufferData", "glBufferSubData",
    "glCreateShaderProgramv", "glUseProgram", "glUniform1i", "glCreateProgram",
    "glCreateShader", "glShaderSource", "glCompileShader", "glAttachShader",
    "glLinkProgram", "glBindFramebuffer", "glBindRenderbuffer", "glRenderbufferStorage",
    "glGenRenderbuffers", "glFramebufferTexture2D", "glFramebufferRenderbuffer",
    "glGenFramebuffers", "glUniform2f", "glActiveTexture", "glGetUniformLocation",
    "glUniform1f", "glUniform3f", "glUniform4f", "glGetShaderiv", "glGetShaderInfoLog"};

std::vector<std::string> asked;
std::vector<std::string> unknown;  // names the fake driver does not have

// Fake driver: answers with a distinct address per name (its position in the
// expected order, plus one), or null for names listed in `unknown`.
void* fakeLoad(const char* name) {
    asked.emplace_back(name);
    for (const std::string& missing : unknown)
        if (missing == name) return nullptr;
    for (int32_t i = 0; i < kGlEntryPointCount; ++i)
        if (std::strcmp(kExpectedOrder[i], name) == 0)
            return reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + 16 * i));
    return reinterpret_cast<void*>(static_cast<uintptr_t>(0xBAD0));
}

void* fakeAddress(int32_t index) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + 16 * index));
}

GlEntryPoints loadWithout(std::vector<std::string> missing) {
    asked.clear();
    unknown = std::move(missing);
    GlEntryPoints table;
    std::memset(&table, 0xEE, sizeof(table));  // stale content must be overwritten
    loadGlEntryPoints(table, fakeLoad);
    return table;
}

}  // namespace

TEST(GlEntryPoints, LoaderIsAskedForEveryNameOnceInSlotOrder) {
    loadWithout({});
    ASSERT_EQ(asked.size(), static_cast<size_t>(kGlEntryPointCount));
    for (int32_t i = 0; i < kGlEntryPointCount; ++i) {
        EXPECT_EQ(asked[i], kExpectedOrder[i]) << "slot " << i;
        EXPECT_STREQ(glEntryPointName(i), kExpectedOrder[i]);
    }
}

TEST(GlEntryPoints, EachAnswerLandsInTheMemberOfThatName) {
    GlEntryPoints table = loadWithout({});
    for (int32_t i = 0; i < kGlEntryPointCount; ++i)
        EXPECT_EQ(glEntryPointAddress(table, i), fakeAddress(i)) << kExpectedOrder[i];
    // Through the named members, as call sites read them.
    EXPECT_EQ(reinterpret_cast<void*>(table.glUseProgram), fakeAddress(5));
    EXPECT_EQ(reinterpret_cast<void*>(table.glActiveTexture), fakeAddress(21));
    EXPECT_EQ(reinterpret_cast<void*>(table.glGetShaderInfoLog), fakeAddress(27));
}

TEST(GlEntryPoints, MissingCheckIgnoresTheFourSlotsNeverCalled) {
    EXPECT_EQ(missingGlEntryPoint(loadWithout({})), nullptr);
    EXPECT_EQ(missingGlEntryPoint(loadWithout({"glCreateShaderProgramv", "glUniform2f",
                                               "glGetShaderiv", "glGetShaderInfoLog"})),
              nullptr);
}

TEST(GlEntryPoints, MissingCheckNamesTheFirstCalledSlotMissing) {
    EXPECT_STREQ(missingGlEntryPoint(loadWithout({"glActiveTexture"})), "glActiveTexture");
    EXPECT_STREQ(missingGlEntryPoint(loadWithout({"glUniform4f"})), "glUniform4f");
    // Two missing: reported in slot order, whatever order the driver lacks them in.
    EXPECT_STREQ(missingGlEntryPoint(loadWithout({"glUniform1f", "glLinkProgram"})),
                 "glLinkProgram");
    // A never-called gap before a called one does not hide the called one.
    EXPECT_STREQ(missingGlEntryPoint(loadWithout({"glUniform2f", "glGetUniformLocation"})),
                 "glGetUniformLocation");
}
