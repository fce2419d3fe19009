#!/usr/bin/env python3
"""Mutates valid archives and compares what the unzip library writes with what bsdtar (from
the file, and from a pipe: libarchive's streaming reader), 7zz and Python's zipfile write.

    differential.py --runner BENCH_UNZIP32 [--library PATH] [--seed S] [--count N | --minutes M]
                    [--findings DIR] [--known FILE] [--only S:I ...]

Seeds: small valid archives made here with zipbuild (stored and deflated entries, a
directory, data descriptors in their four forms, zip64 fields and records, Unicode Path
fields, a comment) and, where the tools are there, with zip, 7zz and bsdtar, made at run
time. Archive I of a run with seed S is made by random.Random(f"{S}:{I}") alone, so
`--only S:I` makes it again.

Mutations, one to three an archive:
  builder seeds   rebuilt with changes that keep the offsets consistent: a field of one
                  entry's local header, central header or descriptor (method, flags, CRC,
                  sizes, attributes, offsets), its name or extra fields (zip64, Unicode Path,
                  AES), its descriptor's form; an entry listed twice, not at all, or out of
                  order; bytes in front, between entries or after the end; zip64 records and
                  their locator; fields of the end records; the archive comment (which may
                  hold a second end record or a whole archive);
  every seed      one field of one record found by its signature overwritten with a value of
                  interest (0, all ones, +-1, a bit flipped, the same field of a sibling, any),
                  or a byte of a name replaced (separators, dots, NUL, colon, case, 0x84).
  streaming       (about a third of the archives, builder seeds only) what a streaming reader
                  reads another way: bytes in front that begin with a spanning marker (PK00,
                  PK\7\8) or a local header at offset 0, of entries no directory lists; a
                  deflate stream that ends before its recorded size over a hidden entry (with
                  bit 3 and a descriptor that fits the stream, or without and zeros), or a
                  recorded size shorter than the stream; a zip64 field in a bit-3 entry's local
                  header and a 16-byte descriptor (the next entry holding a hidden one), or a
                  24-byte descriptor without that field; PK\7\8 and the CRC or sizes of the
                  bytes before it inside stored bit-3 data; two zip64, AES, Unicode Path,
                  0x5455 or 0x000a fields in one header, equal or not. Whether archive I is
                  one of these is drawn from a random stream of its own, so that the others
                  are the archives that runs made before these mutations.

A finding is an archive that the library extracts (result 0) while a peer that also
succeeded writes other files: a file that the library wrote and the peer did not ("extra"),
one that the peer wrote and the library did not ("missing"), or other bytes ("contents").
Fair to the library where the peers differ among themselves: peers that fail are ignored
(bsdtar, from a file or a pipe, and zipfile fail on any error they print, 7zz by its exit
status), so are peers
that made links or special files, and an archive that the library refuses is never a
finding. Paths are compared normalised: decoded as UTF-8, else code page 437 (bsdtar and
zipfile keep the bytes, 7zz converts); split at "/" and "\\" (zipfile keeps a back-slash
inside a name, the library separates at it); empty and "." components dropped (zipfile and
bsdtar drop them). Directories are not compared.

Each finding is printed and, with --findings DIR, kept there as S-I.zip with S-I.json: the
files that the successful peers agree on (what check.py expects of a kept archive, so that
both files can move to regressions/) and what each tool did. Archives listed in --known
(lines "S:I") may be findings without failing the run; one of them that is no finding any
more fails it. Exits 0 without findings, 1 with any, 77 without bsdtar or 7zz: it cannot run, which fails.
"""
import argparse
import copy
import dataclasses
import json
import os
import pathlib
import random
import shutil
import subprocess
import sys
import time
import zlib
from collections import Counter

import peers
import zipbuild as zb
from zipbuild import DEFLATED, STORED, Entry, Zip

SKIPPED = 77


@dataclasses.dataclass
class Recipe:
    """A builder seed: everything that zipbuild needs to write it again."""

    entries: list
    listing: list  # indices of the entries that the directory lists, in order
    gaps: list  # bytes after each entry's data
    prefix: bytes = b""
    front: bytes = b""  # in front of the prefix, not counted by the offsets
    trailing: bytes = b""
    comment: bytes = b""
    end: dict = dataclasses.field(default_factory=dict)
    zip64: dict | None = None  # zip64 end record fields; None: no zip64 records
    locator: dict = dataclasses.field(default_factory=dict)

    def build(self):
        built = Zip()
        built.raw(self.prefix)
        for entry, gap in zip(self.entries, self.gaps):
            built.local(entry)
            built.raw(gap)
        for index in self.listing:
            built.central(self.entries[index])
        if self.zip64 is not None:
            built.zip64_end(**self.zip64)
            built.locator(**self.locator)
        built.end(comment=self.comment, **self.end)
        return self.front + built.bytes() + self.trailing


def recipe(*entries, **fields):
    return Recipe(list(entries), list(range(len(entries))), [b""] * len(entries), **fields)


SEED_TIME = 1715949000  # 2024-05-17 12:30 UTC
TEXT = b"The quick brown fox jumps over the lazy dog.\n"


def builder_seeds():
    return {
        "plain": recipe(Entry("a.txt", TEXT), Entry("d/", b""), Entry("d/b.txt", TEXT * 9, method=DEFLATED)),
        "descriptors": recipe(Entry("a.txt", TEXT * 3, method=DEFLATED, descriptor="sig32"),
                              Entry("b.txt", b"bravo\n", descriptor="32"),
                              Entry("c/c.txt", TEXT * 2, method=DEFLATED, descriptor="sig64")),
        "zip64": recipe(Entry("a.txt", TEXT, zip64=True), Entry("b.bin", bytes(range(64)), zip64=True),
                        zip64={}),
        "names": recipe(Entry(b"\x84.txt", TEXT, local={"extra": zb.unicode_path_extra("ä.txt", b"\x84.txt")},
                              central={"extra": zb.unicode_path_extra("ä.txt", b"\x84.txt")}),
                        Entry("dir/ü.txt", b"u\n"), Entry("Case.txt", b"c\n"), comment=b"archive comment"),
    }


def tool_seeds(scratch):
    """Archives of a small tree made by the tools that are there (zip, 7zz, bsdtar)."""
    tree = scratch / "seed-tree"
    (tree / "d").mkdir(parents=True, exist_ok=True)
    (tree / "a.txt").write_bytes(TEXT)
    (tree / "d" / "b.txt").write_bytes(TEXT * 20)
    # bsdtar reads the tree from this description, which gives it no access or change times.
    (tree / "tree.mtree").write_text("#mtree\n" + "".join(
        f"{name} type={kind} mode={mode} uid=0 gid=0 time={SEED_TIME}.0{extra}\n"
        for name, kind, mode, extra in (("a.txt", "file", "0644", " contents=a.txt"), ("d", "dir", "0755", ""),
                                        ("d/b.txt", "file", "0644", " contents=d/b.txt"))))
    commands = {"zip": ["zip", "-qr", "-X", "{out}", "a.txt", "d"],
                "zip-stream": ["sh", "-c", "zip -qr -X - a.txt d | cat > {out}"],
                "7zz": ["7zz", "a", "-tzip", "-bd", "-bso0", "{out}", "a.txt", "d"],
                "bsdtar": ["bsdtar", "--format", "zip", "-cf", "{out}", "@tree.mtree"]}
    seeds = {}
    for name, command in commands.items():
        tool = command[0] if command[0] != "sh" else "zip"
        out = scratch / f"seed-{name}.zip"
        if not shutil.which(tool):
            continue
        command = [part.replace("{out}", str(out)) for part in command]
        for path in (tree / "a.txt", tree / "d" / "b.txt", tree / "d"):
            os.utime(path, (SEED_TIME, SEED_TIME))  # the same archives on every run
        if subprocess.run(command, cwd=tree, capture_output=True).returncode == 0 and out.exists():
            seeds[name] = out.read_bytes()
    return seeds


# Values of interest for a field of `bits` bits that holds `value`.
def interesting(rng, value, bits, siblings=()):
    top = (1 << bits) - 1
    choices = [0, top, (value + 1) & top, (value - 1) & top, value ^ (1 << rng.randrange(bits)),
               rng.randrange(top + 1), (value + rng.choice((2, 4, 22, 46))) & top]
    choices += [s & top for s in siblings]
    return rng.choice(choices)


NAME_BYTES = [b"/", b"\\", b".", b"\x00", b":", b"\x84", b"A", b"a", b" "]


def rename(rng, name, others):
    name = zb.encode_name(name)
    head, _, tail = name.rpartition(b"/")
    changes = [name.swapcase(), b"./" + name, name.replace(b"/", b"\\"), name + b"/", name + b"/.",
               name.replace(b"/", b"//"), b"/" + name, (head + b"/" if head else b"") + b"x/../" + tail,
               name + b".", name.upper(), rng.choice(others)]
    if name:
        at = rng.randrange(len(name))
        changes.append(name[:at] + rng.choice(NAME_BYTES) + name[at + 1:])
    return rng.choice(changes)


HEADER_FIELDS = {"method": 16, "flags": 16, "crc": 32, "csize": 32, "usize": 32, "version": 16}
CENTRAL_ONLY = {"external": 32, "made_by": 16, "offset": 32, "disk": 16}
SIDES = ("local", "central", "both")


def on_sides(entry, side, **fields):
    for which in ("local", "central") if side == "both" else (side,):
        getattr(entry, which).update(fields)


def mutate_header_field(rng, r):
    entry = rng.choice(r.entries)
    fields = HEADER_FIELDS | CENTRAL_ONLY
    name = rng.choice(list(fields))
    side = "central" if name in CENTRAL_ONLY else rng.choice(SIDES)
    base = entry.base_fields() | {"external": entry.external, "made_by": entry.made_by, "offset": 0, "disk": 0}
    siblings = [e.base_fields().get(name, 0) for e in r.entries if e is not entry]
    value = interesting(rng, base[name], fields[name], siblings)
    if name == "flags" and rng.random() < 0.7:
        value = base["flags"] ^ rng.choice((0x1, 0x8, 0x40, 0x800, 0x2000))
    if name == "method" and rng.random() < 0.7:
        value = rng.choice((STORED, DEFLATED, 9, 12, 14, 93, 99))
    on_sides(entry, side, **{name: value})
    return f"header:{side} {name}"


def mutate_name(rng, r):
    entry = rng.choice(r.entries)
    side = rng.choice(SIDES)
    new = rename(rng, entry.name, [zb.encode_name(e.name) for e in r.entries])
    on_sides(entry, side, name=new)
    return f"name:{side}"


def mutate_extra(rng, r):
    entry = rng.choice(r.entries)
    side = rng.choice(SIDES)
    raw = zb.encode_name(entry.name)
    other = rename(rng, raw, [zb.encode_name(e.name) for e in r.entries]).decode("utf-8", "replace")
    unicode = zb.unicode_path_extra(other, raw, version=rng.choice((1, 1, 1, 2)),
                                    crc=rng.choice((None, None, 0)))
    extras = [unicode, unicode * 2, zb.unicode_path_extra(raw.decode("cp437"), raw) + unicode,
              zb.zip64_extra(len(entry.data), len(entry.compressed)),
              zb.zip64_extra(len(entry.data) + rng.randrange(1, 9), len(entry.compressed)),
              zb.aes_extra(entry.method), b""]
    on_sides(entry, side, extra=rng.choice(extras))
    return f"extra:{side}"


def mutate_descriptor(rng, r):
    entry = rng.choice(r.entries)
    if entry.descriptor and rng.random() < 0.6:
        field = rng.choice(("crc", "csize", "usize"))
        entry.descriptor_fields[field] = interesting(rng, entry.crc if field == "crc" else 0, 32)
        return "descriptor:field"
    entry.descriptor = rng.choice((None, "sig32", "32", "sig64", "64"))
    return "descriptor:form"


def mutate_listing(rng, r):
    count = len(r.entries)
    choice = rng.randrange(4)
    if choice == 0:
        r.listing.insert(rng.randrange(len(r.listing) + 1), rng.randrange(count))
        return "listing:twice"
    if choice == 1 and len(r.listing) > 1:
        r.listing.pop(rng.randrange(len(r.listing)))
        return "listing:dropped"
    if choice == 2:
        rng.shuffle(r.listing)
        return "listing:order"
    # A second entry of the same name and other contents, listed or only local.
    twin = copy.deepcopy(rng.choice(r.entries))
    twin.data = twin.data[::-1] + b"!"
    at = rng.randrange(count + 1)
    r.entries.insert(at, twin)
    r.gaps.insert(at, b"")
    r.listing = [i + (1 if i >= at else 0) for i in r.listing]
    if rng.random() < 0.5:
        r.listing.append(at)
    return "listing:twin"


RECORD_BYTES = [b"PK\x01\x02", b"PK\x03\x04", b"PK\x05\x06", b"PK\x06\x06", b"PK\x07\x08", b"PK\x05\x05"]


def junk(rng):
    choices = [b"-JUNK-", bytes(rng.randrange(1, 40)), rng.choice(RECORD_BYTES) + bytes(rng.randrange(30)),
               bytes(rng.randrange(256) for _ in range(rng.randrange(1, 30)))]
    return rng.choice(choices)


def mutate_layout(rng, r):
    where = rng.randrange(3)
    if where == 0:
        r.gaps[rng.randrange(len(r.gaps))] = junk(rng)
        return "layout:gap"
    if where == 1:
        r.prefix = b"MZ" + junk(rng) * rng.randrange(1, 4)
        return "layout:prefix"
    r.trailing = junk(rng)
    return "layout:trailing"


END_FIELDS = {"entries": 16, "disk_entries": 16, "cd_size": 32, "cd_offset": 32, "disk": 16, "cd_disk": 16}
ZIP64_FIELDS = {"entries": 64, "disk_entries": 64, "cd_size": 64, "cd_offset": 64, "disk": 32, "cd_disk": 32,
                "record_size": 64}


def mutate_end(rng, r):
    count = len(r.listing)
    name = rng.choice(list(END_FIELDS))
    current = {"entries": count, "disk_entries": count}.get(name, 0)
    if rng.random() < 0.3:
        r.end.update(entries=zb.MAXED16, disk_entries=zb.MAXED16, cd_size=zb.MAXED32, cd_offset=zb.MAXED32)
        r.zip64 = {} if r.zip64 is None else r.zip64
        return "end:maxed"
    r.end[name] = interesting(rng, current, END_FIELDS[name]) if rng.random() < 0.5 else current + rng.choice((-1, 1))
    r.end[name] &= (1 << END_FIELDS[name]) - 1
    return f"end:{name}"


def mutate_zip64(rng, r):
    r.zip64 = {} if r.zip64 is None else r.zip64
    choice = rng.randrange(3)
    if choice == 0:
        return "zip64:added"
    if choice == 1:
        name = rng.choice(list(ZIP64_FIELDS))
        r.zip64[name] = interesting(rng, len(r.listing) if "entries" in name else 0, ZIP64_FIELDS[name])
        return f"zip64:{name}"
    r.locator[rng.choice(("zip64_disk", "zip64_offset", "disks"))] = rng.choice((0, 1, 2, 0xFFFFFFFF))
    return "zip64:locator"


def mutate_comment(rng, r):
    inner = recipe(Entry("payload.sh", b"echo payload\n"))
    nested = inner.build()
    end_copy = nested[-22:]
    r.comment = rng.choice([b"PK\x05\x06" + bytes(18), end_copy, nested, b"a comment"])
    return "comment:archive"


RECIPE_MUTATIONS = (mutate_header_field, mutate_header_field, mutate_name, mutate_name, mutate_extra,
                    mutate_descriptor, mutate_listing, mutate_layout, mutate_end, mutate_zip64, mutate_comment)


# Mutations of what a streaming reader reads (libarchive from a pipe): it walks the local
# headers from offset 0, past a spanning marker, ends each entry where its local header or
# its stream says, and reads the descriptor in the form that its local header announces.


def hidden_record(rng, r):
    """The local record of an entry that no directory lists: a new one, or one of the name
    of a listed entry and other contents."""
    if rng.random() < 0.5:
        return Entry("hidden.sh", b"echo hidden\n").local_record()
    twin = copy.deepcopy(rng.choice(r.entries))
    twin.data, twin.payload, twin.local, twin.central = twin.data[::-1] + b"!", None, {}, {}
    return twin.local_record()


def with_data(r):
    return [e for e in r.entries if e.data] or r.entries


def mutate_front(rng, r):
    marker = rng.choice((b"PK00", b"PK\x07\x08", b""))
    front = marker + b"".join(hidden_record(rng, r) for _ in range(rng.choice((1, 1, 2))))
    if rng.random() < 0.5:
        r.prefix = front + r.prefix
        return "front:marker" if marker else "front:offset0"
    r.front = front
    return "front:marker unadjusted" if marker else "front:offset0 unadjusted"


def mutate_length(rng, r):
    """A deflate stream that ends before its recorded size, a hidden entry in the rest (with
    bit 3 a descriptor that fits the stream comes first, without it zeros), or a recorded
    size shorter than the stream, the rest of it left between the entries."""
    index = r.entries.index(rng.choice(with_data(r)))
    entry = r.entries[index]
    if rng.random() < 0.3:
        stream = entry.compressed
        cut = rng.randrange(1, min(len(stream), 8) + 1) if stream else 0
        entry.payload = stream[:len(stream) - cut]
        r.gaps[index] = stream[len(stream) - cut:] + r.gaps[index]
        return "length:short"
    entry.method, entry.payload = DEFLATED, None
    stream = entry.compressed
    hidden = hidden_record(rng, r) if rng.random() < 0.8 else b""
    if rng.random() < 0.5:
        entry.descriptor = "sig32"
        fits = zb.DESCRIPTOR32.pack({"crc": entry.crc, "csize": len(stream), "usize": len(entry.data)})
        entry.payload = stream + fits + hidden
        return "length:early bit3"
    entry.descriptor = None
    entry.payload = stream + bytes(rng.choice((0, 4, 16))) + hidden
    return "length:early"


def mutate_descriptor_form(rng, r):
    index = r.entries.index(rng.choice(r.entries))
    entry = r.entries[index]
    entry.zip64 = False
    if rng.random() < 0.35:
        return mutate_lookalike(rng, r, entry)
    if rng.random() < 0.5:
        # The local header announces a 24-byte descriptor, a 16-byte one follows; the next
        # entry may hold a hidden one where a streaming reader then lands.
        entry.descriptor = rng.choice(("sig32", "32"))
        extra = zb.zip64_extra(*rng.choice(((0, 0), (len(entry.data), len(entry.compressed)))))
        entry.local.update(extra=extra, csize=zb.MAXED32, usize=zb.MAXED32, version=45)
        if index + 1 < len(r.entries) and rng.random() < 0.6:
            following = r.entries[index + 1]
            following.method, following.payload = STORED, None
            following.data = hidden_record(rng, r) + following.data
        return "form:zip64 local 16"
    entry.descriptor = rng.choice(("sig64", "64"))
    entry.local.update(extra=b"", csize=0, usize=0)
    return "form:24 without zip64"


def mutate_lookalike(rng, r, entry):
    """`PK\7\8` inside stored bit-3 data, with the CRC or the sizes of the bytes before it
    (or both), then maybe a hidden entry."""
    entry.method, entry.payload, entry.descriptor = STORED, None, "sig32"
    at = rng.randrange(len(entry.data) + 1)
    head = entry.data[:at]
    fits = rng.choice(("crc", "sizes", "both"))
    size = len(head) if fits != "crc" else len(head) + rng.choice((1, 7, 1000))
    crc = zlib.crc32(head) if fits != "sizes" else zlib.crc32(head) ^ 1
    lookalike = zb.DESCRIPTOR32.pack({"crc": crc, "csize": size, "usize": size})
    hidden = hidden_record(rng, r) if rng.random() < 0.6 else b""
    entry.data = head + lookalike + hidden + entry.data[at:]
    return f"form:lookalike {fits}"


def repeated_fields(rng, entry, kind):
    """Two extra fields of one kind that the readers interpret, the first and the second
    differing, and the header fields that make a reader look at them."""
    if kind == "zip64":
        usize, csize = len(entry.data), len(entry.compressed)
        fields = (zb.zip64_extra(usize, csize), zb.zip64_extra(usize + rng.randrange(1, 9), csize))
        return fields, {"csize": zb.MAXED32, "usize": zb.MAXED32, "version": 45}
    if kind == "aes":
        aes = {"method": 99, "flags": zb.FLAG_ENCRYPTED} if rng.random() < 0.5 else {}
        return (zb.aes_extra(DEFLATED), zb.aes_extra(STORED)), aes
    if kind == "unicode":
        raw = zb.encode_name(entry.name)
        names = [rename(rng, raw, [raw]).decode("utf-8", "replace") for _ in range(2)]
        return tuple(zb.unicode_path_extra(name, raw) for name in names), {}
    make = zb.extended_time_extra if kind == "time" else zb.ntfs_time_extra
    return (make(SEED_TIME), make(SEED_TIME + rng.randrange(1, 1 << 20))), {}


def mutate_repeated_extra(rng, r):
    entry = rng.choice(r.entries)
    kind = rng.choice(("zip64", "aes", "unicode", "time", "ntfs"))
    (first, second), header = repeated_fields(rng, entry, kind)
    if rng.random() < 0.5:
        first, second = second, first
    if rng.random() < 0.25:
        second = first
    side = rng.choice(SIDES)
    on_sides(entry, side, extra=first + second, **header)
    return f"repeat:{side} {kind}"


STREAMING_MUTATIONS = (mutate_front, mutate_length, mutate_descriptor_form, mutate_repeated_extra)
# The share of archives made by the streaming mutations: the rest come out of the random
# stream as they did before those mutations were added.
STREAMING_SHARE = 0.35


def mutate_bytes(rng, data):
    """One field of one record found by its signature, or one byte of a name."""
    data = bytearray(data)
    records = zb.find_records(data)
    if not records:
        return bytes(data), "bytes:none"
    offset, record = rng.choice(records)
    if record in (zb.LOCAL, zb.CENTRAL) and rng.random() < 0.3:
        fields = zb.parse(data, offset, record)
        start = offset + record.size
        if fields["name_length"] and start + fields["name_length"] <= len(data):
            data[start + rng.randrange(fields["name_length"])] = rng.choice(NAME_BYTES)[0]
            return bytes(data), f"bytes:{record.kind} name"
    name, at, size = rng.choice(list(record.field_spans(offset)))
    value = int.from_bytes(data[at:at + size], "little")
    siblings = [int.from_bytes(data[a + at - offset:a + at - offset + size], "little")
                for a, r in records if r is record and a != offset and a + at - offset + size <= len(data)]
    data[at:at + size] = interesting(rng, value, size * 8, siblings).to_bytes(size, "little")
    return bytes(data), f"bytes:{record.kind} {name}"


def make_archive(seed, index, recipes, foreign):
    """(bytes, mutations applied) of archive `index` of a run with `seed`."""
    streaming = random.Random(f"{seed}:{index}:streaming")
    if streaming.random() < STREAMING_SHARE:
        return make_streaming_archive(streaming, recipes)
    rng = random.Random(f"{seed}:{index}")
    names = sorted(recipes) + sorted(foreign)
    chosen = rng.choice(names)
    applied = [chosen]
    if chosen in recipes:
        r = copy.deepcopy(recipes[chosen])
        for _ in range(rng.choice((1, 1, 2, 3))):
            applied.append(rng.choice(RECIPE_MUTATIONS)(rng, r))
        data = r.build()
        rounds = 1 if rng.random() < 0.25 else 0
    else:
        data, rounds = foreign[chosen], rng.choice((1, 1, 2))
    for _ in range(rounds):
        data, what = mutate_bytes(rng, data)
        applied.append(what)
    return data, applied


def make_streaming_archive(rng, recipes):
    """A builder seed with one streaming mutation, sometimes another mutation after it."""
    chosen = rng.choice(sorted(recipes))
    r = copy.deepcopy(recipes[chosen])
    applied = [chosen, rng.choice(STREAMING_MUTATIONS)(rng, r)]
    if rng.random() < 0.3:
        applied.append(rng.choice(RECIPE_MUTATIONS + STREAMING_MUTATIONS)(rng, r))
    return r.build(), applied


@dataclasses.dataclass
class Finding:
    ident: str
    applied: list
    library: peers.Outcome
    outcomes: dict
    differences: dict  # peer -> [(kind, path)]

    def lines(self):
        yield f"finding {self.ident}  mutations: {', '.join(self.applied)}"
        yield f"    library  {sorted(describe(p) for p in self.library.files)}"
        for tool, outcome in self.outcomes.items():
            if tool in self.differences:
                diff = ", ".join(f"{kind} {describe(path)}" for kind, path in self.differences[tool])
                yield f"    {tool:8} {sorted(describe(p) for p in outcome.files)}: {diff}"
            elif not outcome.comparable:
                yield f"    {tool:8} failed: {outcome.said[:100]}"

    def agreed_files(self):
        """The files on which every successful peer agrees."""
        successful = [o.files for o in self.outcomes.values() if o.comparable]
        agreed = dict(successful[0]) if successful else {}
        for files in successful[1:]:
            agreed = {p: d for p, d in agreed.items() if files.get(p) == d}
        return {describe(p): d for p, d in agreed.items()}

    def keep(self, folder, data):
        folder.mkdir(parents=True, exist_ok=True)
        stem = self.ident.replace(":", "-")
        (folder / f"{stem}.zip").write_bytes(data)
        record = {"files": self.agreed_files(), "mutations": self.applied,
                  "what": list(self.lines())}
        (folder / f"{stem}.json").write_text(json.dumps(record, indent=1, ensure_ascii=False) + "\n", encoding="utf-8")


def describe(path):
    return path.decode("utf-8", "backslashreplace")


def compare(ident, applied, archive, args, scratch):
    """(the library's outcome, the finding or None): the peers run only where the library
    extracted; a crash, a hang or a file beside the target is a finding by itself."""
    library = peers.run_library(args.runner, args.library, archive, scratch / "run")
    if library.code is None or library.escaped:
        trouble = f"library: {library.said[:80]} {library.escaped[:2]}"
        return library, Finding(ident, applied + [trouble], library, {}, {"library": [("crash", b"")]})
    if not library.ok:
        return library, None
    outcomes = peers.run_peers(archive, scratch / "peers")
    differences = {tool: found for tool, outcome in outcomes.items()
                   if outcome.comparable and (found := peers.differences(library, outcome))}
    return library, Finding(ident, applied, library, outcomes, differences) if differences else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runner", type=pathlib.Path, required=True, help="bench_unzip32")
    parser.add_argument("--library", type=pathlib.Path, help="the library to load (default: beside the runner)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=300, help="archives to make (default 300)")
    parser.add_argument("--minutes", type=float, help="make archives for this long instead of --count")
    parser.add_argument("--findings", type=pathlib.Path, help="keep each finding in this folder")
    parser.add_argument("--known", type=pathlib.Path, help="archives (S:I) known to be findings")
    parser.add_argument("--only", nargs="*", default=[], help="make only these archives (S:I)")
    args = parser.parse_args()
    args.runner = args.runner.resolve()
    args.library = args.library.resolve() if args.library else None
    missing = [tool for tool in peers.PEERS if not peers.installed(tool)]
    if missing:
        print(f"differential check skipped: {', '.join(missing)} not installed (scripts/setup.sh test)")
        return SKIPPED
    known = read_known(args.known)
    started = time.monotonic()
    counts, by_mutation, by_difference = Counter(), Counter(), Counter()
    found = set()
    with peers.scratch_directory("differential-") as scratch:
        scratch = pathlib.Path(scratch)
        recipes, foreign = builder_seeds(), tool_seeds(scratch)
        wanted = [tuple(map(int, ident.split(":"))) for ident in args.only]
        index = 0
        while True:
            if wanted:
                if index >= len(wanted):
                    break
                seed, number = wanted[index]
            else:
                if args.minutes is None and index >= args.count:
                    break
                if args.minutes is not None and time.monotonic() - started > args.minutes * 60:
                    break
                seed, number = args.seed, index
            index += 1
            ident = f"{seed}:{number}"
            data, applied = make_archive(seed, number, recipes, foreign)
            archive = scratch / "archive.zip"
            archive.write_bytes(data)
            library, finding = compare(ident, applied, archive, args, scratch)
            counts["made"] += 1
            counts["read" if library.ok else "refused"] += 1
            if finding is None:
                continue
            found.add(ident)
            for kind in {kind for diffs in finding.differences.values() for kind, _ in diffs}:
                by_difference[kind] += 1
            for kind in {kind_of(tag) for tag in applied[1:]}:
                by_mutation[kind] += 1
            marker = " (known)" if ident in known else ""
            print("\n".join(finding.lines()) + marker, flush=True)
            if args.findings:
                finding.keep(args.findings, data)
    report(counts, found, known, by_mutation, by_difference, time.monotonic() - started, args)
    unexpected = found - known
    no_longer = {k for k in known if k.split(":")[0] == str(args.seed)} - found if not wanted else set()
    for ident in sorted(no_longer):
        print(f"{ident} is listed in {args.known.name} but is no finding any more: remove it there")
    return 1 if unexpected or no_longer else 0


# The gap between readers that each mutation tag plays on (the kinds of the table, cases.py).
KINDS = {"header:method": "A1", "header:crc": "A2", "header:csize": "A2", "header:usize": "A2",
         "header:version": "A2", "header:flags": "A5", "header:external": "A4", "header:made_by": "A4",
         "header:offset": "C1", "header:disk": "C5", "name": "A3", "extra": "A3", "descriptor": "A2",
         "listing:twice": "B1", "listing:twin": "B1", "listing:dropped": "C1", "listing:order": "C1",
         "layout:gap": "C1", "layout:prefix": "C4", "layout:trailing": "C2", "end": "C3", "zip64": "C5",
         "comment": "C2", "bytes:local header": "A2", "bytes:central header": "A2", "bytes:end record": "C3",
         "bytes:data descriptor": "A2", "bytes:zip64 end record": "C5", "bytes:zip64 locator": "C5",
         "front": "C1", "length": "A2", "form": "A2", "form:lookalike": "C1", "repeat": "A3"}


def kind_of(tag):
    """The kind of gap a mutation tag ("head:words") plays on: the longest key of KINDS
    that starts it, else its head with its last word, else its head."""
    if tag.startswith("bytes:") and tag.endswith(" name"):
        return "B2/A3"
    head, _, rest = tag.partition(":")
    words = rest.split()
    keys = [head + ":" + " ".join(words[:n]) for n in range(len(words), 0, -1)]
    keys += [head + ":" + words[-1]] if words else []
    return next((KINDS[key] for key in keys + [head] if key in KINDS), "other")


def report(counts, found, known, by_mutation, by_difference, seconds, args):
    print(f"differential: {counts['made']} archives in {seconds:.0f} s (seed {args.seed}): the library read "
          f"{counts['read']} and refused {counts['refused']}; {len(found)} findings ({len(found & known)} known)")
    if by_difference:
        print("  by difference: " + ", ".join(f"{k} {n}" for k, n in by_difference.most_common()))
        print("  by kind of mutation: " + ", ".join(f"{k} {n}" for k, n in by_mutation.most_common()))


def read_known(path):
    if not path or not path.exists():
        return set()
    lines = (line.split("#", 1)[0].strip() for line in path.read_text(encoding="utf-8").splitlines())
    return {line for line in lines if line}


if __name__ == "__main__":
    sys.exit(main())
