#!/usr/bin/env python3
"""Extraction benchmark: the program, the unzip library alone and other extractors, side by side.

Builds three archives deterministically (seeded generator, fixed time stamps, zlib level 6):

  (a) about 1 GiB of mixed text and binary files, deflate
  (b) 50,000 small files, deflate
  (c) one 2 GiB stored entry in a zip64 archive

and, for the reader's first pass alone, two archives of 1,000,000 directory entries (archive
key f): one name for all of them ("d/"), and 1,000,000 distinct names. The library lists
each (ExtractList 1); the first must take at most FIRST_PASS_MAX_RATIO times the second, so
that entries sharing a name never make the pass grow faster than n log n.

and extracts each with every tool, on a warm cache, best of N runs, each run into a fresh
output directory of its own (kept until all tools ran when it holds many files: see
KEEP_OUTPUTS_OF_FILES). Every run's output is checked (file count and
sizes; names, sizes and CRCs on the first run of a tool), so a tool that extracts wrongly
fails the benchmark instead of looking fast. Prints a Markdown table per archive: wall time,
throughput (uncompressed bytes per second), the ratio to the fastest peer (bsdtar, 7z,
Python's zipfile) and peak resident memory (ru_maxrss of the process).

The library runs twice over: as it is, on every core, and limited to one core (`taskset`),
which shows what its second thread is worth.

Floors: zlib's, ISA-L's and libdeflate's inflate alone on the raw data, already in memory
(bench tool bench_inflate_floor; its memory figure includes the raw data); for (b) the
creation of its files from memory with the library's system calls on one and on two threads
(bench tool bench_file_floor: the same count and sizes, under the names the library gives
them), which is the kernel's share; and `cp` of the archive for the stored archive (c).

On (c) single runs vary with the disk's write-back: there the library and `cp` also run 5
times (or --runs, if more) for a median with its spread (min-max) beside the best of N.

The tables are also drawn as an SVG bar chart, one group of bars per archive, each tool's time
relative to bsdtar's (docs/bench.svg unless --chart names another file).

    bench/run.py                 # full size; archives cached in build-bench/data
    bench/run.py --scale 0.1     # a tenth of every size, for a quick check
    bench/run.py --strace        # and the library's system calls on (b), from strace -c -f, and
                                 # by thread (calling thread, workers) from strace -f
    bench/run.py --archives f    # the first pass over a million entries alone
"""

import argparse
import array
import collections
import hashlib
import itertools
import json
import math
import os
import random
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import textwrap
import time
import zipfile
import zlib
from xml.sax.saxutils import escape

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GENERATOR_VERSION = 1  # bump when the archives' contents change
TOKEN = "KvtZRX615"
MIB = 1 << 20
GIB = 1 << 30
FIXED_TIME = (2024, 5, 17, 12, 30, 0)
PEERS = ("bsdtar", "7z", "python zipfile")
LIBRARY = "unzip32 (library)"
LIBRARY_ONE_CORE = "unzip32 (library), 1 core"
# Archives whose many small files are also written from memory alone, on these thread counts.
FILE_FLOOR_ARCHIVES = "b"
FILE_FLOOR_THREADS = (1, 2)
# Archives on which the library (and cp) vary from run to run with the disk's write-back and
# the file system's allocation of many inodes: they get a median and spread of at least this
# many runs.
SPREAD_ARCHIVES = "bc"
SPREAD_RUNS = 5


# ---------------------------------------------------------------------------------------------
# Deterministic archives


class Pools:
    """Seeded material that files are cut from: text of words, and structured binary."""

    def __init__(self, rng):
        letters = "etaoinshrdlucmfwypvbgkjqxz"
        weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1]
        words = set()
        while len(words) < 6000:
            n = min(12, max(1, int(rng.expovariate(1 / 5)) + 1))
            words.add("".join(rng.choices(letters, weights, k=n)))
        words = sorted(words)
        cum_weights = list(itertools.accumulate(1 / (i + 1) for i in range(len(words))))  # Zipf-like
        lines = []
        size = 0
        while size < 8 * MIB:
            line = " ".join(rng.choices(words, cum_weights=cum_weights, k=rng.randint(4, 16)))
            if rng.random() < 0.2:
                line += " %d.%02d" % (rng.randint(0, 99999), rng.randint(0, 99))
            line = line.capitalize() + rng.choice([".", ".", ",", ";", ":", "?"]) + "\n"
            lines.append(line)
            size += len(line)
        self.text = "".join(lines).encode("ascii")

        # Structured binary: records of slowly growing little-endian integers, short random
        # runs and zero padding, as in object files, databases and raw images.
        parts = []
        size = 0
        while size < 8 * MIB:
            kind = rng.random()
            if kind < 0.5:
                step = rng.randint(1, 64)
                table = bytes(b % (step + 1) for b in range(256))
                deltas = rng.randbytes(rng.randint(64, 2048)).translate(table)
                values = array.array("I", itertools.accumulate(deltas, initial=rng.randrange(1 << 24)))
                parts.append(values.tobytes())
            elif kind < 0.8:
                parts.append(rng.randbytes(rng.randint(16, 4096)))
            else:
                parts.append(bytes(rng.randint(16, 8192)))
            size += len(parts[-1])
        self.binary = b"".join(parts)

    def cut(self, rng, pool, size):
        """`size` bytes made of pieces of `pool` from random places."""
        out = bytearray()
        while len(out) < size:
            n = min(size - len(out), rng.randint(16 * 1024, 256 * 1024))
            start = rng.randrange(0, len(pool) - n + 1)
            out += pool[start : start + n]
        return bytes(out)


def info(name, compress_type):
    zi = zipfile.ZipInfo(name, date_time=FIXED_TIME)
    zi.compress_type = compress_type
    zi.create_system = 3
    zi.external_attr = 0o644 << 16
    return zi


def write_mixed(path, scale, rng, pools):
    """(a): mixed text, structured binary and random files, 1 KiB to 16 MiB each."""
    total = int(GIB * scale)
    written = 0
    index = 0
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as zf:
        while written < total:
            size = int(2 ** rng.uniform(10, 24))
            size = min(size, total - written)
            kind = rng.random()
            if kind < 0.55:
                data, ext = pools.cut(rng, pools.text, size), "txt"
            elif kind < 0.85:
                data, ext = pools.cut(rng, pools.binary, size), "bin"
            else:
                data, ext = rng.randbytes(size), "dat"
            name = "mixed/d%02d/file%05d.%s" % (index % 16, index, ext)
            zf.writestr(info(name, zipfile.ZIP_DEFLATED), data)
            written += size
            index += 1


def write_small(path, scale, rng, pools):
    """(b): 50,000 small files, 100 bytes to 8 KiB, in 100 directories."""
    count = max(1, int(50000 * scale))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as zf:
        for index in range(count):
            size = int(2 ** rng.uniform(6.6, 13))
            if rng.random() < 0.8:
                data, ext = pools.cut(rng, pools.text, size), "txt"
            else:
                data, ext = pools.cut(rng, pools.binary, size), "bin"
            name = "small/d%03d/f%05d.%s" % (index % 100, index, ext)
            zf.writestr(info(name, zipfile.ZIP_DEFLATED), data)


def write_stored(path, scale, rng, pools):
    """(c): one stored entry of 2 GiB of random bytes, zip64."""
    total = int(2 * GIB * scale)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED, allowZip64=True) as zf:
        with zf.open(info("stored/big.bin", zipfile.ZIP_STORED), "w", force_zip64=True) as out:
            left = total
            while left:
                n = min(left, 16 * MIB)
                out.write(rng.randbytes(n))
                left -= n


ARCHIVES = {
    "a": ("(a) mixed text and binary, deflate", write_mixed),
    "b": ("(b) 50,000 small files, deflate", write_small),
    "c": ("(c) one 2 GiB stored entry, zip64", write_stored),
}


def manifest_of(path):
    """Files of an archive: name -> (size, crc), directories left out."""
    with zipfile.ZipFile(path) as zf:
        return {
            zi.filename: (zi.file_size, zi.CRC) for zi in zf.infolist() if not zi.is_dir()
        }


def ensure_archive(key, scale, data_dir):
    """Returns (path, manifest) of archive `key`, building it when it is missing."""
    stem = "%s-scale%s-v%d" % (key, ("%g" % scale).replace(".", "_"), GENERATOR_VERSION)
    path = os.path.join(data_dir, stem + ".zip")
    manifest_path = os.path.join(data_dir, stem + ".json")
    if os.path.exists(path) and os.path.exists(manifest_path):
        with open(manifest_path) as f:
            manifest = {k: tuple(v) for k, v in json.load(f).items()}
        return path, manifest
    os.makedirs(data_dir, exist_ok=True)
    print("building archive %s at scale %g ..." % (key, scale), file=sys.stderr, flush=True)
    started = time.perf_counter()
    seed = int.from_bytes(hashlib.sha256(("nocunzip-bench-" + key).encode()).digest()[:8], "big")
    rng = random.Random(seed)
    pools = Pools(rng)
    partial = path + ".part"
    ARCHIVES[key][1](partial, scale, rng, pools)
    manifest = manifest_of(partial)
    with open(manifest_path, "w") as f:
        json.dump(manifest, f)
    os.replace(partial, path)
    print(
        "  %s: %.1f MiB in %.0f s" % (path, os.path.getsize(path) / MIB, time.perf_counter() - started),
        file=sys.stderr,
    )
    return path, manifest


# ---------------------------------------------------------------------------------------------
# The first pass over a million entries

FIRST_PASS_KEY = "f"
FIRST_PASS_ENTRIES = 1_000_000
FIRST_PASS_MAX_RATIO = 2.0
FIRST_PASS_ARCHIVES = (
    ("one name", lambda i: b"d/"),
    ("distinct names", lambda i: b"d%07d/" % i),
)


def write_directory_entries(path, name_of, count):
    """An archive of `count` empty directory entries named name_of(0), name_of(1), ...,
    written record by record (zipfile takes minutes for a million), with zip64 end records
    for the count."""
    dos_date = (FIXED_TIME[0] - 1980) << 9 | FIXED_TIME[1] << 5 | FIXED_TIME[2]
    dos_time = FIXED_TIME[3] << 11 | FIXED_TIME[4] << 5
    directory_attributes = (0o40755 << 16) | 0x10
    locals_, centrals = [], []
    offset = 0
    for i in range(count):
        name = name_of(i)
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, dos_time, dos_date, 0, 0, 0,
                            len(name), 0) + name
        centrals.append(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, 0, 0, dos_time,
                                    dos_date, 0, 0, 0, len(name), 0, 0, 0, 0,
                                    directory_attributes, offset) + name)
        locals_.append(local)
        offset += len(local)
    directory = b"".join(centrals)
    zip64_end_at = offset + len(directory)
    tail = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, len(directory),
                       offset)
    tail += struct.pack("<IIQI", 0x07064B50, 0, zip64_end_at, 1)
    tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, len(directory), offset, 0)
    with open(path, "wb") as f:
        f.write(b"".join(locals_))
        f.write(directory)
        f.write(tail)


def ensure_first_pass_archive(number, data_dir):
    label, name_of = FIRST_PASS_ARCHIVES[number]
    path = os.path.join(data_dir, "f%d-%d-v%d.zip" % (number, FIRST_PASS_ENTRIES, GENERATOR_VERSION))
    if not os.path.exists(path):
        os.makedirs(data_dir, exist_ok=True)
        print("building the archive of %s ..." % label, file=sys.stderr, flush=True)
        write_directory_entries(path + ".part", name_of, FIRST_PASS_ENTRIES)
        os.replace(path + ".part", path)
    return path


def measure_first_pass(build_dir, data_dir, work_dir, runs):
    """Rows of the library listing each first-pass archive, best of `runs`."""
    driver = os.path.join(build_dir, "bin", "bench_unzip32")
    if not os.path.exists(driver):
        raise Failure("%s is not built" % driver)
    rows = []
    for number, (label, _) in enumerate(FIRST_PASS_ARCHIVES):
        archive = ensure_first_pass_archive(number, data_dir)
        times, peak = [], 0
        for _ in range(runs):
            wall, rss, status, stdout, stderr = run_measured([driver, "--list", archive, work_dir])
            if status != 0:
                raise Failure("listing %s: exit status %d: %s"
                              % (label, status, (stderr or stdout).strip()[-500:]))
            members = key_values(stdout).get("members")
            if members != str(FIRST_PASS_ENTRIES):
                raise Failure("listing %s: %s members, not %d" % (label, members, FIRST_PASS_ENTRIES))
            times.append(wall)
            peak = max(peak, rss)
        rows.append(Row("%s entries of %s" % ("{:,}".format(FIRST_PASS_ENTRIES), label), min(times), peak))
    return rows


def print_first_pass(rows):
    print()
    print("### First pass: the library lists %s directory entries (ExtractList 1)"
          % "{:,}".format(FIRST_PASS_ENTRIES))
    print()
    print("| archive | wall s | x distinct names | peak MiB |")
    print("|---|---:|---:|---:|")
    base = rows[-1].seconds
    for row in rows:
        print("| %s | %.2f | %.2f | %.0f |" % (row.name, row.seconds, row.seconds / base, row.rss / 1024))
    sys.stdout.flush()
    ratio = rows[0].seconds / base
    if ratio > FIRST_PASS_MAX_RATIO:
        raise Failure("one name takes %.2f times as long as distinct names (at most %g)"
                      % (ratio, FIRST_PASS_MAX_RATIO))


# ---------------------------------------------------------------------------------------------
# Running and checking one extraction


class Failure(Exception):
    pass


# One line of a table: `seconds` is the best of N runs (None when the tool failed), `rss` the
# peak resident KiB, `spread` a Spread or None.
Row = collections.namedtuple("Row", "name seconds rss spread", defaults=(None,))
# The median, fastest and slowest of `runs` runs, in seconds.
Spread = collections.namedtuple("Spread", "median low high runs")


def row_of(name, times, best_of, rss, with_spread):
    """The row of a tool that ran len(times) times: the best of the first `best_of` runs, like
    every other row, and with `with_spread` the median and min-max of them all."""
    spread = None
    if with_spread:
        spread = Spread(statistics.median(times), min(times), max(times), len(times))
    return Row(name, min(times[:best_of]), rss, spread)


def runs_for(with_spread, runs):
    return max(runs, SPREAD_RUNS) if with_spread else runs


def run_measured(argv, env=None, cwd=None):
    """Runs argv; returns (wall seconds, peak RSS in KiB, exit status, stdout, stderr).

    The peak memory comes from /usr/bin/time: a child forked from this script would inherit
    the script's own high-water mark in ru_maxrss."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile("r") as rss_file:
        started = time.perf_counter()
        proc = subprocess.run(
            ["/usr/bin/time", "-f", "%M", "-o", rss_file.name] + argv,
            stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env, cwd=cwd,
        )
        wall = time.perf_counter() - started
        out.seek(0)
        err.seek(0)
        lines = rss_file.read().split()
        rss = int(lines[-1]) if lines and lines[-1].isdigit() else 0
        return (wall, rss, proc.returncode, out.read().decode(errors="replace"),
                err.read().decode(errors="replace"))


def check_output(out_dir, manifest, flatten, full):
    """Compares the extracted tree with the archive's manifest."""
    expected = {}
    for name, (size, crc) in manifest.items():
        expected[os.path.basename(name) if flatten else name] = (size, crc)
    found = {}
    for root, _, files in os.walk(out_dir):
        for f in files:
            p = os.path.join(root, f)
            found[os.path.relpath(p, out_dir)] = p
    if len(found) != len(expected):
        raise Failure("extracted %d files, the archive holds %d" % (len(found), len(expected)))
    for name, (size, crc) in expected.items():
        p = found.get(name)
        if p is None:
            raise Failure("missing %s" % name)
        if os.path.getsize(p) != size:
            raise Failure("%s has %d bytes, expected %d" % (name, os.path.getsize(p), size))
        if full:
            value = 0
            with open(p, "rb") as f:
                while chunk := f.read(4 * MIB):
                    value = zlib.crc32(chunk, value)
            if value != crc:
                raise Failure("%s has a wrong CRC" % name)


class Tool:
    """One extractor: how to call it and how to check what it did."""

    def __init__(self, name, argv_of, flatten=False, env_of=None, check_extra=None, spread=False):
        self.name = name
        self.argv_of = argv_of
        self.flatten = flatten
        self.env_of = env_of
        self.check_extra = check_extra
        self.spread = spread  # runs SPREAD_RUNS times at least, for a median and min-max


def program_tool(exe, work):
    """The whole program with its command line and a settings file in a private config home."""
    config = os.path.join(work, "config")
    results = os.path.join(work, "results") + "/"
    os.makedirs(os.path.join(config, "Nocturnis"), exist_ok=True)
    os.makedirs(results, exist_ok=True)
    with open(os.path.join(config, "Nocturnis", "settings.ini"), "w") as f:
        f.write("[Verzeichnisse]\nNocturnis-Verzeichnis=%s\n" % results)
    env = dict(os.environ, XDG_CONFIG_HOME=config)

    def argv_of(archive, out):
        for name in ("NocUnzip.err", "NocUnzip.end"):
            if os.path.exists(results + name):
                os.remove(results + name)
        return [exe, "%s;%s;%s" % (archive, out, TOKEN)]

    def check_extra():
        if os.path.exists(results + "NocUnzip.err"):
            with open(results + "NocUnzip.err", "rb") as f:
                raise Failure("NocUnzip.err says %r" % f.read())
        with open(results + "NocUnzip.end", "rb") as f:
            if f.read() != b"success\r\n":
                raise Failure("NocUnzip.end does not say success")

    # HonorDirectories is off in the program's option set: every file lands under its base name.
    return Tool("nocunzip (program)", argv_of, flatten=True, env_of=lambda: env, check_extra=check_extra)


def find_7z():
    for name in ("7z", "7zz"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def tools_for(key, build_dir, work):
    bin_dir = os.path.join(build_dir, "bin")
    tools = []
    program = os.path.join(bin_dir, "nocunzip")
    library = os.path.join(bin_dir, "libunzip32.so")
    if os.path.exists(program) and os.path.exists(library):
        tools.append(program_tool(program, work))
    else:
        print("note: %s or %s not built; skipping the program" % (program, library), file=sys.stderr)
    if os.path.exists(library):
        driver = os.path.join(bin_dir, "bench_unzip32")
        spread = key in SPREAD_ARCHIVES
        tools.append(Tool(LIBRARY, lambda a, o: [driver, a, o], flatten=True, spread=spread))
        if shutil.which("taskset"):
            core = str(min(os.sched_getaffinity(0)))
            tools.append(Tool(LIBRARY_ONE_CORE, lambda a, o: ["taskset", "-c", core, driver, a, o],
                              flatten=True, spread=spread))
        else:
            print("note: taskset missing; skipping the library on one core", file=sys.stderr)
    else:
        print("note: %s not built; skipping the library" % library, file=sys.stderr)
    if shutil.which("bsdtar"):
        tools.append(Tool("bsdtar", lambda a, o: ["bsdtar", "-xf", a, "-C", o]))
    seven = find_7z()
    if seven:
        tools.append(Tool("7z", lambda a, o: [seven, "x", "-y", "-bd", "-bso0", "-o" + o, a]))
    tools.append(
        Tool(
            "python zipfile",
            lambda a, o: [
                sys.executable,
                "-c",
                "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])",
                a,
                o,
            ],
        )
    )
    return tools


# Outputs of more files than this stay on disk until every tool has run on the archive. Right
# after tens of thousands of files were deleted, ext4 skips their recently freed inodes one by
# one for every file created nearby, which made whichever tool ran next up to four times
# slower (2.2 s against 9.2 s for the same run of the library on (b)).
KEEP_OUTPUTS_OF_FILES = 1000


def measure_tool(tool, tool_number, archive, manifest, out_root, runs):
    """The Row of `runs` extractions (more for a tool with a spread), each checked, each into
    a directory of its own."""
    times = []
    peak = 0
    for run in range(runs_for(tool.spread, runs)):
        out = os.path.join(out_root, "out-%d-%d" % (tool_number, run))
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        argv = tool.argv_of(archive, out)
        env = tool.env_of() if tool.env_of else None
        # The files of the run before, written back now: else the kernel throttles this run
        # for writing back what another tool left.
        os.sync()
        wall, rss, status, stdout, stderr = run_measured(argv, env=env, cwd=out_root)
        if status != 0:
            raise Failure("exit status %d: %s" % (status, (stderr or stdout).strip()[-500:]))
        if tool.check_extra:
            tool.check_extra()
        check_output(out, manifest, tool.flatten, full=(run == 0))
        if len(manifest) <= KEEP_OUTPUTS_OF_FILES:
            shutil.rmtree(out)
        times.append(wall)
        peak = max(peak, rss)
    return row_of(tool.name, times, runs, peak, tool.spread)


def key_values(text):
    """The fields of a bench tool's line of key=value pairs."""
    try:
        return dict(kv.split("=", 1) for kv in text.split())
    except ValueError:
        raise Failure("not a line of key=value pairs: %r" % text[:200])


def measure_inflate_floors(archive, build_dir, runs):
    floor = os.path.join(build_dir, "bin", "bench_inflate_floor")
    if not os.path.exists(floor):
        return []
    floors = (
        ("zlib_seconds", "floor: zlib inflate in memory"),
        ("isal_seconds", "floor: ISA-L inflate in memory"),
        ("libdeflate_seconds", "floor: libdeflate in memory"),
    )
    best = {}
    peak = 0
    for _ in range(runs):
        _, rss, status, stdout, stderr = run_measured([floor, archive])
        if status != 0:
            raise Failure("inflate_floor: " + stderr.strip())
        fields = key_values(stdout)
        for key_name, _ in floors:
            seconds = float(fields[key_name])
            best[key_name] = min(best.get(key_name, seconds), seconds)
        peak = max(peak, rss)
    return [Row(label, best[key_name], peak) for key_name, label in floors]


def file_list_of(manifest):
    """The list that bench_file_floor reads: every file of the manifest under the name the
    library gives it in the program's option set (its base name), with its size."""
    lines = []
    seen = set()
    for name, (size, _) in manifest.items():
        base = os.path.basename(name)
        if base in seen:  # one name for two files: the floor would write one file less
            raise Failure("two files are named %s without their directories" % base)
        seen.add(base)
        lines.append("%d\t%s\n" % (size, base))
    return "".join(lines)


def file_floor_label(threads):
    return "file creation floor, %d thread%s" % (threads, "" if threads == 1 else "s")


def measure_file_floor(manifest, build_dir, out_root, runs):
    """Rows of the archive's files written from memory with the library's calls, on each of
    FILE_FLOOR_THREADS; every run's output is checked like an extraction's."""
    tool = os.path.join(build_dir, "bin", "bench_file_floor")
    if not os.path.exists(tool):
        print("note: %s not built; skipping the file creation floor" % tool, file=sys.stderr)
        return []
    list_path = os.path.join(out_root, "file-floor.list")
    with open(list_path, "w", encoding="utf-8") as f:
        f.write(file_list_of(manifest))
    rows = []
    for threads in FILE_FLOOR_THREADS:
        times = []
        peak = 0
        for run in range(runs):
            out = os.path.join(out_root, "file-floor-%d-%d" % (threads, run))
            shutil.rmtree(out, ignore_errors=True)
            os.sync()
            _, rss, status, stdout, stderr = run_measured([tool, list_path, out, str(threads)])
            if status != 0:
                raise Failure("file_floor: " + stderr.strip())
            fields = key_values(stdout)
            if int(fields.get("files", -1)) != len(manifest):
                raise Failure("file_floor wrote %s files of %d" % (fields.get("files"), len(manifest)))
            check_output(out, manifest, flatten=True, full=False)
            if len(manifest) <= KEEP_OUTPUTS_OF_FILES:
                shutil.rmtree(out)
            times.append(float(fields["seconds"]))
            peak = max(peak, rss)
        rows.append(row_of(file_floor_label(threads), times, runs, peak, False))
    return rows


def measure_copy(archive, out_root, runs, with_spread):
    times = []
    peak = 0
    for _ in range(runs_for(with_spread, runs)):
        target = os.path.join(out_root, "copy.bin")
        os.sync()
        wall, rss, status, _, stderr = run_measured(["cp", archive, target])
        if status != 0:
            raise Failure("cp: " + stderr.strip())
        if os.path.getsize(target) != os.path.getsize(archive):
            raise Failure("cp wrote %d bytes of %d" % (os.path.getsize(target), os.path.getsize(archive)))
        os.remove(target)
        times.append(wall)
        peak = max(peak, rss)
    return row_of("floor: cp of the archive", times, runs, peak, with_spread)


def measure_floors(key, archive, manifest, build_dir, out_root, runs):
    rows = []
    if key != "c":
        rows.extend(measure_inflate_floors(archive, build_dir, runs))
    if key in FILE_FLOOR_ARCHIVES:
        rows.extend(measure_file_floor(manifest, build_dir, out_root, runs))
    if key == "c":
        rows.append(measure_copy(archive, out_root, runs, key in SPREAD_ARCHIVES))
    return rows


# ---------------------------------------------------------------------------------------------
# Report


def format_spread(spread):
    return "%.3f (%.3f-%.3f)" % (spread.median, spread.low, spread.high)


def table_lines(rows, total_bytes):
    """The Markdown table of `rows`; a column of medians and spreads is added when any row
    has one."""
    peer_times = [row.seconds for row in rows if row.name in PEERS and row.seconds is not None]
    fastest_peer = min(peer_times) if peer_times else None
    spreads = [row.spread for row in rows if row.spread]
    header = "| tool | wall s | MiB/s | x fastest peer | peak RSS MiB |"
    rule = "|---|---:|---:|---:|---:|"
    if spreads:
        header += " median (min-max) of %d runs, s |" % max(spread.runs for spread in spreads)
        rule += "---:|"
    lines = [header, rule]
    for row in rows:
        if row.seconds is None:
            lines.append("| %s | failed | | | |" % row.name + (" |" if spreads else ""))
            continue
        ratio = "%.2f" % (row.seconds / fastest_peer) if fastest_peer else "-"
        line = "| %s | %.3f | %.0f | %s | %.1f |" % (
            row.name,
            row.seconds,
            total_bytes / MIB / row.seconds if row.seconds > 0 else 0,
            ratio,
            row.rss / 1024,
        )
        if spreads:
            line += " %s |" % (format_spread(row.spread) if row.spread else "")
        lines.append(line)
    return lines


def print_table(title, archive, manifest, rows):
    total = sum(size for size, _ in manifest.values())
    print()
    print("### %s" % title)
    print()
    print(
        "%d files, %.1f MiB uncompressed, archive %.1f MiB"
        % (len(manifest), total / MIB, os.path.getsize(archive) / MIB)
    )
    print()
    print("\n".join(table_lines(rows, total)))
    sys.stdout.flush()


CHART_COLOURS = (
    "#1f77b4", "#ff7f0e", "#ffbb78", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2",
    "#7f7f7f", "#bcbd22", "#17becf", "#9edae5", "#393b79", "#aec7e8",
)


def nice_axis_top(value):
    """The smallest of 1, 2, 2.5, 5 times a power of ten that is at least `value`."""
    step = 10 ** math.floor(math.log10(value))
    for factor in (1, 2, 2.5, 5, 10):
        if factor * step >= value:
            return factor * step
    return 10 * step


def chart_svg(results, subtitle):
    """An SVG bar chart of `results`, a list of (archive title, rows) with rows as in
    print_table: one group of bars per archive, each tool's wall time divided by bsdtar's on
    the same archive, and a whisker from the fastest to the slowest run with a dot at the
    median where a row has a spread. Archives without a bsdtar time are left out; a tool that
    failed on an archive has no bar there."""
    groups = []
    whiskers = {}  # (title, tool) -> (low, median, high), relative to bsdtar
    for title, rows in results:
        times = dict((row.name, row.seconds) for row in rows if row.seconds is not None)
        base = times.get("bsdtar")
        if base:
            groups.append((title, {name: t / base for name, t in times.items()}))
            for row in rows:
                if row.seconds is not None and row.spread:
                    whiskers[title, row.name] = tuple(
                        v / base for v in (row.spread.low, row.spread.median, row.spread.high))
    tools = []
    for _, ratios in groups:
        tools.extend(name for name in ratios if name not in tools)
    colours = {name: CHART_COLOURS[i % len(CHART_COLOURS)] for i, name in enumerate(tools)}

    bar_w, gap = 22, 36
    left, right, top, bottom = 70, 250, 60, 90
    plot_h = 320
    group_w = [max(1, len(ratios)) * bar_w for _, ratios in groups]
    plot_w = max(200, sum(group_w) + gap * (len(groups) + 1))
    width, height = left + plot_w + right, top + plot_h + bottom
    y_top = nice_axis_top(max([r for _, ratios in groups for r in ratios.values()] + [1.0]) * 1.1)

    def y_of(ratio):
        return top + plot_h - plot_h * min(ratio, y_top) / y_top

    out = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d" '
        'font-family="sans-serif" font-size="12">' % (width, height, width, height),
        '<rect width="100%" height="100%" fill="white"/>',
        '<text x="%d" y="22" font-size="16" font-weight="bold">Extraction time relative to bsdtar '
        "(bsdtar = 1.0, lower is faster)</text>" % left,
        '<text x="%d" y="42" fill="#555">%s</text>' % (left, escape(subtitle)),
    ]
    for i in range(6):  # grid lines and the y axis' ticks
        value = y_top * i / 5
        y = y_of(value)
        out.append('<line x1="%d" y1="%.1f" x2="%d" y2="%.1f" stroke="#ddd"/>' % (left, y, left + plot_w, y))
        out.append('<text x="%d" y="%.1f" text-anchor="end">%g</text>' % (left - 6, y + 4, round(value, 3)))
    out.append(
        '<text transform="translate(20 %d) rotate(-90)" text-anchor="middle">'
        "wall time / bsdtar's wall time</text>" % (top + plot_h // 2)
    )
    x = left + gap
    for (title, ratios), w in zip(groups, group_w):
        for name in tools:
            if name not in ratios:
                continue
            ratio = ratios[name]
            y = y_of(ratio)
            out.append(
                '<rect x="%d" y="%.1f" width="%d" height="%.1f" fill="%s"><title>%s: %.2f</title></rect>'
                % (x, y, bar_w - 2, top + plot_h - y, colours[name], escape(name), ratio)
            )
            if (title, name) in whiskers:
                low, median, high = whiskers[title, name]
                out.extend(whisker_svg(x + (bar_w - 2) / 2, y_of(low), y_of(median), y_of(high)))
                y = min(y, y_of(high))
            label = ("%.2f" % ratio) + ("+" if ratio > y_top else "")
            out.append(
                '<text transform="translate(%.1f %.1f) rotate(-90)" font-size="10">%s</text>'
                % (x + bar_w / 2 + 3, y - 4, label)
            )
            x += bar_w
        lines = textwrap.wrap(title, max(8, int(w / 6.5)))
        spans = "".join(
            '<tspan x="%.1f" dy="%d">%s</tspan>' % (x - w / 2, 0 if i == 0 else 14, escape(line))
            for i, line in enumerate(lines)
        )
        out.append('<text y="%d" text-anchor="middle">%s</text>' % (top + plot_h + 18, spans))
        x += gap
    y_one = y_of(1.0)
    out.append(
        '<line x1="%d" y1="%.1f" x2="%d" y2="%.1f" stroke="black" stroke-dasharray="4 3"/>'
        % (left, y_one, left + plot_w, y_one)
    )
    out.append('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="black"/>' % (left, top, left, top + plot_h))
    out.append(
        '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="black"/>'
        % (left, top + plot_h, left + plot_w, top + plot_h)
    )
    out.append(
        '<text x="%d" y="%d" text-anchor="middle">archive</text>' % (left + plot_w // 2, top + plot_h + 76)
    )
    legend_x = left + plot_w + 20
    out.append('<text x="%d" y="%d" font-weight="bold">tool</text>' % (legend_x, top))
    for i, name in enumerate(tools):
        y = top + 14 + 20 * i
        out.append('<rect x="%d" y="%d" width="12" height="12" fill="%s"/>' % (legend_x, y, colours[name]))
        out.append('<text x="%d" y="%d">%s</text>' % (legend_x + 18, y + 10, escape(name)))
    if whiskers:
        runs = max(row.spread.runs for _, rows in results for row in rows if row.spread)
        y = top + 14 + 20 * len(tools) + 10
        out.extend(whisker_svg(legend_x + 6, y + 14, y + 7, y))
        out.append('<text x="%d" y="%d">min-max of %d runs,</text>' % (legend_x + 18, y + 5, runs))
        out.append('<text x="%d" y="%d">dot: median</text>' % (legend_x + 18, y + 19))
    if not groups:
        out.append('<text x="%d" y="%d">no archive has a bsdtar time</text>' % (left + 10, top + 20))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def whisker_svg(x, y_low, y_median, y_high):
    """A vertical line from y_low to y_high with caps, and a dot at y_median."""
    return [
        '<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="black"/>' % (x, y_low, x, y_high),
        '<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="black"/>' % (x - 4, y_low, x + 4, y_low),
        '<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="black"/>' % (x - 4, y_high, x + 4, y_high),
        '<circle cx="%.1f" cy="%.1f" r="2.5" fill="black"/>' % (x, y_median),
    ]


def write_chart(path, results, subtitle):
    directory = os.path.dirname(path)
    if directory:
        os.makedirs(directory, exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(chart_svg(results, subtitle))
    print("chart written to %s" % path, file=sys.stderr)


# ---------------------------------------------------------------------------------------------
# System calls


StraceRow = collections.namedtuple("StraceRow", "call calls errors seconds")


def parse_strace_summary(text):
    """The rows of the table that `strace -c` writes, its total left out. Raises ValueError
    when there is no such table."""
    rows = []
    rules = 0
    for line in text.splitlines():
        if line.startswith("------"):
            rules += 1
            continue
        if rules != 1 or not line.strip():
            continue
        fields = line.split()
        # % time, seconds, usecs/call, calls, [errors,] name
        if len(fields) not in (5, 6):
            raise ValueError("not a row of strace -c: %r" % line)
        errors = int(fields[4]) if len(fields) == 6 else 0
        rows.append(StraceRow(fields[-1], int(fields[3]), errors, float(fields[1])))
    if rules != 2:
        raise ValueError("no table of strace -c")
    return rows


def strace_lines(rows, files):
    """A Markdown table of `rows` with the calls per extracted file, the most calls first."""
    lines = [
        "| system call | calls | per file | errors | seconds |",
        "|---|---:|---:|---:|---:|",
    ]
    for row in sorted(rows, key=lambda r: (-r.calls, r.call)):
        lines.append("| %s | %d | %.2f | %s | %.3f |" % (
            row.call, row.calls, row.calls / files, row.errors or "", row.seconds))
    lines.append("| total | %d | %.2f | %d | %.3f |" % (
        sum(r.calls for r in rows), sum(r.calls for r in rows) / files,
        sum(r.errors for r in rows), sum(r.seconds for r in rows)))
    return lines


ThreadCalls = collections.namedtuple("ThreadCalls", "calling workers errors")

TRACE_LINE = re.compile(r"^(\d+) +(?:<\.\.\. (\w+) resumed>|(\w+)\()(.*)$")


def count_by_thread(text):
    """Counts the calls of a full `strace -f` trace by name, apart for the first thread (the
    process's own: the calling thread) and all others (the workers). {call: ThreadCalls}"""
    counts = {}
    calling = None
    for line in text.splitlines():
        match = TRACE_LINE.match(line)
        if not match:
            continue  # signals, exits
        tid, resumed, call, rest = match.groups()
        calling = calling or tid
        name = resumed or call
        row = counts.setdefault(name, [0, 0, 0])
        if not resumed:
            row[0 if tid == calling else 1] += 1
        if "<unfinished ...>" not in rest and re.search(r"\) += -1 ", rest):
            row[2] += 1
    if calling is None:
        raise ValueError("no system call in the trace")
    return {name: ThreadCalls(*row) for name, row in counts.items()}


def thread_lines(counts, files):
    """A Markdown table of the calls per extracted file on each side, the most calls first."""
    lines = [
        "| system call | calling thread, per file | workers, per file | errors |",
        "|---|---:|---:|---:|",
    ]
    for name, row in sorted(counts.items(), key=lambda i: (-(i[1].calling + i[1].workers), i[0])):
        lines.append("| %s | %.2f | %.2f | %s |" % (
            name, row.calling / files, row.workers / files, row.errors or ""))
    lines.append("| total | %.2f | %.2f | %d |" % (
        sum(r.calling for r in counts.values()) / files,
        sum(r.workers for r in counts.values()) / files, sum(r.errors for r in counts.values())))
    return lines


def run_traced(strace_args, archive, manifest, build_dir, out_root):
    """Runs the library once on `archive` under strace with `strace_args`, checks what it
    extracted and returns the text that strace wrote."""
    if not shutil.which("strace"):
        raise Failure("strace is missing (scripts/setup.sh bench)")
    driver = os.path.join(build_dir, "bin", "bench_unzip32")
    out = os.path.join(out_root, "strace-out")
    trace = os.path.join(out_root, "strace.txt")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    proc = subprocess.run(["strace"] + strace_args + ["-o", trace, driver, archive, out],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if proc.returncode != 0:
        raise Failure("the library under strace: exit status %d: %s"
                      % (proc.returncode, (proc.stderr or proc.stdout).strip()[-500:]))
    check_output(out, manifest, flatten=True, full=True)
    with open(trace) as f:
        return f.read()


def trace_library(archive, manifest, build_dir, out_root):
    """Runs the library on `archive` under strace -c -f and once more under a full trace,
    and returns the rows of strace's table and the calls by thread."""
    try:
        rows = parse_strace_summary(
            run_traced(["-c", "-f"], archive, manifest, build_dir, out_root))
        by_thread = count_by_thread(
            run_traced(["-f", "-qq", "-e", "signal=none"], archive, manifest, build_dir, out_root))
    except ValueError as e:
        raise Failure(str(e))
    return rows, by_thread


def print_strace(key, scale, data_dir, build_dir, work_dir):
    archive, manifest = ensure_archive(key, scale, data_dir)
    shutil.rmtree(work_dir, ignore_errors=True)
    os.makedirs(work_dir)
    try:
        rows, by_thread = trace_library(archive, manifest, build_dir, work_dir)
    finally:
        shutil.rmtree(work_dir, ignore_errors=True)
    print()
    print("### System calls of the library on %s (strace -c -f)" % ARCHIVES[key][0])
    print()
    print("%d files; seconds are strace's system time, slowed by tracing" % len(manifest))
    print()
    print("\n".join(strace_lines(rows, len(manifest))))
    print()
    print("The same calls by thread (a second run, strace -f): the calling thread and the workers")
    print()
    print("\n".join(thread_lines(by_thread, len(manifest))))
    sys.stdout.flush()


def build(build_dir):
    subprocess.run(
        [
            "cmake", "-S", REPO, "-B", build_dir, "-G", "Ninja",
            "-DCMAKE_BUILD_TYPE=Release", "-DNOCUNZIP_BENCH=ON",
        ],
        check=True,
        stdout=subprocess.DEVNULL,
    )
    subprocess.run(
        ["cmake", "--build", build_dir, "-j2", "--target", "bench_unzip32", "bench_inflate_floor",
         "bench_file_floor"],
        check=True,
    )
    # The program and the library may not exist yet in an early tree; the table then leaves
    # them out.
    for target in ("unzip32", "nocunzip"):
        if subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", target]).returncode != 0:
            print("note: target %s did not build" % target, file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--scale", type=float, default=1.0, help="size factor of every archive (default 1)")
    parser.add_argument("--runs", type=int, default=3, help="runs per tool, the best counts (default 3)")
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build-bench"))
    parser.add_argument("--data-dir", help="where archives are cached (default BUILD-DIR/data)")
    parser.add_argument("--work-dir", help="where tools extract (default BUILD-DIR/work)")
    parser.add_argument("--archives", default="abc" + FIRST_PASS_KEY,
                        help="which archives, e.g. ab (default abcf; f: the first pass alone)")
    parser.add_argument("--no-build", action="store_true", help="use the tools already built")
    parser.add_argument(
        "--strace", action="store_true",
        help="also run the library once on (b) under strace -c -f and print its system calls",
    )
    parser.add_argument(
        "--chart", default=os.path.join(REPO, "docs", "bench.svg"),
        help="SVG bar chart of the times relative to bsdtar (default docs/bench.svg)",
    )
    args = parser.parse_args()
    if not 0 < args.scale <= 1 or args.runs < 1:
        parser.error("--scale must be in (0, 1] and --runs at least 1")
    build_dir = os.path.abspath(args.build_dir)
    data_dir = os.path.abspath(args.data_dir or os.path.join(build_dir, "data"))
    work_dir = os.path.abspath(args.work_dir or os.path.join(build_dir, "work"))
    if not args.no_build:
        build(build_dir)

    heading = "scale %g, best of %d warm-cache runs, %s, %d cores" % (
        args.scale, args.runs, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), os.cpu_count())
    print("Extraction benchmark, " + heading)
    failed = False
    results = []
    for key in args.archives:
        if key == FIRST_PASS_KEY:
            continue
        if key not in ARCHIVES:
            parser.error("unknown archive %r" % key)
        archive, manifest = ensure_archive(key, args.scale, data_dir)
        with open(archive, "rb") as f:  # warm the cache
            while f.read(16 * MIB):
                pass
        shutil.rmtree(work_dir, ignore_errors=True)
        os.makedirs(work_dir)
        rows = []
        for number, tool in enumerate(tools_for(key, build_dir, work_dir)):
            try:
                rows.append(measure_tool(tool, number, archive, manifest, work_dir, args.runs))
            except Failure as e:
                print("%s on %s failed: %s" % (tool.name, key, e), file=sys.stderr)
                rows.append(Row(tool.name, None, 0))
                failed = True
        try:
            rows.extend(measure_floors(key, archive, manifest, build_dir, work_dir, args.runs))
        except Failure as e:
            print("floor on %s failed: %s" % (key, e), file=sys.stderr)
            failed = True
        shutil.rmtree(work_dir, ignore_errors=True)
        print_table(ARCHIVES[key][0], archive, manifest, rows)
        results.append((ARCHIVES[key][0], rows))
    if FIRST_PASS_KEY in args.archives:
        shutil.rmtree(work_dir, ignore_errors=True)
        os.makedirs(work_dir)
        try:
            print_first_pass(measure_first_pass(build_dir, data_dir, work_dir, args.runs))
        except Failure as e:
            print("first pass failed: %s" % e, file=sys.stderr)
            failed = True
        shutil.rmtree(work_dir, ignore_errors=True)
    if results:
        write_chart(args.chart, results, heading)
    print()
    print("MiB/s: uncompressed MiB per wall second. x fastest peer: wall time / best of bsdtar, 7z,")
    print("Python zipfile. The program's time includes its 500 ms start-up timer; the program and")
    print("the library write every file under its base name (the program's option set). The")
    print("library's 1-core row runs it under taskset on one core. The file creation floor writes")
    print("the archive's files from memory with the library's system calls; (c)'s median and")
    print("spread come from %d runs or --runs, if more." % SPREAD_RUNS)
    if args.strace:
        try:
            print_strace("b", args.scale, data_dir, build_dir, work_dir)
        except Failure as e:
            print("strace of the library failed: %s" % e, file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
