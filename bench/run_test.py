"""Tests of the benchmark runner's own logic: run with `python3 -m unittest run_test`."""
import os
import re
import tempfile
import unittest

import run
from run import Row, Spread

STRACE_TEXT = """\
% time     seconds  usecs/call     calls    errors syscall
------ ----------- ----------- --------- --------- ----------------
 40.00    0.400000           8     50000           linkat
 30.00    0.300000           6     50000           openat
 20.00    0.200000           2    100000         3 write
 10.00    0.100000          10     10000        12 futex
------ ----------- ----------- --------- --------- ----------------
100.00    1.000000           4    210000        15 total
"""


class RowOfTest(unittest.TestCase):
    def test_best_of_the_first_runs_and_spread_of_all(self):
        cases = [
            # times, best of, with spread, wanted row
            ([3.0, 1.0, 2.0], 3, False, Row("t", 1.0, 7, None)),
            ([2.0, 1.5, 9.0, 1.0, 1.2], 3, True, Row("t", 1.5, 7, Spread(1.5, 1.0, 9.0, 5))),
            ([4.0, 2.0, 3.0, 1.0], 4, True, Row("t", 1.0, 7, Spread(2.5, 1.0, 4.0, 4))),
            ([5.0], 1, False, Row("t", 5.0, 7, None)),
        ]
        for times, best_of, with_spread, wanted in cases:
            with self.subTest(times=times, best_of=best_of):
                self.assertEqual(run.row_of("t", times, best_of, 7, with_spread), wanted)

    def test_runs_for(self):
        self.assertEqual(run.runs_for(False, 3), 3)
        self.assertEqual(run.runs_for(True, 3), run.SPREAD_RUNS)
        self.assertEqual(run.runs_for(True, 9), 9)


class FileListTest(unittest.TestCase):
    def test_base_names_and_sizes_in_archive_order(self):
        manifest = {"small/d001/f00001.txt": (700, 1), "small/d000/f00000.bin": (0, 2), "top": (5, 3)}
        self.assertEqual(run.file_list_of(manifest), "700\tf00001.txt\n0\tf00000.bin\n5\ttop\n")

    def test_two_files_of_one_base_name_fail(self):
        with self.assertRaisesRegex(run.Failure, "two files are named x"):
            run.file_list_of({"a/x": (1, 0), "b/x": (2, 0)})

    def test_output_of_the_list_is_checked_like_an_extraction(self):
        manifest = {"a/one": (3, 0), "b/two": (0, 0)}
        spoils = [
            ("whole", lambda out: None, None),
            ("missing", lambda out: os.remove(os.path.join(out, "two")), "extracted 1 files"),
            ("short", lambda out: open(os.path.join(out, "one"), "wb").close(), "one has 0 bytes"),
            ("extra", lambda out: open(os.path.join(out, "three"), "wb").close(), "extracted 3 files"),
        ]
        for what, spoil, error in spoils:
            with self.subTest(what), tempfile.TemporaryDirectory() as out:
                for line in run.file_list_of(manifest).splitlines():
                    size, name = line.split("\t")
                    with open(os.path.join(out, name), "wb") as f:
                        f.write(b"x" * int(size))
                spoil(out)
                if error is None:
                    run.check_output(out, manifest, flatten=True, full=False)
                else:
                    with self.assertRaisesRegex(run.Failure, error):
                        run.check_output(out, manifest, flatten=True, full=False)

    def test_labels(self):
        self.assertEqual(run.file_floor_label(1), "file creation floor, 1 thread")
        self.assertEqual(run.file_floor_label(2), "file creation floor, 2 threads")

    def test_key_values(self):
        self.assertEqual(run.key_values("files=3 seconds=0.5\n"), {"files": "3", "seconds": "0.5"})
        self.assertRaises(run.Failure, run.key_values, "files 3")


def cells(line):
    return line.strip().strip("|").split("|")


class TableTest(unittest.TestCase):
    ROWS = [
        Row("bsdtar", 2.0, 2048),
        Row(run.LIBRARY, 1.0, 1024, Spread(1.2, 0.9, 3.0, 5)),
        Row(run.LIBRARY_ONE_CORE, None, 0),
        Row("floor: cp of the archive", 0.5, 512),
    ]

    def test_without_spreads_the_columns_stay_as_they_were(self):
        lines = run.table_lines([Row("bsdtar", 2.0, 2048), Row("7z", 4.0, 1024)], 100 * run.MIB)
        self.assertEqual(lines, [
            "| tool | wall s | MiB/s | x fastest peer | peak RSS MiB |",
            "|---|---:|---:|---:|---:|",
            "| bsdtar | 2.000 | 50 | 1.00 | 2.0 |",
            "| 7z | 4.000 | 25 | 2.00 | 1.0 |",
        ])

    def test_a_spread_adds_a_column_that_every_row_fills(self):
        lines = run.table_lines(self.ROWS, 100 * run.MIB)
        self.assertEqual(lines[0].split("|")[-2].strip(), "median (min-max) of 5 runs, s")
        self.assertEqual({len(cells(line)) for line in lines}, {6})
        self.assertEqual(lines[3], "| unzip32 (library) | 1.000 | 100 | 0.50 | 1.0 | 1.200 (0.900-3.000) |")
        self.assertEqual(cells(lines[4])[1].strip(), "failed")
        self.assertEqual(cells(lines[5])[5].strip(), "")


class StraceTest(unittest.TestCase):
    def test_parse(self):
        self.assertEqual(run.parse_strace_summary(STRACE_TEXT), [
            run.StraceRow("linkat", 50000, 0, 0.4),
            run.StraceRow("openat", 50000, 0, 0.3),
            run.StraceRow("write", 100000, 3, 0.2),
            run.StraceRow("futex", 10000, 12, 0.1),
        ])

    def test_what_is_no_table_fails(self):
        bad_row = STRACE_TEXT.replace("  10000        12 futex", " futex")
        for text in ("", "strace: exec: No such file or directory\n", bad_row, STRACE_TEXT[:200]):
            with self.subTest(text[:40]):
                self.assertRaises(ValueError, run.parse_strace_summary, text)

    def test_calls_per_file_most_first_with_a_total(self):
        lines = run.strace_lines(run.parse_strace_summary(STRACE_TEXT), 50000)
        self.assertEqual(lines[2:], [
            "| write | 100000 | 2.00 | 3 | 0.200 |",
            "| linkat | 50000 | 1.00 |  | 0.400 |",
            "| openat | 50000 | 1.00 |  | 0.300 |",
            "| futex | 10000 | 0.20 | 12 | 0.100 |",
            "| total | 210000 | 4.20 | 15 | 1.000 |",
        ])


class ChartTest(unittest.TestCase):
    def results(self):
        b_rows = [Row("bsdtar", 2.0, 1), Row(run.LIBRARY, 1.0, 1), Row(run.LIBRARY_ONE_CORE, 1.5, 1),
                  Row(run.file_floor_label(1), 0.8, 1), Row(run.file_floor_label(2), 0.5, 1)]
        c_rows = [Row("bsdtar", 1.0, 1), Row(run.LIBRARY, 0.5, 1, Spread(0.7, 0.5, 1.5, 5)),
                  Row(run.LIBRARY_ONE_CORE, None, 0), Row("floor: cp of the archive", 0.4, 1, Spread(0.6, 0.4, 0.9, 5))]
        return [("(b) small", b_rows), ("(c) stored", c_rows)]

    def test_a_bar_for_every_row_with_a_time_and_a_whisker_for_every_spread(self):
        svg = run.chart_svg(self.results(), "scale 1")
        bars = re.findall(r"<title>([^<]*): ([0-9.]+)</title>", svg)
        self.assertEqual(bars, [
            ("bsdtar", "1.00"), ("unzip32 (library)", "0.50"), ("unzip32 (library), 1 core", "0.75"),
            ("file creation floor, 1 thread", "0.40"), ("file creation floor, 2 threads", "0.25"),
            ("bsdtar", "1.00"), ("unzip32 (library)", "0.50"), ("floor: cp of the archive", "0.40"),
        ])
        self.assertEqual(svg.count("<circle"), 3)  # two whiskers and the legend's
        self.assertIn("min-max of 5 runs", svg)

    def test_no_whisker_without_a_spread(self):
        svg = run.chart_svg(self.results()[:1], "scale 1")
        self.assertNotIn("<circle", svg)
        self.assertNotIn("min-max", svg)

    def test_every_tool_has_a_colour_of_its_own(self):
        names = ["tool %d" % i for i in range(len(run.CHART_COLOURS))]
        svg = run.chart_svg([("(a)", [Row("bsdtar", 1.0, 1)] + [Row(n, 1.0, 1) for n in names])], "")
        legend = re.findall(r'<rect x="\d+" y="\d+" width="12" height="12" fill="(#[0-9a-f]+)"/>', svg)
        self.assertEqual(len(legend), len(names) + 1)
        self.assertEqual(len(set(legend)), len(run.CHART_COLOURS))


if __name__ == "__main__":
    unittest.main()
