#!/usr/bin/env python3
"""Checks the unzip library against the corpus table (expected.tsv beside this file).

    check.py --runner BENCH_UNZIP32 [--library PATH] [--corpus DIR] [--table FILE]
             [--known FILE] [--explain] [ARCHIVE...]

Each archive of the table (or only those named) is extracted by the library through
BENCH_UNZIP32 (bench/unzip32_bench.cpp) with stored paths and the password of its row,
into a target directory deep inside a scratch directory of its own. Then:

  extract rows   the result code is the expected one (0 unless the row says otherwise) and
                 the tree written equals the tree of the row's reference tool (its digest);
  refuse rows    the result is not 0 (or is exactly the row's code), the library printed a
                 message that names the reason, and it wrote nothing at all, or not the
                 files of the failing entries, where the row says so;
  every row      no crash, no hang, and nothing written beside the target directory.

Archives named in the list of known failures (known-failures.txt) may fail without failing
the check; one of them that passes fails it, so that the list shrinks as the library
learns. A crash (or a sanitizer's report), a hang or a file outside the target fails the
check whatever the list says. Prints one line per archive and a summary; exits 0 when every archive met its
expectation, 1 otherwise, and 77 when the corpus is absent: it cannot run, which fails.
"""
import argparse
import dataclasses
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

import corpus

SKIPPED = 77
TIME_LIMIT = 600  # seconds for one archive
# The target lies this deep in its scratch directory, so that names climbing out of it
# with "../" land where the check sees them.
CAGE_DEPTH = 8
KNOWN = corpus.HERE / "known-failures.txt"


@dataclasses.dataclass
class Run:
    """What the library did with one archive."""

    code: int | None = None  # the library's result; None when it did not return one
    printed: str = ""  # what the runner relayed of the library's printed text
    tree: corpus.Tree | None = None
    escaped: list = dataclasses.field(default_factory=list)  # paths written beside the target
    problem: str = ""  # crash, hang or runner failure


def run_library(runner, library, archive, password, scratch):
    """Extracts `archive` into a fresh target in `scratch`; the library runs in the
    directory that holds the target."""
    shutil.rmtree(scratch, ignore_errors=True)
    cage = scratch.joinpath(*(["up"] * CAGE_DEPTH))
    target = cage / "target"
    target.mkdir(parents=True)
    command = [str(runner), "--honor-directories", "--password", password]
    command += ["--library", str(library)] if library else []
    command += [str(archive), str(target)]
    run = Run()
    try:
        done = subprocess.run(command, cwd=cage, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TIME_LIMIT, start_new_session=True)
    except subprocess.TimeoutExpired:
        run.problem = f"hang: still running after {TIME_LIMIT} s"
    else:
        run.printed = done.stderr.decode("utf-8", "replace")
        run.code, run.problem = runner_result(done.returncode, run.printed)
    run.tree = corpus.read_tree(target)
    run.escaped = written_beside(scratch, target)
    return run


def written_beside(scratch, target):
    """What lies in `scratch` but neither in `target` nor on the way to it."""
    beside = []
    for directory, subdirs, names in os.walk(scratch):
        here = pathlib.Path(directory)
        for name in names + subdirs:
            path = here / name
            if path != target and path not in target.parents:
                beside.append(str(path.relative_to(scratch)))
        subdirs[:] = [d for d in subdirs if (here / d) in target.parents]
    return beside


def runner_result(returncode, stderr):
    """(library result, problem) from the runner's exit: 0 for success, 1 with
    "result N" on standard error for any other result."""
    if returncode < 0:
        return None, f"crash: signal {-returncode}"
    if returncode == 0:
        return 0, ""
    found = re.search(r"^bench_unzip32: result (-?\d+)$", stderr, re.MULTILINE)
    if returncode == 1 and found:
        return int(found.group(1)), ""
    return None, f"runner failed (exit {returncode}): {first_line(stderr)}"


def first_line(text):
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[0].strip() if lines else ""


def judge(expectation, row, run):
    """The list of ways in which `run` misses `expectation` (empty: it meets it)."""
    if run.problem:
        return [run.problem]
    misses = []
    if run.escaped:
        misses.append("wrote outside the target: " + ", ".join(sorted(run.escaped)[:3]))
    if expectation.action == "extract":
        if run.code != expectation.code:
            misses.append(f"result {run.code}, expected {expectation.code}: {message_of(run)}")
        wanted = expectation.reference_tree(row)
        if run.tree.digest() != wanted:
            misses.append(f"tree {run.tree.digest()} ({run.tree.count()} files), "
                          f"expected {wanted} ({expectation.reference_tool()}: {row[expectation.reference_tool()]})")
        return misses
    if run.code == 0:
        misses.append(f"result 0 ({run.tree.count()} files), expected a refusal")
    elif expectation.code is not None and run.code != expectation.code:
        misses.append(f"result {run.code}, expected {expectation.code}: {message_of(run)}")
    elif not corpus.names_reason(expectation.reason, run.printed, pathlib.PurePath(row["archive"]).name):
        misses.append(f"result {run.code}, but the message does not name the reason "
                      f"'{expectation.reason}': {message_of(run)}")
    if expectation.empty and run.tree.digest() != corpus.NONE:
        misses.append(f"wrote {run.tree.count()} files, expected none")
    written = [name for name in expectation.without
               if name.encode() in run.tree.files or name.encode() in run.tree.dirs]
    if written:
        misses.append("wrote the failing entries " + ", ".join(written))
    return misses


def message_of(run):
    """The library's last printed line, which names what went wrong."""
    lines = [line.strip() for line in run.printed.splitlines()
             if line.strip() and not line.startswith("bench_unzip32: result")]
    return lines[-1][:200] if lines else "(nothing printed)"


def explain(row, expectation, run, archive, scratch):
    """Which paths differ between the library's tree and its reference tool's tree."""
    if expectation.action != "extract" or run.tree is None:
        return []
    import survey  # runs the reference tool again: only needed here

    scratch.mkdir(parents=True)
    _, _, tree = survey.extract(expectation.reference_tool(), archive, corpus.password_of(row), scratch)
    tree = tree.named_as_library()
    lines = []
    for path in sorted(set(tree.files) | set(run.tree.files)):
        if tree.files.get(path) != run.tree.files.get(path):
            state = ("missing" if path not in run.tree.files else
                     "not expected" if path not in tree.files else "differs")
            lines.append(f"    {state}: {path.decode('utf-8', 'backslashreplace')}")
    for path in sorted(tree.dirs ^ run.tree.dirs):
        state = "directory missing" if path in tree.dirs else "directory not expected"
        lines.append(f"    {state}: {path.decode('utf-8', 'backslashreplace')}")
    return lines[:10]


def stale_reference(expectation, row):
    """Why the tool that an extract row names is no reference (any more), or ""."""
    if expectation.action != "extract":
        return ""
    tool = expectation.reference_tool()
    if not row[tool].startswith("all"):
        return f"{tool} did not read it ({row[tool]}): judge the row again"
    if expectation.reference == "both" and row["bsdtar_tree"] != row["7zz_tree"]:
        return "the trees of bsdtar and 7zz differ: name one of them"
    return ""


def read_known(path):
    if not path.exists():
        return set()
    names = (line.split("#", 1)[0].strip() for line in path.read_text(encoding="utf-8").splitlines())
    return {name for name in names if name}


def check_row(row, args, scratch):
    """(verdict, text): verdict is "pass", "known" (a known failure), or "fail"."""
    archive = args.corpus / row["archive"]
    known = row["archive"] in args.known_names
    if not archive.is_file():
        return "fail", "missing from the corpus: run scripts/fetch-corpus.sh"
    if corpus.file_sha256(archive) != row["sha256"]:
        return "fail", "the archive changed: run survey.py and judge its row again"
    try:
        expectation = corpus.Expectation.parse(row["expect"])
    except ValueError as error:
        return "fail", str(error)
    if stale := stale_reference(expectation, row):
        return "fail", stale
    run = run_library(args.runner, args.library, archive, corpus.password_of(row), scratch)
    misses = judge(expectation, row, run)
    details = explain(row, expectation, run, archive, scratch / "explain") if misses and args.explain else []
    got = run.problem or f"result {run.code}, {run.tree.count()} files"
    if not misses:
        if known:
            return "fail", f"{got}: passes but is listed in {args.known.name}: remove it there"
        return "pass", got
    hard = bool(run.problem) or bool(run.escaped)
    verdict = "known" if known and not hard else "fail"
    return verdict, "; ".join(misses) + "".join("\n" + line for line in details)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runner", type=pathlib.Path, required=True, help="bench_unzip32")
    parser.add_argument("--library", type=pathlib.Path, help="the library to load (default: beside the runner)")
    parser.add_argument("--corpus", type=pathlib.Path, default=corpus.HERE.parents[1] / "third_party" / "corpus")
    parser.add_argument("--table", type=pathlib.Path, default=corpus.TABLE)
    parser.add_argument("--known", type=pathlib.Path, default=KNOWN, help="archives known to fail")
    parser.add_argument("--explain", action="store_true", help="list the paths that differ")
    parser.add_argument("archives", nargs="*")
    args = parser.parse_args()
    # The library runs in a directory of its own: every path it is given is absolute.
    args.runner, args.corpus = args.runner.resolve(), args.corpus.resolve()
    args.library = args.library.resolve() if args.library else None
    if not args.corpus.is_dir():
        print(f"corpus check skipped: no corpus in {args.corpus} (scripts/fetch-corpus.sh fetches it)")
        return SKIPPED
    args.known_names = read_known(args.known)
    rows, _ = corpus.read_table(args.table)
    if args.archives:
        rows = [row for row in rows if row["archive"] in args.archives]
    counts = {"pass": 0, "known": 0, "fail": 0}
    with corpus.scratch_directory("corpus-check-") as scratch:
        for row in rows:
            started = time.monotonic()
            verdict, text = check_row(row, args, pathlib.Path(scratch) / "run")
            seconds = time.monotonic() - started
            counts[verdict] += 1
            label = {"pass": "ok", "known": "KNOWN", "fail": "FAIL"}[verdict]
            took = f" ({seconds:.0f} s)" if seconds >= 2 else ""
            print(f"{label:5} {row['archive']}  [{row['expect']}]  {text}{took}", flush=True)
    unknown = sorted(args.known_names - {row["archive"] for row in rows}) if not args.archives else []
    for name in unknown:
        print(f"FAIL  {name}  listed in {args.known.name} but not in the table")
    failed = counts["fail"] + len(unknown)
    print(f"corpus: {len(rows)} archives, {counts['pass']} met their expectation, "
          f"{counts['known']} known to fail ({args.known.name}), {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
