#!/usr/bin/env python3
"""Re-makes the tool columns of the corpus table by running bsdtar, 7zz and Python's zipfile.

    survey.py [--corpus DIR] [--table FILE] [--verbose] [ARCHIVE...]

Each archive of the corpus (or only those named, as paths below it) is extracted by
`bsdtar -xf`, by `7zz x` and by Python's zipfile into a scratch directory, with the password
of its row. The columns sha256 and those of the tools are written anew; password, expect
and note are kept. An archive new to the table gets the expectation "?", which check.py
refuses until someone has judged it. Prints one line per archive and what changed.
"""
import argparse
import hashlib
import pathlib
import shutil
import subprocess
import sys
import zipfile

import corpus

TIME_LIMIT = 300  # seconds; a tool still running then is "hang"


# libarchive's streaming reader: bsdtar given the archive on a pipe, so that it cannot seek to
# the central directory and reads the local headers front to back, as scanners and mail
# filters do. Not a column of the table: the ambiguity scripts compare against it.
STREAMING_BSDTAR = "bsdtar-pipe"


def tool_command(tool, archive, target, password):
    if tool == "bsdtar":
        return ["bsdtar", "-xf", str(archive), "-C", str(target), "--passphrase", password]
    if tool == STREAMING_BSDTAR:
        # The pipeline's status is bsdtar's; cat fails only on an unreadable archive.
        script = 'cat "$1" | bsdtar -xf - -C "$2" --passphrase "$3"'
        return ["sh", "-c", script, "sh", str(archive), str(target), password]
    if tool == "7zz":
        return ["7zz", "x", "-y", "-bd", "-o" + str(target), "-p" + password, str(archive)]
    return [sys.executable, __file__, ZIPFILE_MODE, str(archive), str(target), password]


# Run as `survey.py --extract-with-zipfile ARCHIVE TARGET PASSWORD`: extracts every entry
# with Python's zipfile, going on after an entry fails; exits 1 when any failed.
ZIPFILE_MODE = "--extract-with-zipfile"


def program_of(tool):
    """The program that must be installed for `tool` to run (None: Python's zipfile)."""
    return {STREAMING_BSDTAR: "bsdtar", "zipfile": None}.get(tool, tool)


def extract_with_zipfile(archive, target, password):
    failed = False
    try:
        with zipfile.ZipFile(archive) as opened:
            opened.setpassword(password.encode())
            for info in opened.infolist():
                try:
                    opened.extract(info, target)
                except Exception as error:  # every failure of one entry is reported alike
                    print(f"{info.filename}: {error}", file=sys.stderr)
                    failed = True
    except Exception as error:
        print(f"{archive}: {error}", file=sys.stderr)
        failed = True
    return 1 if failed else 0


def extract(tool, archive, password, target):
    """(failed, what the tool said, tree) of one tool extracting `archive` into the empty
    directory `target`; failed is None when the tool hung."""
    try:
        # No standard input and no terminal: a tool that wants a password gets none.
        done = subprocess.run(tool_command(tool, archive, target, password), stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=TIME_LIMIT, start_new_session=True)
    except subprocess.TimeoutExpired:
        return None, f"still running after {TIME_LIMIT} s", corpus.read_tree(target)
    failed, detail = tool_failed(tool, done)
    return failed, detail, corpus.read_tree(target)


def run_tool(tool, archive, password, scratch):
    """(status text, tree digest, what the tool said) of one tool on one archive."""
    target = scratch / tool
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    failed, detail, tree = extract(tool, archive, password, target)
    shutil.rmtree(target, ignore_errors=True)
    digest = tree.named_as_library().digest()
    if failed is None:
        return "hang", digest, detail
    if not failed:
        return f"all {tree.count()}", digest, detail
    return (f"some {tree.count()}" if tree.count() else "none"), digest, detail


def tool_failed(tool, done):
    """Whether the tool reported an error, and what it said on standard error. For 7zz
    only the exit status tells: it also notes warnings there (data after the archive).
    bsdtar from a pipe is judged as bsdtar."""
    err = done.stderr.decode("utf-8", "replace")
    failed = done.returncode != 0 or (tool != "7zz" and bool(err.strip()))
    said = [line.strip() for line in err.splitlines() if line.strip() and line.strip() not in NOISE]
    said = [line for line in said if not line.startswith(("ERROR: /", "/", "Enter passphrase"))]
    return failed, "; ".join(dict.fromkeys(said)) or f"exit {done.returncode}"


# Headings of 7zz's reports, which say nothing by themselves.
NOISE = {"ERROR:", "ERRORS:", "WARNING:", "WARNINGS:", "Sub items Errors: 1", "Archives with Errors: 1", "Open Errors: 1"}


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def main():
    if sys.argv[1:2] == [ZIPFILE_MODE] and len(sys.argv) == 5:
        return extract_with_zipfile(*sys.argv[2:])
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corpus", type=pathlib.Path, default=corpus.HERE.parents[1] / "third_party" / "corpus")
    parser.add_argument("--table", type=pathlib.Path, default=corpus.TABLE)
    parser.add_argument("--verbose", action="store_true", help="print each tool's first error line")
    parser.add_argument("archives", nargs="*")
    args = parser.parse_args()
    if not args.corpus.is_dir():
        sys.exit(f"survey: no corpus in {args.corpus}: run scripts/fetch-corpus.sh")

    rows, comments = corpus.read_table(args.table) if args.table.exists() else ([], [])
    by_name = {row["archive"]: row for row in rows}
    present = sorted(str(p.relative_to(args.corpus)) for p in args.corpus.glob("*/*")
                     if p.is_file() and not p.name.startswith("."))
    for gone in sorted(set(by_name) - set(present)):
        print(f"survey: {gone} is no longer in the corpus: row removed")
        rows.remove(by_name.pop(gone))
    wanted = set(args.archives) or set(present)
    with corpus.scratch_directory("corpus-survey-") as scratch:
        for name in present:
            if name not in wanted:
                continue
            row = by_name.get(name)
            if row is None:
                row = dict.fromkeys(corpus.COLUMNS, corpus.NONE) | {"archive": name, "expect": "?", "note": ""}
                rows.append(row)
                by_name[name] = row
                print(f"survey: {name} is new: judge its expectation")
            archive = args.corpus / name
            digest = sha256(archive)
            if row["sha256"] not in (corpus.NONE, digest):
                print(f"survey: {name} changed: check its expectation")
            row["sha256"] = digest
            details = []
            for tool in corpus.TOOLS:
                row[tool], row[tool + "_tree"], detail = run_tool(tool, archive, corpus.password_of(row),
                                                                            pathlib.Path(scratch))
                details.append(detail)
            line = (f"{name:60} bsdtar {row['bsdtar']:9} 7zz {row['7zz']:9} zipfile {row['zipfile']:9} "
                    f"expect {row['expect']}")
            print(line)
            if args.verbose:
                for tool, detail in zip(corpus.TOOLS, details):
                    if row[tool].split()[0] != "all":
                        print(f"    {tool}: {detail[:160]}")
    rows.sort(key=lambda row: row["archive"])
    corpus.write_table(rows, comments, args.table)
    return 0


if __name__ == "__main__":
    sys.exit(main())
