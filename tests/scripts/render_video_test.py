#!/usr/bin/env python3
"""scripts/render-video without rendering: how the show is cut into chunks,
the lead-in that keeps the song on its frames, the manifest's records under
many writers, which chunk a batch worker takes, and the refusals of chunk
and join."""
import hashlib
import io
import json
import multiprocessing
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import types
import unittest
from unittest import mock

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "render-video")
# The script has no .py ending, so it is loaded as a module by hand.
rv = types.ModuleType("render_video")
rv.__file__ = SCRIPT
sys.modules["render_video"] = rv
with open(SCRIPT, encoding="utf-8") as source:
    exec(compile(source.read(), SCRIPT, "exec"), rv.__dict__)


def manifest_for(ranges):
    return {"size": [64, 36], "fps": 10, "seed": 1, "frames": ranges[-1][1] + 1, "commit": rv.build_commit(),
            "chunks": [{"index": i, "first": a, "last": b, "file": f"chunk-{i:04d}.mkv", "sha256": None, "cost": 1}
                       for i, (a, b) in enumerate(ranges)]}


class Planning(unittest.TestCase):
    def test_chunks_are_whole_frames_covering_the_show_once(self):
        cases = [
            # costs, chunks, expected ranges
            ([1] * 10, 1, [(0, 9)]),
            ([1] * 10, 2, [(0, 4), (5, 9)]),
            ([1] * 10, 10, [(i, i) for i in range(10)]),
            ([1] * 7, 3, [(0, 2), (3, 4), (5, 6)]),
            # One dear frame in front: it fills a chunk alone.
            ([30, 1, 1, 1, 1, 1, 1], 2, [(0, 0), (1, 6)]),
            # Dear frames at the end must still leave every chunk a frame.
            ([0, 0, 0, 0, 100], 3, [(0, 2), (3, 3), (4, 4)]),
            ([0, 0, 0, 100, 100], 2, [(0, 3), (4, 4)]),
        ]
        for costs, chunks, expected in cases:
            with self.subTest(costs=costs, chunks=chunks):
                ranges = rv.split_evenly(costs, chunks)
                self.assertEqual(ranges, expected)

    def test_cost_balances_the_whole_show(self):
        # The show at 10 frames a second: a cheap start, a dear middle.
        costs = [1.0] * 400 + [8.0] * 400 + [1.0] * 351
        ranges = rv.split_evenly(costs, 8)
        self.assertEqual(ranges[0][0], 0)
        self.assertEqual(ranges[-1][1], 1150)
        for (a, b), (c, _) in zip(ranges, ranges[1:]):
            self.assertEqual(b + 1, c)
        sums = [sum(costs[a:b + 1]) for a, b in ranges]
        self.assertLess(max(sums) - min(sums), 8.0 * 2, sums)

    def test_impossible_cuts_are_refused(self):
        for costs, chunks in (([1] * 3, 4), ([1] * 3, 0), ([], 1)):
            with self.subTest(chunks=chunks), self.assertRaises(rv.Failure):
                rv.split_evenly(costs, chunks)

    def test_last_frame_and_lead_in(self):
        # (fps, last frame, lead-in frames, silence samples before the song)
        for fps, last, frames, silence in ((60, 6900, 11, 588), (30, 3450, 6, 1323), (10, 1150, 2, 1323),
                                           (24, 2760, 5, 1690), (7, 805, 2, 5103), (1, 115, 1, 36603)):
            with self.subTest(fps=fps):
                self.assertEqual(rv.last_show_frame(fps), last)
                self.assertEqual(rv.lead_in(fps), (frames, silence))
                # Frame 0 lies 0.17 s after music time 0, within one sample.
                self.assertAlmostEqual(frames / fps - silence / 44100, 0.17, delta=0.5 / 44100 + 1e-12)

    def test_scene_frames_and_timings_make_frame_costs(self):
        scenes = rv.parse_scene_frames("0 2 black\n3 4 cube grid\n5 5 flag\n")
        self.assertEqual(scenes, ["black"] * 3 + ["cube grid"] * 2 + ["flag"])
        timings = ("Sequence  scene  clock s  wall  cpu  ref cpu  cost\n"
                   "3         cube grid  35.76  23.9  10.0  17.8  0.56\n\n"
                   "per scene program, medians over all its Sequences' frames:\n"
                   "program               wall       cpu      cost\n"
                   "0 flag                 3.0       0.8      0.05\n"
                   "6 cube grid           23.9      10.0      0.56\n"
                   "reference march       40.9      16.3\n")
        costs = rv.parse_timings(timings)
        self.assertEqual(costs, {"flag": 0.8, "cube grid": 10.0})
        self.assertEqual(rv.frame_costs(scenes, costs), [0.8] * 3 + [10.0] * 2 + [0.8])
        with self.assertRaises(rv.Failure):
            rv.parse_scene_frames("0 2 black\n4 5 flag\n")  # frame 3 missing
        with self.assertRaises(rv.Failure):
            rv.parse_timings("no table here\n")


class Arguments(unittest.TestCase):
    def test_values_outside_their_range_are_refused_by_name(self):
        cases = [
            (["plan", "d", "--chunks", "0"], "--chunks: wants a whole number from 1 up"),
            (["plan", "d", "--fps", "241"], "--fps: wants a whole number from 1 to 240"),
            (["plan", "d", "--seed", "4294967296"], "--seed: wants a whole number from 0 to 4294967295"),
            (["plan", "d", "--size", "65x36"], "--size: wants even sides from 2 to 8192"),
            (["plan", "d", "--size", "640"], "--size: wants WIDTHxHEIGHT"),
            (["run", "d", "--local", "0"], "--local: wants a whole number from 1 up"),
            (["run", "d"], "one of the arguments --local --slurm is required"),
            (["run", "d", "--local", "2", "--slurm"], "not allowed with argument"),
        ]
        for argv, message in cases:
            with self.subTest(argv=argv), mock.patch.object(sys, "stderr", new=io.StringIO()) as err:
                with self.assertRaises(SystemExit) as exit:
                    rv.main(argv)
                self.assertEqual(exit.exception.code, 2)
                self.assertIn(message, err.getvalue())


def record(folder, index):
    rv.record_checksum(folder, index, f"{index:064x}")


class Manifest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def test_chunks_finishing_together_lose_no_record(self):
        rv.write_manifest(self.folder, manifest_for([(i, i) for i in range(16)]))
        with multiprocessing.Pool(8) as pool:
            pool.starmap(record, [(self.folder, i) for i in range(16)])
        chunks = rv.read_manifest(self.folder)["chunks"]
        self.assertEqual([c["sha256"] for c in chunks], [f"{i:064x}" for i in range(16)])
        self.assertEqual([n for n in os.listdir(self.folder) if n.startswith(".manifest")], [])

    def test_worker_index_comes_from_the_batch_engine(self):
        manifest = manifest_for([(0, 4), (5, 9), (10, 14)])
        args = mock.Mock(index=None)
        cases = [({"SLURM_ARRAY_TASK_ID": "2"}, 2), ({"JOB_COMPLETION_INDEX": "1"}, 1),
                 ({"SLURM_ARRAY_TASK_ID": "0", "JOB_COMPLETION_INDEX": "2"}, 0)]
        for environment, expected in cases:
            with self.subTest(environment=environment), mock.patch.dict(os.environ, environment, clear=True):
                self.assertEqual(rv.chunk_index(args, manifest), expected)
        for environment in ({}, {"SLURM_ARRAY_TASK_ID": "3"}, {"JOB_COMPLETION_INDEX": "-1"},
                            {"SLURM_ARRAY_TASK_ID": "1x"}):
            with self.subTest(environment=environment), mock.patch.dict(os.environ, environment, clear=True):
                with self.assertRaises(rv.Failure):
                    rv.chunk_index(args, manifest)

    def run_tool(self, *argv):
        # A build folder without tools: any attempt to render fails loudly.
        # The tool's stop handlers must not outlive it here (the pool's
        # workers inherit them).
        handlers = [signal.getsignal(s) for s in (signal.SIGTERM, signal.SIGINT)]
        try:
            return rv.main(["--build", self.folder] + list(argv))
        finally:
            signal.signal(signal.SIGTERM, handlers[0])
            signal.signal(signal.SIGINT, handlers[1])

    def test_a_finished_chunk_is_skipped_and_a_damaged_one_is_not(self):
        manifest = manifest_for([(0, 4), (5, 9)])
        path = os.path.join(self.folder, "chunk-0000.mkv")
        with open(path, "wb") as f:
            f.write(b"frames")
        manifest["chunks"][0]["sha256"] = hashlib.sha256(b"frames").hexdigest()
        rv.write_manifest(self.folder, manifest)
        self.assertEqual(self.run_tool("chunk", self.folder, "0"), 0)
        with open(path, "ab") as f:
            f.write(b"cut")  # a different file under the same name
        with mock.patch.object(sys, "stderr", new=open(os.devnull, "w")):
            self.assertEqual(self.run_tool("chunk", self.folder, "0"), 1)

    def test_join_refuses_missing_or_unrecorded_chunks(self):
        manifest = manifest_for([(0, 4), (5, 9), (10, 14)])
        for i in (0, 2):
            with open(os.path.join(self.folder, f"chunk-{i:04d}.mkv"), "wb") as f:
                f.write(b"frames")
        manifest["chunks"][0]["sha256"] = hashlib.sha256(b"frames").hexdigest()
        rv.write_manifest(self.folder, manifest)
        messages = []
        with mock.patch.object(rv, "say", messages.append):
            self.assertEqual(self.run_tool("join", self.folder), 1)
        self.assertIn("chunks not rendered or not whole: 1 2", messages[-1])

    def test_a_stop_signal_ends_the_helper_and_the_run(self):
        # A stand-in for capture that says who it is and waits.
        os.mkdir(os.path.join(self.folder, "tools"))
        fake = os.path.join(self.folder, "tools", "capture")
        marker = os.path.join(self.folder, "capture.pid")
        with open(fake, "w") as f:
            f.write(f"#!/bin/sh\necho $$ > {marker}.part && mv {marker}.part {marker}\nexec sleep 30\n")
        os.chmod(fake, 0o755)
        rv.write_manifest(self.folder, manifest_for([(0, 4)]))
        run = subprocess.Popen([sys.executable, SCRIPT, "--build", self.folder, "chunk", self.folder, "0"],
                               stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(marker) and time.monotonic() < deadline:
            time.sleep(0.02)
        with open(marker) as f:
            helper = int(f.read())
        run.send_signal(signal.SIGTERM)
        try:
            self.assertEqual(run.wait(timeout=5), 128 + signal.SIGTERM)
            with self.assertRaises(ProcessLookupError):
                os.kill(helper, 0)
        finally:
            for pid in (run.pid, helper):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            run.wait()
        self.assertIsNone(rv.read_manifest(self.folder)["chunks"][0]["sha256"])

    def test_a_new_plan_does_not_replace_one_under_way(self):
        rv.write_manifest(self.folder, manifest_for([(0, 9)]))
        messages = []
        with mock.patch.object(rv, "say", messages.append):
            self.assertEqual(self.run_tool("plan", self.folder, "--by", "count", "--chunks", "2"), 1)
        self.assertIn("a plan is under way", messages[-1])


if __name__ == "__main__":
    unittest.main()
