// Scene programs rebuilt from the shaders folder while the player runs. A
// program that does not build leaves the last good one in its slot, and its
// report (the GL's log, located in the files) is kept for the overlay.
#pragma once
#include <string>

#include "tools/intro_dev/shader_source.h"

struct ShaderReload {
    std::string folder;  // the shaders folder read from
    ShaderText texts[kSceneProgramCount];  // each slot's text as last read (its files even when it failed)
    std::string errors[kSceneProgramCount];  // why the slot's last text did not build; empty when it did
};

// Reads every scene from `folder` and rebuilds those whose text differs from
// the one built into the player (needs the programs loaded). Failures are
// reported on stderr and kept.
void openShaderReload(ShaderReload& reload, const std::string& folder);
// Rebuilds every scene made of `file` (relative to the folder, e.g.
// "lib/hsv.glsl"); the number of programs it tried, and in *built the
// number of those that built and now draw.
int reloadShaderFile(ShaderReload& reload, const std::string& file, int* built);
// Every kept error, each after a line naming its program; empty when all
// scenes built.
std::string shaderErrors(const ShaderReload& reload);
