// intro_dev: the development player. Plays the show in a window with its
// music, seeks, pauses and loops anywhere in it, and rebuilds a scene or the
// song as soon as its source file is saved.
//
//   intro_dev [--at T] [--paused] [--loop A-B] [--size WxH] [--scale S] [--source DIR] [--shots DIR] [--seed N]
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "data/song.h"
#include "driver/music.h"
#include "driver/show.h"
#include "render/gl_entry_points.h"
#include "render/presentation.h"
#include "render/render_target.h"
#include "runtime/float_mode.h"
#include "synth/synth.h"
#include "tools/intro_dev/file_watch.h"
#include "tools/intro_dev/level_meter.h"
#include "tools/intro_dev/overlay.h"
#include "tools/intro_dev/player_options.h"
#include "tools/intro_dev/shader_reload.h"
#include "tools/intro_dev/song_player.h"
#include "tools/intro_dev/transport.h"
#include "tools/replay/show_pictures.h"
#include "tools/replay/show_replay.h"
#include "tools/songc/song_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every note of the piece is struck alike, as songc compiles it.
constexpr int64_t kFrameStep = kSampleRate / 60;  // , and . move one 60 Hz frame
constexpr double kFrameMs = 1000.0 / 60.0;          // the shortest frame
constexpr double kRenderingFrameMs = 100.0;         // ... while a new song renders

double secondsOf(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

double millisecondsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// The steady clock's time of a playerMicros() stamp taken within the last
// half hour.
double secondsOfMicros(uint32_t micros) {
    const Clock::time_point now = Clock::now();
    const uint32_t behind = playerMicros() - micros;
    return secondsOf(now) - double(behind) * 1e-6;
}

struct Player {
    PlayerOptions options;
    std::string shaders, songFolder;
    SongPlayer music;
    MusicGrid grid;
    MusicGrid pendingGrid;
    ShowReplay replay;
    ShowPictures pictures;
    ShaderReload reload;
    FileWatch watch;
    double scale = 1.0;
    bool overlay = true;
    bool paused = false;
    bool looping = false;
    bool dirty = true;  // the replay must start again from 0
    bool quit = false;
    bool shot = false;        // write the picture
    bool windowShot = false;  // write the window as shown, overlay and all
    int shots = 0;            // pictures written
    std::string songError;
    LevelFollower level;
    double frameMs = 0.0;
    std::vector<float> frameTimes;  // every frame's, for the summary at the end
    double frameMusic = 0.0;  // music time of the frame being drawn
    // An edit waiting to be seen or heard: when its file event came.
    bool shaderEditPending = false;
    Clock::time_point shaderEditAt;
    bool songEditPending = false;
    Clock::time_point songEditAt;
    bool seekPending = false;
    double seekTarget = 0.0;
    bool recordedSaid = false;  // "song recorded" printed for the song that plays
};

double musicTime(const Player& player) {
    return double(heardFrame(player.music)) / double(kSampleRate);
}

double songEnd(const Player& player) {
    const SongRecording* heard = player.music.heard.load();
    return heard->finished.load() ? double(recordedFrames(*heard)) / kSampleRate : kPlayerSeconds;
}

void seekTo(Player& player, double time) {
    const double clamped = std::clamp(time, 0.0, kPlayerSeconds);
    seekSong(player.music, int64_t(std::llround(clamped * kSampleRate)));
    player.dirty = true;
    player.seekPending = !player.paused;
    player.seekTarget = clamped;
}

void setLoop(Player& player, TimeRange range) {
    player.music.loopStart.store(int64_t(std::llround(range.start * kSampleRate)));
    player.music.loopEnd.store(int64_t(std::llround(range.end * kSampleRate)));
    player.looping = range.end > range.start;
}

// The picture's size: a window's letterboxed 16:9 box at the scale.
void pictureSize(int32_t windowWidth, int32_t windowHeight, double scale, int32_t* width, int32_t* height) {
    const Viewport box = letterbox(windowWidth, windowHeight, kPictureWidth, kPictureHeight);
    *width = std::max(16, int32_t(std::lround(box.width * scale)));
    *height = std::max(9, int32_t(std::lround(box.height * scale)));
}

// A new render target when the window or the scale changed its size.
void fitTarget(Player& player) {
    int32_t width = 0, height = 0;
    pictureSize(player.pictures.display.width, player.pictures.display.height, player.scale, &width, &height);
    RenderTarget* target = player.pictures.target;
    if (target && target->width == width && target->height == height) return;
    if (target) {
        glDeleteFramebuffers(1, &target->framebuffer);
        glDeleteRenderbuffers(1, &target->depthRenderbuffer);
        glDeleteTextures(1, &target->colorTexture);
        glDeleteTextures(1, &target->depthTexture);
        delete target;
    }
    player.pictures.target = new RenderTarget(width, height);
}

void onKey(Player& player, const SDL_Keysym& key) {
    const double now = musicTime(player);
    const bool shift = (key.mod & KMOD_SHIFT) != 0;
    switch (key.sym) {
        case SDLK_ESCAPE: player.quit = true; break;
        case SDLK_SPACE:
            player.paused = !player.paused;
            pauseSong(player.music, player.paused);
            player.dirty = true;
            break;
        case SDLK_LEFT: seekTo(player, moveOnGrid(player.grid, now, shift ? 16 : 4, -1)); break;
        case SDLK_RIGHT: seekTo(player, moveOnGrid(player.grid, now, shift ? 16 : 4, +1)); break;
        case SDLK_PAGEUP: seekTo(player, moveBySequence(now, -1)); break;
        case SDLK_PAGEDOWN: seekTo(player, moveBySequence(now, +1)); break;
        case SDLK_HOME: seekTo(player, 0.0); break;
        case SDLK_l: setLoop(player, player.looping ? TimeRange{} : sequenceRange(now, songEnd(player))); break;
        case SDLK_COMMA:
        case SDLK_PERIOD:
            if (player.paused)
                seekTo(player, double(heardFrame(player.music) + (key.sym == SDLK_COMMA ? -kFrameStep : kFrameStep)) /
                                   kSampleRate);
            break;
        case SDLK_MINUS:
        case SDLK_KP_MINUS: player.scale = std::max(0.25, player.scale - 0.25); break;
        case SDLK_EQUALS:
        case SDLK_PLUS:
        case SDLK_KP_PLUS: player.scale = std::min(1.0, player.scale + 0.25); break;
        case SDLK_TAB: player.overlay = !player.overlay; break;
        case SDLK_p:
            if (shift) player.windowShot = true;
            else player.shot = true;
            break;
        default: break;
    }
}

void pollEvents(Player& player) {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (event.type == SDL_QUIT) player.quit = true;
        if (event.type == SDL_KEYDOWN) onKey(player, event.key.keysym);
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            int width = 0, height = 0;
            SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(player.pictures.display.window), &width, &height);
            player.pictures.display.width = width;
            player.pictures.display.height = height;
        }
    }
}

// `text` with the source tree's folder left out of the paths it names.
std::string inSourceTree(const Player& player, std::string text) {
    const std::string prefix = player.options.source + "/";
    for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at))
        text.erase(at, prefix.size());
    return text;
}

void reloadSong(Player& player, const std::string& path) {
    const Clock::time_point began = Clock::now();
    std::vector<uint8_t> bytes;
    std::string error;
    if (!compileSongFolder(player.songFolder, kPieceVelocity, bytes, error)) {
        player.songError = inSourceTree(player, error);
        std::fprintf(stderr, "intro_dev: %s; the old song plays on\n", player.songError.c_str());
        return;
    }
    if (!changeSong(player.music, bytes.data(), uint32_t(bytes.size()))) {
        player.songError = path + ": the compiled song does not load; the old song plays on";
        std::fprintf(stderr, "intro_dev: %s\n", player.songError.c_str());
        return;
    }
    player.songError.clear();
    player.pendingGrid = songGrid(bytes.data(), uint32_t(bytes.size()));
    player.songEditPending = true;
    player.songEditAt = began;
    std::fprintf(stderr, "intro_dev: %s: song compiled in %.1f ms, rendering\n", path.c_str(),
                 millisecondsSince(began));
}

void watchFiles(Player& player) {
    for (const std::string& path : changedFiles(player.watch)) {
        if (path.compare(0, player.shaders.size() + 1, player.shaders + "/") == 0) {
            const Clock::time_point began = Clock::now();
            const std::string file = path.substr(player.shaders.size() + 1);
            int built = 0;
            const int rebuilt = reloadShaderFile(player.reload, file, &built);
            if (rebuilt == 0) continue;
            std::fprintf(stderr, "intro_dev: shaders/%s: %d of %d program%s rebuilt in %.1f ms\n", file.c_str(), built,
                         rebuilt, rebuilt == 1 ? "" : "s", millisecondsSince(began));
            if (built == 0) continue;
            player.shaderEditPending = true;
            player.shaderEditAt = began;
        } else if (path == player.songFolder + "/instruments.txt" || path == player.songFolder + "/score.txt") {
            reloadSong(player, path);
        }
    }
}

// Steps the replay to the picture clock of the music being heard: from the
// start again after a seek, a pause or a new song (so that a still frame is
// the one capture makes at that clock), else onwards.
void stepPictures(Player& player) {
    player.frameMusic = musicTime(player);
    float clock = float(player.frameMusic) - kPictureDelay;
    ShowReplay& replay = player.replay;
    // While playing the heard estimate may step back a little: hold the clock.
    if (!player.dirty && !player.paused && clock < replay.lastClock) clock = replay.lastClock;
    const bool again = player.dirty || clock < replay.lastClock || (player.paused && clock != replay.lastClock);
    if (again) restartReplay(replay);
    if (clock >= 0.0f && clock > replay.lastClock) advanceReplay(replay, clock);
    // Voices not recorded yet were stood in for by older ones: once the
    // render has passed the clock, the frame is replayed again.
    const SongRecording& heard = *replay.recording;
    const double needed = (double(clock) + double(kPictureDelay)) * kSampleRate + kBlockFrames;
    player.dirty = double(recordedFrames(heard)) < needed && !heard.finished.load();
}

std::vector<OverlayLine> overlayLines(Player& player) {
    std::vector<OverlayLine> lines;
    char text[256];
    const double music = player.frameMusic;
    const SongRecording& heard = *player.music.heard.load();
    const double recorded = double(recordedFrames(heard)) / kSampleRate;
    const char* state = player.paused ? "paused" : music >= recorded - 0.05 && !heard.finished ? "rendering" : "playing";
    if (heard.finished && music >= recorded - 0.05) state = "end";
    std::snprintf(text, sizeof(text), "music %.3f s  bar %s  %s", music, gridPosition(player.grid, music).c_str(),
                  state);
    std::string first = text;
    if (player.looping) {
        std::snprintf(text, sizeof(text), "  loop %.2f-%.2f", double(player.music.loopStart.load()) / kSampleRate,
                      double(player.music.loopEnd.load()) / kSampleRate);
        first += text;
    }
    lines.push_back({first});
    const ShowReplay& replay = player.replay;
    if (replay.lastClock < 0.0f) {
        std::snprintf(text, sizeof(text), "sequence -  before the first frame");
    } else {
        const int32_t sequence = replay.timeline.sequence;
        std::snprintf(text, sizeof(text), "sequence %d  %s%s", sequence,
                      kSceneProgramNames[sceneProgramOf(replay.timeline)],
                      sceneVisible(replay.timeline) ? "" : "  (black gap)");
    }
    lines.push_back({text});
    const RenderTarget& target = *player.pictures.target;
    std::snprintf(text, sizeof(text), "frame %.1f ms  scale %.2f (%dx%d)", player.frameMs, player.scale,
                  target.width, target.height);
    lines.push_back({text});
    std::snprintf(text, sizeof(text), "audio %.0f%% of its block budget  (%.1f s recorded%s)%s",
                  double(player.music.renderShare.load()) * 100.0, recorded, heard.finished ? ", done" : "",
                  player.music.silentDevice ? "  no sound device" : "");
    lines.push_back({text});
    const int64_t end = std::min<int64_t>(std::llround(music * kSampleRate), int64_t(recordedFrames(heard)));
    player.level.follow(heard.frames, end);
    const LevelReading& level = player.level.reading();
    char bar[33];
    levelBar(level.shortTerm, bar, 32);
    std::snprintf(text, sizeof(text), "short-term %.1f LUFS  true peak %.1f dBTP  %s", double(level.shortTerm),
                  double(level.truePeak), bar);
    lines.push_back({text});
    const std::string shaderErrorText = shaderErrors(player.reload);
    if (!shaderErrorText.empty()) lines.push_back({shaderErrorText, true});
    if (!player.songError.empty()) lines.push_back({player.songError + "\nthe song that plays stays as it was", true});
    return lines;
}

// Writes `picture` as intro_dev[_window]_<clock>_<n>.png in the shots
// folder, n counting the pictures of the run (a paused clock gives many).
void writeShot(Player& player, const Picture& picture, const char* kind) {
    char path[1024];
    std::snprintf(path, sizeof(path), "%s/intro_dev%s_%09.4f_%d.png", player.options.shots.c_str(), kind,
                  double(std::max(player.replay.lastClock, 0.0f)), ++player.shots);
    if (writePng(picture, path))
        std::fprintf(stderr, "intro_dev: picture at clock %.9g written to %s\n", double(player.replay.lastClock), path);
}

Picture readWindow(const Display& display) {
    Picture picture{display.width, display.height, std::vector<uint8_t>(size_t(display.width) * display.height * 4)};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, display.width, display.height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
    for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    return picture;
}

// One frame: events, edits, the music's hand-over, pictures, overlay, swap.
void runFrame(Player& player) {
    const Clock::time_point began = Clock::now();
    pollEvents(player);
    if (player.quit) return;
    watchFiles(player);
    if (updateSongPlayer(player.music)) {
        player.recordedSaid = false;
        player.replay.recording = player.music.heard.load();
        player.grid = player.pendingGrid;
        player.dirty = true;
    }
    const uint32_t soundAt = player.music.soundAt.load();
    const int64_t latency = takeSoundLatency(player.music);
    if (latency >= 0 && player.songEditPending) {
        player.songEditPending = false;
        const double heardAt = secondsOfMicros(soundAt);
        std::fprintf(stderr, "intro_dev: new song heard %.1f ms after the edit (rendered at %.0fx real time, t=%.6f)\n",
                     (heardAt - secondsOf(player.songEditAt)) * 1000.0, double(player.music.renderFactor.load()),
                     heardAt);
    } else if (latency >= 0 && player.seekPending) {
        player.seekPending = false;
        std::fprintf(stderr, "intro_dev: seek to %.3f s heard after %.1f ms\n", player.seekTarget,
                     double(latency) / 1000.0);
    }
    const SongRecording& heard = *player.music.heard.load();
    if (heard.finished.load() && !player.recordedSaid) {
        player.recordedSaid = true;
        std::fprintf(stderr, "intro_dev: song recorded, %.1f s\n", double(recordedFrames(heard)) / kSampleRate);
    }
    fitTarget(player);
    stepPictures(player);
    RenderTarget& target = *player.pictures.target;
    glEntry.glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, target.width, target.height);
    drawReplayFrame(player.pictures, player.replay);
    // A picture drawn before the render reached its clock waits for the
    // frame that is exact.
    if (player.shot && !player.dirty) {
        player.shot = false;
        writeShot(player, readShowPicture(player.pictures), "");
    }
    Display& display = player.pictures.display;
    presentTarget(target, letterbox(display.width, display.height, kPictureWidth, kPictureHeight), display.width,
                  display.height);
    if (player.overlay) drawOverlay(overlayLines(player), display.width, display.height);
    if (player.windowShot) {
        player.windowShot = false;
        writeShot(player, readWindow(display), "_window");
    }
    swapDisplay(display);
    glFinish();
    if (player.shaderEditPending) {
        player.shaderEditPending = false;
        std::fprintf(stderr, "intro_dev: new picture on screen %.1f ms after the edit (t=%.6f)\n",
                     millisecondsSince(player.shaderEditAt), secondsOf(Clock::now()));
    }
    player.frameMs = millisecondsSince(began);
    player.frameTimes.push_back(float(player.frameMs));
    // No display here waits for the vertical blank (Xvfb never does): a
    // small picture would otherwise spin a core that the song's render
    // needs. While a new song renders up to the position, the pictures
    // rest longer: a software renderer takes every core for a big frame.
    const double shortest = player.music.pending != nullptr ? kRenderingFrameMs : kFrameMs;
    if (player.frameMs < shortest)
        std::this_thread::sleep_for(std::chrono::microseconds(int64_t((shortest - player.frameMs) * 1000.0)));
}

// One line on the frames drawn: how many, their median and slowest time.
void printFrameSummary(Player& player) {
    std::vector<float>& times = player.frameTimes;
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    std::fprintf(stderr, "intro_dev: %zu frames at scale %.2f, median %.1f ms, slowest %.1f ms\n", times.size(),
                 player.scale, double(times[times.size() / 2]), double(times.back()));
}

}  // namespace

int main(int argc, char** argv) {
    Player player;
    PlayerOptions& options = player.options;
    if (!parsePlayerOptions(argc, argv, options)) {
        std::fputs(kPlayerUsage, stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(kPlayerUsage, stdout);
        return 0;
    }
    if (options.source.empty()) options.source = INTRO_SOURCE_DIR;
    setFloatMode(kMainFloatMode);  // flush-to-zero, as on both of the show's threads
    player.shaders = options.source + "/shaders";
    player.songFolder = options.source + "/data/song";
    player.scale = options.scale;

    // The song's text source, or the built-in song when it does not compile.
    std::vector<uint8_t> song;
    std::string error;
    if (!compileSongFolder(player.songFolder, kPieceVelocity, song, error)) {
        std::fprintf(stderr, "intro_dev: %s; playing the built-in song\n", error.c_str());
        player.songError = inSourceTree(player, error);
        song.assign(kSong, kSong + kSongSize);
    }
    if (!openSongPlayer(player.music, song.data(), uint32_t(song.size()), float(kPlayerSeconds), options.seed))
        return 1;
    player.grid = songGrid(song.data(), uint32_t(song.size()));
    const uint32_t instruments = player.music.synths[0]->instrumentCount.load();
    bool ok = initRecordedReplay(player.replay, *player.music.heard.load(), instruments);
    DisplayOptions window{.windowed = true, .width = options.width, .height = options.height};
    int32_t width = 0, height = 0;
    pictureSize(options.width, options.height, player.scale, &width, &height);
    // A program of the binary's own that does not build is reported and
    // drawn black; the source tree's version is tried right after.
    if (ok) {
        openShowPictures(player.pictures, width, height, player.replay, &window);
        ok = player.pictures.display.window != nullptr;
    }
    if (!ok) {
        closeSongPlayer(player.music);
        return 1;
    }
    SDL_SetWindowTitle(static_cast<SDL_Window*>(player.pictures.display.window), "intro_dev");
    openShaderReload(player.reload, player.shaders);
    openFileWatch(player.watch, {player.shaders, player.shaders + "/lib", player.songFolder});
    if (options.loop.end > options.loop.start) setLoop(player, options.loop);
    player.paused = options.paused;
    const double start = options.loop.end > options.loop.start && options.at == 0.0 ? options.loop.start : options.at;
    seekTo(player, start);
    pauseSong(player.music, player.paused);
    std::fprintf(stderr, "intro_dev: playing from %.3f s; shaders from %s, song from %s\n", start,
                 player.shaders.c_str(), player.songFolder.c_str());
    player.frameTimes.reserve(1 << 16);
    while (!player.quit) runFrame(player);
    printFrameSummary(player);
    closeFileWatch(player.watch);
    closeSongPlayer(player.music);
    closeShowPictures(player.pictures);
    releaseReplay(player.replay);
    SDL_Quit();
    return 0;
}
