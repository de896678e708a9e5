// The picture side of one frame of the show, shared by the intro's frame loop
// and the capture tool so that a captured frame is drawn the same way.
#pragma once
#include "driver/note_feed.h"
#include "driver/timeline.h"

class DataTexture;

// A frame with a non-negative clock, into whatever frame buffer and viewport
// are current, in the frame loop's order: the Sequence's program made current
// with this frame's uniforms, both note textures uploaded from `feed`, colour
// and depth cleared, and inside the Sequence's draw window the scene drawn.
// Outside the window the frame stays black, but the textures are uploaded
// all the same. The timeline and the feed were stepped for this frame.
void drawShowFrame(const Timeline& timeline, float clock, const NoteFeed& feed, DataTexture& notesVelocity,
                   DataTexture& maxNotesVelocity);
