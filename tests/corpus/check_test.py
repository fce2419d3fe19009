"""Tests of the corpus scripts' own logic: run with `python3 -m unittest check_test`."""
import argparse
import binascii
import os
import pathlib
import tempfile
import unittest

import check
import collect
import corpus

ROW = {"archive": "p/a-crc.zip", "sha256": "0" * 64, "password": "-", "bsdtar": "all 1", "bsdtar_tree": "aaaa",
       "7zz": "all 1", "7zz_tree": "bbbb", "zipfile": "all 1", "zipfile_tree": "cccc", "expect": "extract bsdtar",
       "note": ""}


def tree(files=(), dirs=()):
    return corpus.Tree(files={f.encode(): "h" + f for f in files}, dirs={d.encode() for d in dirs})


def digest_of(*files):
    return tree(files).digest()


class ExpectationTest(unittest.TestCase):
    def test_parse(self):
        cases = [
            ("extract bsdtar", corpus.Expectation("extract", reference="bsdtar", code=0)),
            ("extract both 1", corpus.Expectation("extract", reference="both", code=1)),
            ("refuse crc", corpus.Expectation("refuse", reason="crc")),
            ("refuse password 82", corpus.Expectation("refuse", reason="password", code=82)),
            ("refuse notzip 9 empty", corpus.Expectation("refuse", reason="notzip", code=9, empty=True)),
            ("refuse crc without=a,b/c", corpus.Expectation("refuse", reason="crc", without=("a", "b/c"))),
        ]
        for text, wanted in cases:
            with self.subTest(text):
                self.assertEqual(corpus.Expectation.parse(text), wanted)
        for text in ("?", "", "extract", "extract unzip", "refuse crc 0", "refuse nonsense", "extract 7zz x",
                     "refuse crc 2 3",
                     "refuse crc empty 2", "refuse crc without=", "refuse crc 2 empty x"):
            with self.subTest(text):
                self.assertRaises(ValueError, corpus.Expectation.parse, text)


class TreeTest(unittest.TestCase):
    def write(self, root, files, dirs=(), links=()):
        for d in dirs:
            os.makedirs(os.path.join(root, d), exist_ok=True)
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, name)) or root, exist_ok=True)
            pathlib.Path(root, name).write_bytes(data)
        for name, to in links:
            os.symlink(to, os.path.join(root, name))

    def digest(self, files, dirs=(), links=()):
        with tempfile.TemporaryDirectory() as root:
            self.write(root, files, dirs, links)
            return corpus.read_tree(root).digest()

    def test_digest_tells_names_contents_and_directories_apart(self):
        base = self.digest({"a/b.txt": b"x", "c": b""})
        self.assertEqual(base, self.digest({"c": b"", "a/b.txt": b"x"}))
        self.assertEqual(base, self.digest({"a/b.txt": b"x", "c": b""}, links=[("l", "c")]),
                         "links are not part of the tree")
        for other in ({"a/b.txt": b"y", "c": b""}, {"a/B.txt": b"x", "c": b""}, {"a/b.txt": b"x"},
                      {"a/b.txt": b"x", "c": b"", "d/": None}):
            with self.subTest(other):
                dirs = [n for n, v in other.items() if v is None]
                files = {n: v for n, v in other.items() if v is not None}
                self.assertNotEqual(base, self.digest(files, dirs))
        self.assertEqual(corpus.NONE, self.digest({}))

    def test_named_as_library(self):
        # The tools keep bytes that are not UTF-8 and back-slashes inside names.
        t = corpus.Tree(files={b"\x8e\\b": "1", b"d/\xc3\xa9": "2", b"a\\b": "3"}, dirs={b"d"})
        named = t.named_as_library()
        self.assertEqual({"\u00c4/b".encode(): "1", "d/\u00e9".encode(): "2", b"a/b": "3"}, named.files)
        self.assertEqual({"\u00c4".encode(), b"d", b"a"}, named.dirs)

    def test_count_includes_links_and_names_stay_bytes(self):
        with tempfile.TemporaryDirectory() as root:
            self.write(root, {"\udcff.txt": b"1"}, links=[("l", "x")])
            t = corpus.read_tree(root)
        self.assertEqual(2, t.count())
        self.assertIn(b"\xff.txt", t.files)


class JudgeTest(unittest.TestCase):
    def test_judge(self):
        good = digest_of("f")
        row = ROW | {"bsdtar_tree": good, "7zz_tree": digest_of("g")}
        cases = [
            # expect, code, files written, printed, escaped, problem, met
            ("extract bsdtar", 0, ["f"], "", [], "", True),
            ("extract both", 0, ["f"], "", [], "", True),
            ("extract 7zz", 0, ["f"], "", [], "", False),
            ("extract bsdtar", 1, ["f"], "", [], "", False),
            ("extract bsdtar 1", 1, ["f"], "", [], "", True),
            ("extract bsdtar", 0, ["f", "h"], "", [], "", False),
            ("extract bsdtar", 0, ["f"], "", ["up/evil"], "", False),
            ("refuse crc", 2, [], "a: CRC error", [], "", True),
            ("refuse crc", 2, ["f"], "a: CRC error", [], "", True),
            ("refuse crc", 0, [], "a: CRC error", [], "", False),
            ("refuse crc", 2, [], "a: bad data", [], "", False),
            ("refuse crc", 2, [], "storedcrcerror: bad data", [], "", False),
            ("refuse crc", 2, [], "/c/a-crc.zip: bad data", [], "", False),
            ("refuse crc 81", 2, [], "a: CRC error", [], "", False),
            ("refuse password 82 empty", 82, [], "a: wrong password", [], "", True),
            ("refuse password 82 empty", 82, ["f"], "a: wrong password", [], "", False),
            ("refuse password 82 without=g", 82, ["f"], "g: wrong password", [], "", True),
            ("refuse password 82 without=g", 82, ["f", "g"], "g: wrong password", [], "", False),
            ("refuse notzip", 9, [], "x: not a ZIP archive", [], "", True),
            ("refuse crc", None, [], "", [], "crash: signal 11", False),
        ]
        for expect, code, files, printed, escaped, problem, met in cases:
            with self.subTest(expect=expect, code=code, files=files, printed=printed, problem=problem):
                run = check.Run(code=code, printed=printed, tree=tree(files), escaped=escaped, problem=problem)
                misses = check.judge(corpus.Expectation.parse(expect), row, run)
                self.assertEqual(met, not misses, misses)

    def test_stale_reference(self):
        cases = [
            ("extract bsdtar", {}, False),
            ("extract 7zz", {"7zz": "some 1"}, True),
            ("extract both", {}, True),  # the trees of ROW differ
            ("extract both", {"7zz_tree": "aaaa"}, False),
            ("refuse crc", {"bsdtar": "none"}, False),
        ]
        for expect, changes, stale in cases:
            with self.subTest(expect=expect, changes=changes):
                found = check.stale_reference(corpus.Expectation.parse(expect), ROW | changes)
                self.assertEqual(stale, bool(found), found)

    def test_written_beside_the_target(self):
        with tempfile.TemporaryDirectory() as root:
            scratch = pathlib.Path(root)
            target = scratch / "up" / "up" / "target"
            (target / "inner").mkdir(parents=True)
            (target / "inner" / "file").write_bytes(b"")
            self.assertEqual([], check.written_beside(scratch, target))
            (scratch / "up" / "evil").write_bytes(b"")
            (scratch / "loose").mkdir()
            self.assertEqual(["loose", "up/evil"], sorted(check.written_beside(scratch, target)))

    def test_run_library_sees_results_crashes_and_escapes(self):
        # Stand-ins for the runner: bench_unzip32 --honor-directories --password PW ARCHIVE TARGET
        cases = [
            ('mkdir "$5/d" && echo x > "$5/d/f"', 0, 1, [], ""),
            ('echo "bench_unzip32: result 82" >&2; echo "f: wrong password" >&2; exit 1', 82, 0, [], ""),
            ('echo x > "$5/../escaped"; exit 0', 0, 0, ["escaped"], ""),
            ('kill -SEGV $$', None, 0, [], "crash: signal 11"),
            ('echo "cannot load" >&2; exit 1', None, 0, [], "runner failed (exit 1): cannot load"),
        ]
        for script, code, files, escaped, problem in cases:
            with self.subTest(script), tempfile.TemporaryDirectory() as root:
                runner = pathlib.Path(root, "runner")
                runner.write_text("#!/bin/sh\n" + script + "\n")
                runner.chmod(0o755)
                run = check.run_library(runner, None, pathlib.Path(root, "a.zip"), "pw", pathlib.Path(root, "s"))
                self.assertEqual((code, files, problem), (run.code, run.tree.count(), run.problem))
                self.assertEqual(escaped, [pathlib.PurePath(p).name for p in run.escaped])

    def test_known_failures_excuse_only_ordinary_misses(self):
        refusing = 'echo "bench_unzip32: result 2" >&2; echo "a: CRC error" >&2; exit 1'
        extracting = "exit 0"
        cases = [
            # runner, listed as known, verdict
            (refusing, False, "pass"),
            (refusing, True, "fail"),  # passes, so it must leave the list
            (extracting, False, "fail"),
            (extracting, True, "known"),
            ("kill -SEGV $$", True, "fail"),
            ('echo x > "$5/../escaped"', True, "fail"),
        ]
        for script, known, verdict in cases:
            with self.subTest(script=script, known=known), tempfile.TemporaryDirectory() as root:
                archive = pathlib.Path(root, "c", "p", "a-crc.zip")
                archive.parent.mkdir(parents=True)
                archive.write_bytes(b"PK")
                runner = pathlib.Path(root, "runner")
                runner.write_text("#!/bin/sh\n" + script + "\n")
                runner.chmod(0o755)
                args = argparse.Namespace(corpus=pathlib.Path(root, "c"), runner=runner, library=None,
                                          known=pathlib.Path("known-failures.txt"), explain=False,
                                          known_names={"p/a-crc.zip"} if known else set())
                row = ROW | {"sha256": corpus.file_sha256(archive), "expect": "refuse crc 2"}
                self.assertEqual(verdict, check.check_row(row, args, pathlib.Path(root, "s"))[0])

    def test_runner_result(self):
        cases = [
            (0, "", (0, "")),
            (1, "bench_unzip32: result 82\nx: wrong password\n", (82, "")),
            (-11, "", (None, "crash: signal 11")),
            (1, "bench_unzip32: libunzip32.so: cannot open\n", (None, "runner failed (exit 1): "
                                                                  "bench_unzip32: libunzip32.so: cannot open")),
        ]
        for returncode, stderr, wanted in cases:
            with self.subTest(returncode=returncode, stderr=stderr):
                self.assertEqual(wanted, check.runner_result(returncode, stderr))


class TableTest(unittest.TestCase):
    def test_round_trip_keeps_comments_and_rejects_short_rows(self):
        with tempfile.TemporaryDirectory() as root:
            path = pathlib.Path(root, "t.tsv")
            corpus.write_table([ROW], ["# a comment"], path)
            self.assertEqual(([ROW], ["# a comment"]), corpus.read_table(path))
            path.write_text("a\tb\n")
            self.assertRaises(ValueError, corpus.read_table, path)


class CollectTest(unittest.TestCase):
    def test_uudecode_and_zip_recognition(self):
        data = bytes(range(256)) * 3 + b"PK\x05\x06" + b"\0" * 18
        text = b"begin 644 x.zip\n" + b"".join(binascii.b2a_uu(data[i:i + 45]) for i in range(0, len(data), 45))
        self.assertEqual(data, collect.uudecode(text + b"`\nend\n"))
        self.assertTrue(collect.looks_like_zip(data))
        self.assertTrue(collect.looks_like_zip(b"PK\x03\x04 and no end record"))
        self.assertFalse(collect.looks_like_zip(b"Rar!\x1a\x07 PK\x03\x04 inside"))


if __name__ == "__main__":
    unittest.main()
