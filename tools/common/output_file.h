// The one way the tools write a file. The bytes go to a temporary file in the
// target's folder, every write is checked, the file is flushed to the disk
// (fsync) and only then renamed over the target: a run that fails or is
// stopped removes its own temporary file and nothing else, so a file that
// existed before the run is never truncated or lost, and another run's file
// is never touched.
//
// A target that exists and is not a regular file (/dev/null, /dev/full, a
// FIFO) is written directly and never removed; a FIFO nobody reads fails
// after a few seconds with a message instead of blocking for ever.
//
// Use:
//   if (!refuseSameFiles("tool", {input}, {outputA, outputB})) return 2;  // before any work
//   OutputFile out;
//   if (!openOutput("tool", path, out)) return 1;
//   if (!writeOutput(out, bytes, size) || !commitOutput(out)) return 1;
// or, for a helper process that writes the file itself (ffmpeg, sox):
//   openOutput(...); run the helper on outputWritePath(out); commitOutput(out).
// Each call that fails has already said why on stderr (tool, path, reason)
// and removed the temporary file; abandonOutput is for giving up otherwise.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

struct OutputFile {
    const char* tool = "";
    std::string target;     // the file the bytes are for (a symbolic link followed)
    std::string temporary;  // beside the target, with its extension; empty when written directly
    int fd = -1;            // open for writing until commit or abandon
};

// False, with a message, when an output is also an input or two outputs are
// one file (compared as files: "a/../b.wav" and a link to b.wav count as b.wav).
bool refuseSameFiles(const char* tool, std::initializer_list<const char*> inputs,
                     std::initializer_list<const char*> outputs);

// Starts writing `path`. The temporary file is registered with the stop
// handlers, so a signal removes it.
bool openOutput(const char* tool, const char* path, OutputFile& out);
// Where a helper process should write: the temporary file (same extension as
// the target, since ffmpeg picks its container by the name) or the target.
const char* outputWritePath(const OutputFile& out);
// Every byte, or false (and the output abandoned).
bool writeOutput(OutputFile& out, const void* bytes, size_t size);
// Flushes the file to the disk and renames it over the target.
bool commitOutput(OutputFile& out);
// Closes and removes the temporary file; the target is left as it was.
void abandonOutput(OutputFile& out);

// open + write + commit of one buffer.
bool writeWholeFile(const char* tool, const char* path, const uint8_t* bytes, size_t size);

// True when `path` names a regular file holding at least one byte.
bool fileHasBytes(const char* path);
