"""The library and its peers (bsdtar from a file and from a pipe, 7zz, Python's zipfile) on
one archive, with the written trees made comparable.

The tools are run as the corpus scripts run them (tests/corpus/check.py for the library,
tests/corpus/survey.py for the peers). What they wrote is compared by file, never by
directory: each path is decoded (UTF-8, else code page 437), split at "/" and "\\" (zipfile
keeps a back-slash inside a name on Linux, the library separates at it), and its empty and
"." components dropped. A peer that made links or special files is left out of comparisons:
the library makes none.
"""
import dataclasses
import importlib.util
import pathlib
import shutil
import sys

CORPUS_SCRIPTS = pathlib.Path(__file__).resolve().parents[1] / "corpus"
sys.path.insert(0, str(CORPUS_SCRIPTS))

import corpus  # noqa: E402  (tests/corpus)
import survey  # noqa: E402


def load_corpus_check():
    """tests/corpus/check.py under a name of its own: check.py here is another module."""
    found = importlib.util.spec_from_file_location("corpus_check", CORPUS_SCRIPTS / "check.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


corpus_check = load_corpus_check()

# The corpus table's tools and libarchive's streaming reader (bsdtar from a pipe).
PEERS = corpus.TOOLS + (survey.STREAMING_BSDTAR,)
PASSWORD = corpus.WRONG_PASSWORD  # no archive here is encrypted: no tool waits for a password
scratch_directory = corpus.scratch_directory


@dataclasses.dataclass
class Outcome:
    """What one tool did: whether it succeeded (the library: its result code), what it said,
    and the files it wrote by normalised path (-> SHA-256)."""

    ok: bool
    said: str
    files: dict
    tree: corpus.Tree
    code: int | None = None
    escaped: list = dataclasses.field(default_factory=list)

    @property
    def comparable(self):
        return self.ok and not self.tree.links and not self.tree.others


def normalised(path):
    """A written path as the comparison sees it (bytes, "/"-separated)."""
    text = corpus.library_name(path).decode("utf-8")
    return "/".join(part for part in text.split("/") if part not in ("", ".")).encode("utf-8")


def files_of(tree):
    return {normalised(path): digest for path, digest in tree.files.items()}


def run_library(runner, library, archive, scratch):
    """The library through the benchmark's runner; `said` is its printed text (or the crash
    or hang that ended it)."""
    run = corpus_check.run_library(runner, library, archive, PASSWORD, scratch)
    return Outcome(run.code == 0 and not run.problem, run.problem or run.printed, files_of(run.tree), run.tree,
                   run.code, run.escaped)


def run_peer(tool, archive, scratch):
    target = scratch / tool
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    failed, said, tree = survey.extract(tool, archive, PASSWORD, target)
    shutil.rmtree(target, ignore_errors=True)
    return Outcome(failed is False, said, files_of(tree), tree)


def installed(tool):
    program = survey.program_of(tool)
    return program is None or shutil.which(program) is not None


def run_peers(archive, scratch, tools=PEERS):
    return {tool: run_peer(tool, archive, scratch) for tool in tools if installed(tool)}


def differences(library, peer):
    """(kind, path) of each way in which the library's files differ from a peer's: "extra"
    (the library wrote a file the peer did not), "missing", "contents"."""
    found = [("extra", p) for p in library.files.keys() - peer.files.keys()]
    found += [("missing", p) for p in peer.files.keys() - library.files.keys()]
    found += [("contents", p) for p in library.files.keys() & peer.files.keys() if library.files[p] != peer.files[p]]
    return sorted(found)
