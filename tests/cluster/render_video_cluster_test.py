#!/usr/bin/env python3
"""The whole show rendered as a Slurm job array on a single-node Slurm started
here, joined by a dependent job, and held against the same show rendered by
one process: the same decoded frames, the same song samples, the song
aligned with the pictures, the length of the show; then a chunk killed in
the middle of its render, and a re-run that renders that chunk alone.

  render_video_cluster_test.py --build BUILD_DIR
"""
import array
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from single_node_slurm import SingleNodeSlurm  # noqa: E402

SCRIPT = os.path.join(HERE, "..", "..", "scripts", "render-video")
BUILD = None
SIZE, FPS = "192x108", 10
SAMPLE_RATE = 44100
LEAD_FRAMES, LEAD_SILENCE = 2, 1323  # the lead-in at 10 frames a second
slurm = None
scratch = None


def setUpModule():
    global slurm, scratch
    scratch = tempfile.mkdtemp(prefix="render_video_cluster_")
    slurm = SingleNodeSlurm()
    try:
        slurm.start()
    except Exception:
        slurm.stop()
        raise


def tearDownModule():
    slurm.stop()
    shutil.rmtree(scratch, ignore_errors=True)


def run(argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, check=True, env=slurm.env, **kw)


def render_video(*argv):
    return run([sys.executable, SCRIPT, "--build", BUILD] + list(argv))


def frame_hashes(argv_input):
    """MD5 of every decoded frame of an ffmpeg input (given as its arguments)."""
    out = run(["ffmpeg", "-v", "error"] + argv_input + ["-f", "framemd5", "-"]).stdout
    return [line.split(",")[-1].strip() for line in out.splitlines() if not line.startswith("#")]


def rgb_frame(video, index, size):
    """Frame `index` of a video as raw RGB bytes."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-vf", f"select=eq(n\\,{index})", "-frames:v", "1",
                           "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True, check=True).stdout


def samples(path, start, count):
    """`count` mono 16-bit samples from `start` s of a file's first audio stream, decoded from its beginning."""
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-af",
                          f"atrim=start_sample={round(start * SAMPLE_RATE)}:end_sample="
                          f"{round(start * SAMPLE_RATE) + count}", "-ac", "1", "-f", "s16le", "-"],
                         capture_output=True, check=True).stdout
    return array.array("h", out)


def best_lag(heard, expected, most):
    """The shift (samples) of `heard` against `expected` that correlates best, and that correlation (-1..1)."""
    n = len(expected) - 2 * most
    best = (0, -2.0)
    reference = expected[most:most + n]
    norm_b = sum(v * v for v in reference) ** 0.5
    for lag in range(-most, most + 1):
        window = heard[most + lag:most + lag + n]
        dot = sum(a * b for a, b in zip(window, reference))
        norm_a = sum(v * v for v in window) ** 0.5
        score = dot / (norm_a * norm_b) if norm_a and norm_b else 0.0
        if score > best[1]:
            best = (lag, score)
    return best


def wait_for_file(path, text, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                if text in f.read():
                    return True
        time.sleep(0.05)
    return False


def chunk_logs(folder):
    """Every log of a run's jobs, for a failure's message."""
    logs = os.path.join(folder, "logs")
    text = []
    for name in sorted(os.listdir(logs)):
        with open(os.path.join(logs, name)) as f:
            text.append(f"--- {name}\n{f.read()}")
    return "\n".join(text)


def submitted_jobs(output):
    """The chunk and join job ids from render-video's --slurm line."""
    words = output.split()
    return words[words.index("job") + 1], words[words.index("join") + 3].rstrip(";")


class WholeShowOnSlurm(unittest.TestCase):
    def test_job_array_matches_one_process(self):
        folder = os.path.join(scratch, "array")
        render_video("plan", folder, "--chunks", "4", "--by", "cost", "--size", SIZE, "--fps", str(FPS))
        started = time.monotonic()
        out = render_video("run", folder, "--slurm").stdout
        chunks_job, join_job = submitted_jobs(out)
        self.assertTrue(slurm.wait_gone(join_job, 900), "the jobs did not end:\n" + chunk_logs(folder))
        array_seconds = time.monotonic() - started
        with open(os.path.join(folder, "logs", "join.log")) as f:
            join_log = f.read()
        self.assertEqual(slurm.job_state(join_job), "COMPLETED", join_log + slurm.logs())
        with open(os.path.join(folder, "manifest.json")) as f:
            manifest = json.load(f)
        self.assertEqual(len(manifest["chunks"]), 4)

        # The same frames by one process.
        started = time.monotonic()
        whole = os.path.join(scratch, "whole.mkv")
        run([os.path.join(BUILD, "tools", "capture"), "--video", whole, "--frames", "0-1150", "--size", SIZE,
             "--fps", str(FPS)])
        one_seconds = time.monotonic() - started
        print(f"\ncluster: job array and join job, submission to end (scheduling and encode included) "
              f"{array_seconds:.1f} s; one capture process for the same frames {one_seconds:.1f} s", file=sys.stderr)
        joined = frame_hashes(["-f", "concat", "-safe", "0", "-i", os.path.join(folder, "chunks.txt")])
        single = frame_hashes(["-i", whole])
        self.assertEqual(len(single), 1151)
        self.assertEqual(joined, single)
        self.assertGreater(len(set(single)), 500, "too few distinct frames for the comparison to mean much")

        # The song in the sound track: songrender's samples exactly, after the lead-in's silence.
        song = os.path.join(scratch, "song.wav")
        run([os.path.join(BUILD, "tools", "songrender"), "-o", song, "--seed", "1", "--seconds", "116"])
        with wave.open(os.path.join(folder, "soundtrack.wav")) as track, wave.open(song) as reference:
            total = track.getnframes()
            self.assertEqual(total, round((LEAD_FRAMES + 1151) / FPS * SAMPLE_RATE))
            data = track.readframes(total)
            self.assertEqual(data[:LEAD_SILENCE * 4], bytes(LEAD_SILENCE * 4))
            self.assertEqual(data[LEAD_SILENCE * 4:], reference.readframes(total - LEAD_SILENCE))

        # The final file: every frame, as long as the show within a frame.
        video = os.path.join(folder, "show-party.mp4")
        probe = run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name,profile,pix_fmt,nb_frames:"
                     "format=duration", "-of", "json", video]).stdout
        info = json.loads(probe)
        video_stream, audio_stream = info["streams"]
        self.assertEqual((video_stream["codec_name"], video_stream["profile"], video_stream["pix_fmt"]),
                         ("h264", "High", "yuv420p"))
        self.assertEqual(int(video_stream["nb_frames"]), LEAD_FRAMES + 1151)
        self.assertEqual(audio_stream["codec_name"], "aac")
        # Music time 0 to the last frame (clock 115 s, music 115.17 s), which lasts a frame.
        self.assertLessEqual(abs(float(info["format"]["duration"]) - (115.17 + 1 / FPS)), 1 / FPS)

        # The decoded AAC against songrender's song: video time t is music time t - lead + 0.17.
        lead = LEAD_FRAMES / FPS
        for t in (5.0, 30.0, 65.0, 105.0):
            with self.subTest(t=t):
                heard = samples(video, t - 0.01, 4410 + 882)
                expected = samples(song, t - lead + 0.17 - 0.01, 4410 + 882)
                lag, score = best_lag(heard, expected, 441)
                self.assertLessEqual(abs(lag), 44, f"lag {lag} samples at {t} s")
                self.assertGreater(score, 0.9)

        # The frame at clock t: the intermediate holds capture --time t exactly, and the
        # final file shows it at t + lead (closer to it than its neighbours are).
        for t in (35.5, 64.6):
            with self.subTest(t=t):
                still = os.path.join(scratch, f"still_{t}.png")
                run([os.path.join(BUILD, "tools", "capture"), "--time", str(t), "--size", SIZE, "-o", still])
                picture = subprocess.run(["ffmpeg", "-v", "error", "-i", still, "-f", "rawvideo", "-pix_fmt",
                                          "rgb24", "-"], capture_output=True, check=True).stdout
                index = round(t * FPS)
                self.assertEqual(rgb_frame(whole, index, SIZE), picture)

                def distance(frame):
                    return sum(abs(a - b) for a, b in zip(frame, picture)) / len(picture)
                shown = [distance(rgb_frame(video, LEAD_FRAMES + index + k, SIZE)) for k in (-1, 0, 1)]
                self.assertLess(shown[1], min(shown[0], shown[2]), shown)


class KilledChunk(unittest.TestCase):
    def test_rerun_renders_only_the_killed_chunk(self):
        folder = os.path.join(scratch, "killed")
        # Bigger frames at a low rate: chunk 1 (the cube grid and the tubes) runs for several seconds.
        render_video("plan", folder, "--chunks", "4", "--by", "count", "--size", "320x180", "--fps", "4")
        out = render_video("run", folder, "--slurm", "--preset", "preview").stdout
        chunks_job, join_job = submitted_jobs(out)
        log = os.path.join(folder, "logs", "chunk-1.log")
        self.assertTrue(wait_for_file(log, "] ", 120), "chunk 1 never showed progress")
        slurm.run(["scancel", f"{chunks_job}_1"])
        self.assertTrue(slurm.wait_gone(chunks_job, 300))
        self.assertEqual(slurm.job_state(f"{chunks_job}_1"), "CANCELLED")
        # The join waits for a dependency that can no longer be met.
        slurm.run(["scancel", join_job])
        self.assertTrue(slurm.wait_gone(join_job, 60))
        with open(os.path.join(folder, "manifest.json")) as f:
            manifest = json.load(f)
        self.assertEqual([c["sha256"] is not None for c in manifest["chunks"]], [True, False, True, True])
        self.assertFalse(os.path.exists(os.path.join(folder, "chunk-0001.mkv")))
        kept = {i: os.stat(os.path.join(folder, f"chunk-{i:04d}.mkv")).st_mtime_ns for i in (0, 2, 3)}

        out = render_video("run", folder, "--slurm", "--preset", "preview").stdout
        chunks_job, join_job = submitted_jobs(out)
        self.assertTrue(slurm.wait_gone(join_job, 600), "the re-run did not end:\n" + chunk_logs(folder))
        self.assertEqual(slurm.job_state(join_job), "COMPLETED", slurm.logs())
        for i in range(4):
            with open(os.path.join(folder, "logs", f"chunk-{i}.log")) as f:
                text = f.read()
            with self.subTest(chunk=i):
                if i == 1:
                    self.assertIn("chunk 1: rendered", text)
                else:
                    self.assertIn("done already: skipped", text)
                    self.assertNotIn("rendering", text)
        for i, stamp in kept.items():
            self.assertEqual(os.stat(os.path.join(folder, f"chunk-{i:04d}.mkv")).st_mtime_ns, stamp)
        self.assertTrue(os.path.exists(os.path.join(folder, "show-preview.mp4")))


if __name__ == "__main__":
    if "--build" in sys.argv:
        at = sys.argv.index("--build")
        BUILD = os.path.abspath(sys.argv[at + 1])
        del sys.argv[at:at + 2]
    else:
        BUILD = os.path.join(HERE, "..", "..", "build")
    unittest.main()
