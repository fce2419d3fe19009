#!/usr/bin/env python3
"""Checks the unzip library on the table of ambiguous archives (cases.py) and on the archives
kept from differential runs (regressions/).

    check.py --runner BENCH_UNZIP32 [--library PATH] [--known FILE] [--peers] [--keep DIR]
             [CASE...]

Each case's archive is built afresh and extracted by the library through BENCH_UNZIP32
(bench/unzip32_bench.cpp) with stored paths, into a target deep inside a scratch directory,
as the corpus check does. A case passes when the result code, the tree written (files with
their contents, and directories) and the printed message meet its expectation, and nothing
was written beside the target. A kept archive (regressions/NAME.zip, with NAME.json: the
files that the peers agreed on) passes when the library refuses it without writing anything
the peers did not, or reads exactly those files.

Cases listed in the list of known failures (known-failures.txt) may fail without failing the
check; one of them that passes fails it, so that the list shrinks as the library learns. A
crash, a hang or a file beside the target fails the check whatever the list says.

--peers also runs bsdtar (from the file and from a pipe), 7zz and Python's zipfile on each
case and prints what each wrote, then a table of all of them: a way to check the table's
expectations, not part of the test.
--keep DIR writes each case's archive there.
"""
import argparse
import hashlib
import json
import pathlib
import re
import sys

import cases
import peers

HERE = pathlib.Path(__file__).resolve().parent
KNOWN = HERE / "known-failures.txt"
REGRESSIONS = HERE / "regressions"


def expected_tree(expect):
    """(files, dirs) that the expectation allows, as corpus.read_tree names them."""
    files = {path.encode(): hashlib.sha256(data).hexdigest() for path, data in expect.files.items()}
    dirs = set()
    for path in [p.encode() for p in expect.dirs] + list(files):
        parts = path.split(b"/")
        dirs.update(b"/".join(parts[:n]) for n in range(1, len(parts)))
    dirs.update(p.encode() for p in expect.dirs)
    return files, dirs


def printed_text(outcome):
    return "\n".join(line for line in outcome.said.splitlines() if not line.startswith("bench_unzip32: result"))


def judge_case(expect, outcome):
    """The ways in which the library's outcome misses the case's expectation."""
    if outcome.code is None:
        return [outcome.said]
    misses = []
    if outcome.escaped:
        misses.append("wrote beside the target: " + ", ".join(sorted(outcome.escaped)[:3]))
    if not expect.accepts(outcome.code):
        misses.append(f"result {outcome.code}, expected {expect.code}")
    files, dirs = expected_tree(expect)
    if outcome.tree.files != files:
        misses.append("wrote " + describe_files(outcome.tree.files, files))
    elif outcome.tree.dirs != dirs:
        misses.append(f"directories {sorted(outcome.tree.dirs)[:4]}, expected {sorted(dirs)[:4]}")
    text = printed_text(outcome)
    missing = [word for word in expect.words if not re.search(word, text, re.IGNORECASE)]
    if missing:
        misses.append(f"the message names no {' / '.join(missing)}")
    return misses


def describe_files(got, wanted):
    if len(got) > 8 or len(wanted) > 8:
        return f"{len(got)} files, expected {len(wanted)}"
    names = lambda files: "{" + ", ".join(sorted(p.decode("utf-8", "backslashreplace") for p in files)) + "}"
    differ = sorted(p.decode("utf-8", "backslashreplace") for p in got.keys() & wanted.keys() if got[p] != wanted[p])
    return f"{names(got)}, expected {names(wanted)}" + (f" (contents differ: {differ})" if differ else "")


def judge_kept(agreed, outcome):
    """A kept archive: refused without writing what the peers did not agree on, or read as
    they read it."""
    if outcome.code is None:
        return [outcome.said]
    if outcome.escaped:
        return ["wrote beside the target: " + ", ".join(sorted(outcome.escaped)[:3])]
    if outcome.code == 0 and outcome.files != agreed:
        return ["read, but wrote " + describe_files(outcome.files, agreed) + " (the peers' files)"]
    stray = [p for p, digest in outcome.files.items() if agreed.get(p) != digest]
    return [f"refused, but wrote {len(stray)} files that the peers did not"] if stray else []


def kept_archives():
    """(name, archive path, agreed files) of each archive under regressions/."""
    for archive in sorted(REGRESSIONS.glob("*.zip")):
        agreed = json.loads(archive.with_suffix(".json").read_text(encoding="utf-8"))["files"]
        yield archive.stem, archive, {path.encode(): digest for path, digest in agreed.items()}


def message_line(outcome):
    lines = [line.strip() for line in printed_text(outcome).splitlines() if line.strip()]
    return lines[-1][:160] if lines else ""


def summary(outcome):
    if outcome.code == 0:
        return f"read {len(outcome.tree.files)} files"
    return f"result {outcome.code}: {message_line(outcome)}"


LABELS = {hashlib.sha256(data).hexdigest(): name for name, data in
          (("alpha", cases.A), ("bravo", cases.B), ("payload", cases.PAYLOAD), ("readme", cases.README),
           ("empty", b""))}


def peer_cell(outcome, limit=60):
    """What one tool wrote, in a few words: ok/err and the files with their contents."""
    listed = [f"{p.decode('utf-8', 'backslashreplace')}={LABELS.get(d, d[:6])}" for p, d in sorted(outcome.files.items())]
    text = " ".join(listed) if len(listed) <= 6 else f"{len(listed)} files"
    status = "ok" if outcome.ok else "err"
    if outcome.code not in (None, 0):
        status = f"err {outcome.code}"
    cell = f"{status} {text}".strip()
    return cell if len(cell) <= limit else cell[:limit - 3] + "..."


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runner", type=pathlib.Path, required=True, help="bench_unzip32")
    parser.add_argument("--library", type=pathlib.Path, help="the library to load (default: beside the runner)")
    parser.add_argument("--known", type=pathlib.Path, default=KNOWN, help="cases known to fail")
    parser.add_argument("--peers", action="store_true", help="also show what the peers write")
    parser.add_argument("--keep", type=pathlib.Path, help="write each case's archive into this directory")
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    args.runner = args.runner.resolve()
    args.library = args.library.resolve() if args.library else None
    known = read_known(args.known)
    selected = cases.by_name(args.cases)
    kept = [] if args.cases else list(kept_archives())
    counts = {"ok": 0, "KNOWN": 0, "FAIL": 0}
    rows = []
    with peers.scratch_directory("ambiguity-") as scratch:
        scratch = pathlib.Path(scratch)
        for case in selected:
            # One neutral name for every archive: the messages quote it, and a case's name
            # holds the very words that its message must say.
            archive = scratch / "archive.zip"
            archive.write_bytes(case.build())
            if args.keep:
                args.keep.mkdir(parents=True, exist_ok=True)
                (args.keep / f"{case.name}.zip").write_bytes(archive.read_bytes())
            outcome = peers.run_library(args.runner, args.library, archive, scratch / "run")
            misses = judge_case(case.expect, outcome)
            label = verdict(misses, case.name in known, hard=outcome.code is None or bool(outcome.escaped))
            counts[label] += 1
            text = "; ".join(misses) if misses else summary(outcome)
            if not misses and case.name in known:
                text = f"passes but is listed in {args.known.name}: remove it there"
            print(f"{label:5} {case.name} [{case.kind}, {case.expect.describe()}]  {text}", flush=True)
            if args.peers:
                rows.append(show_peers(case, outcome, archive, scratch))
            archive.unlink()
        for name, archive, agreed in kept:
            misses = judge_kept(agreed, peers.run_library(args.runner, args.library, archive, scratch / "run"))
            label = verdict(misses, name in known, hard=False)
            counts[label] += 1
            print(f"{label:5} regressions/{name} [kept, {len(agreed)} agreed files]  {'; '.join(misses) or 'ok'}")
    stale = sorted(known - {c.name for c in cases.CASES} - {name for name, _, _ in kept}) if not args.cases else []
    for name in stale:
        print(f"FAIL  {name}  listed in {args.known.name} but not in the table")
    if rows:
        print_table(rows)
    failed = counts["FAIL"] + len(stale)
    print(f"ambiguity: {len(selected) + len(kept)} archives, {counts['ok']} met their expectation, "
          f"{counts['KNOWN']} known to fail ({args.known.name}), {failed} failed")
    return 1 if failed else 0


def verdict(misses, known, hard):
    if not misses:
        return "FAIL" if known else "ok"
    return "KNOWN" if known and not hard else "FAIL"


def show_peers(case, library, archive, scratch):
    outcomes = peers.run_peers(archive, scratch / "peers")
    for tool, outcome in outcomes.items():
        said = "" if outcome.ok else f"  ({outcome.said[:80]})"
        print(f"      {tool:11} {peer_cell(outcome, 200)}{said}")
    return [case.name, case.kind, case.expect.describe(), peer_cell(library)] + [
        peer_cell(outcomes[tool]) if tool in outcomes else "absent" for tool in peers.PEERS]


def print_table(rows):
    print("\n| case | kind | expected | library | " + " | ".join(peers.PEERS) + " |")
    print("|---" * (4 + len(peers.PEERS)) + "|")
    for row in rows:
        print("| " + " | ".join(cell.replace("|", "\\|") for cell in row) + " |")


def read_known(path):
    if not path.exists():
        return set()
    names = (line.split("#", 1)[0].strip() for line in path.read_text(encoding="utf-8").splitlines())
    return {name for name in names if name}


if __name__ == "__main__":
    sys.exit(main())
