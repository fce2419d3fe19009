"""The corpus table and the extracted trees that the corpus scripts share.

The table (expected.tsv beside this file) has one row per archive of third_party/corpus,
with these columns, tab-separated:

  archive     path below third_party/corpus
  sha256      of the archive, so that a changed source package shows
  password    what the password callback answers ("-": none known; WRONG_PASSWORD is
              given instead)
  bsdtar      what `bsdtar -xf` did: "all N" (no error, N files), "some N" (an error after
              N files), "none" (an error, no file), "hang" (stopped after the time limit)
  bsdtar_tree digest of the tree bsdtar wrote, its names read as the library reads entry
              names (Tree.named_as_library, Tree.digest), "-" for none
  7zz         what `7zz x` did, in the same words
  7zz_tree    digest of the tree 7zz wrote
  zipfile     what Python's zipfile did (extracting entry by entry), in the same words: it
              takes method, sizes and CRC from the central directory alone, as the library
              does, where both tools above follow the local headers
  zipfile_tree digest of the tree zipfile wrote
  expect      what the library must do (see Expectation)
  note        why, where it is not obvious

Lines starting with "#" are comments and kept as they are.
"""
import dataclasses
import hashlib
import os
import pathlib
import re
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
TABLE = HERE / "expected.tsv"
COLUMNS = ("archive", "sha256", "password", "bsdtar", "bsdtar_tree", "7zz", "7zz_tree", "zipfile", "zipfile_tree",
           "expect", "note")
TOOLS = ("bsdtar", "7zz", "zipfile")
NONE = "-"
# Given to the tools and to the library where the table knows no password: a wrong one,
# so that nobody waits for a password at a terminal.
WRONG_PASSWORD = "not-the-password"


@dataclasses.dataclass
class Tree:
    """What one extraction wrote: regular files and directories (links are not counted:
    the library makes none)."""

    files: dict  # relative path (bytes) -> SHA-256 of the contents
    dirs: set  # relative paths (bytes)
    links: int = 0
    others: int = 0

    def count(self):
        """The number of files (links included)."""
        return len(self.files) + self.links

    def digest(self):
        """One short fingerprint of names, contents and directories; NONE for an empty tree."""
        if not self.files and not self.dirs:
            return NONE
        lines = [b"d " + d for d in self.dirs] + [b"f " + p + b" " + h.encode() for p, h in self.files.items()]
        return hashlib.sha256(b"\n".join(sorted(lines))).hexdigest()[:16]

    def named_as_library(self):
        """This tree as the library names what the tools named: a name that is not UTF-8 is
        code page 437 (the tools keep its bytes), and a back-slash separates directories
        (which the tools may keep inside a name)."""
        files = {library_name(path): digest for path, digest in self.files.items()}
        dirs = {library_name(path) for path in self.dirs}
        for path in list(files) + list(dirs):
            dirs.update(parents(path))
        return Tree(files=files, dirs=dirs, links=self.links, others=self.others)


def library_name(path):
    try:
        text = path.decode("utf-8")
    except UnicodeDecodeError:
        text = path.decode("cp437")
    return "/".join(part for part in re.split(r"[/\\]", text) if part).encode("utf-8")


def parents(path):
    parts = path.split(b"/")
    return {b"/".join(parts[:n]) for n in range(1, len(parts))}


def read_tree(root):
    """The tree below `root`, without following links."""
    tree = Tree(files={}, dirs=set())
    root = os.fsencode(root)
    for directory, subdirs, names in os.walk(root):
        for name in list(subdirs):
            path = os.path.join(directory, name)
            if os.path.islink(path):
                subdirs.remove(name)
                tree.links += 1
            else:
                tree.dirs.add(os.path.relpath(path, root))
        for name in names:
            path = os.path.join(directory, name)
            if os.path.islink(path):
                tree.links += 1
            elif os.path.isfile(path):
                tree.files[os.path.relpath(path, root)] = file_sha256(path)
            else:
                tree.others += 1
    return tree


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            digest.update(chunk)
    return digest.hexdigest()


def scratch_directory(prefix):
    """A temporary directory for extractions: in memory (/dev/shm) when it has room for the
    largest tree of the corpus (4 GiB), as the archives of many thousand files extract
    several times faster there."""
    shm = "/dev/shm"
    try:
        stat = os.statvfs(shm)
        roomy = stat.f_bavail * stat.f_frsize > SCRATCH_ROOM and os.access(shm, os.W_OK)
    except OSError:
        roomy = False
    return tempfile.TemporaryDirectory(prefix=prefix, dir=shm if roomy else None)


SCRATCH_ROOM = 6 << 30


def read_table(path=TABLE):
    """(rows, comments): rows are dicts of COLUMNS, in file order."""
    rows, comments = [], []
    for number, line in enumerate(pathlib.Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            comments.append(line)
            continue
        fields = line.split("\t")
        if fields == list(COLUMNS):
            continue
        if len(fields) != len(COLUMNS):
            raise ValueError(f"{path}:{number}: {len(fields)} columns, expected {len(COLUMNS)}")
        rows.append(dict(zip(COLUMNS, fields)))
    return rows, comments


def write_table(rows, comments, path=TABLE):
    lines = comments + ["\t".join(COLUMNS)] + ["\t".join(row[c] for c in COLUMNS) for row in rows]
    pathlib.Path(path).write_text("\n".join(lines) + "\n", encoding="utf-8")


@dataclasses.dataclass
class Expectation:
    """What the library must do with one archive, from the table's expect column:

      extract TOOL [CODE]            result CODE (default 0) and the tree that TOOL wrote
                                     (TOOL: bsdtar, 7zz, zipfile, or both when the trees of
                                     bsdtar and 7zz agree)
      refuse REASON [CODE] [WRITES]  a result other than 0 (exactly CODE, if given) and a
                                     printed message that names REASON (see REASONS);
                                     WRITES is "empty" (no file or directory at all) or
                                     "without=NAME,..." (no such file: the entries that fail)
    """

    action: str  # "extract" or "refuse"
    reference: str = ""  # extract: the tool whose tree is expected
    reason: str = ""  # refuse: a key of REASONS
    code: int | None = None
    empty: bool = False  # refuse: nothing may be written
    without: tuple = ()  # refuse: names that must not be written

    @staticmethod
    def parse(text):
        words = text.split()
        if len(words) >= 2 and words[0] == "extract" and words[1] in TOOLS + ("both",):
            if len(words) == 2 or (len(words) == 3 and words[2].isdigit()):
                return Expectation("extract", reference=words[1], code=int(words[2]) if len(words) == 3 else 0)
        if 2 <= len(words) <= 4 and words[0] == "refuse" and words[1] in REASONS:
            expectation = Expectation("refuse", reason=words[1])
            rest = words[2:]
            if rest and rest[0].isdigit() and int(rest[0]) != 0:
                expectation.code = int(rest.pop(0))
            if rest == ["empty"]:
                expectation.empty = True
                rest = []
            elif rest and rest[0].startswith("without=") and len(rest[0]) > len("without="):
                expectation.without = tuple(rest.pop(0)[len("without="):].split(","))
            if not rest:
                return expectation
        raise ValueError(f"not an expectation: {text!r}")

    def reference_tree(self, row):
        return row[self.reference_tool() + "_tree"]

    def reference_tool(self):
        return TOOLS[0] if self.reference == "both" else self.reference


# What a refusal's message must name, as patterns of words (matched ignoring case): loose
# enough for any wording that tells a user what is wrong.
REASONS = {
    "password": r"password",
    "method": r"method|unsupported|not supported",
    "encryption": r"encrypt|unsupported|not supported",
    "crc": r"crc|checksum",
    "size": r"size|length|truncat|short|long|overlap|outside|beyond|past|end of",
    "data": r"corrupt|damaged|invalid|inflate|deflate|bzip2|lzma|xz|zstd|data|crc|checksum",
    "local": r"local|header|signature|extra|crc|checksum|size",
    "directory": r"central|directory|end record|entries|signature|header",
    "notzip": r"not a zip|no zip|zip archive|end record|end of central|not an archive",
    "name": r"name",
}


def names_reason(reason, text, archive_name=""):
    """Whether `text` names `reason` in words of their own (not inside an entry's name such
    as storedcrcerror, nor in the archive's name, which messages quote)."""
    if archive_name:
        text = text.replace(archive_name, "")
    return re.search(rf"\b(?:{REASONS[reason]})", text, re.IGNORECASE) is not None


def password_of(row):
    return WRONG_PASSWORD if row["password"] == NONE else row["password"]
