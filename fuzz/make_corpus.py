#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: OUT/unzip32, OUT/get_field and OUT/job.

    fuzz/make_corpus.py OUT

unzip32 seeds are archives behind four control bytes (see fuzz/unzip32_fuzzer.cpp): plain,
traditionally encrypted (right and wrong password), AES-128/192/256 encrypted, zip64 (local
extras only, and with zip64 central extras and end records), with directories, odd and hostile
names, links and set-id modes, every method (Deflate64, BZip2 and LZMA as 7-Zip writes them;
LZMA, XZ and Zstandard entries built here), entries with data descriptors as bsdtar writes
them, archives behind a prefix, and corrupt ones. Archives that need a tool that is missing
(7zz or 7z, bsdtar, zstd) are left out. Every archive but the AES ones (random salt) and
bsdtar's (access and change times) is built from fixed bytes and time stamps, so the corpus
is the same on every run as long as the tools are.
"""

import io
import lzma
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

PASSWORD = b"amberLYNXQT"
TIME = (2021, 3, 4, 5, 6, 8)
TEXT = b"Ein Datenarchiv wird entpackt!\nBitte warten...\n" * 8
# Text, a table and noise: something for every stage of a decoder, a few KiB.
MIXED = (
    TEXT
    + b"".join(b"%05d;%s;%x\n" % (i, b"abcdefgh"[i % 8 :], i * i) for i in range(120))
    + bytes((i * 2654435761 >> 13) & 0xFF for i in range(600))
    + TEXT[::-1]
)
MIXED_FILES = [("mixed.bin", MIXED), ("dir/text.txt", TEXT), ("empty.txt", b"")]


# --------------------------------------------------------------------------------------------
# Archive writers


def entry(name, mode=0o644, compress=zipfile.ZIP_DEFLATED):
    zi = zipfile.ZipInfo(name, date_time=TIME)
    zi.compress_type = compress
    zi.create_system = 3
    zi.external_attr = (mode & 0xFFFF) << 16
    if name.endswith("/"):
        zi.external_attr |= 0x10
    return zi


def archive(entries, comment=b"", zip64=False):
    """entries: (ZipInfo, data) pairs."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", allowZip64=True) as zf:
        for zi, data in entries:
            if zip64:
                with zf.open(zi, "w", force_zip64=True) as f:
                    f.write(data)
            else:
                zf.writestr(zi, data)
        zf.comment = comment
    return buf.getvalue()


class Unseekable(io.RawIOBase):
    """A write-only stream that cannot seek, so that zipfile writes data descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def streamed_archive(entries):
    out = Unseekable()
    with zipfile.ZipFile(out, "w") as zf:
        for zi, data in entries:
            with zf.open(zi, "w") as f:
                f.write(data)
    return bytes(out.data)


class ZipCrypto:
    """Traditional PKWARE encryption, as every zip tool writes it."""

    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for c in password:
            self.update(c)

    def update(self, c):
        k0, k1, k2 = self.keys
        k0 = zlib.crc32(bytes([c]), k0 ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = zlib.crc32(bytes([k1 >> 24]), k2 ^ 0xFFFFFFFF) ^ 0xFFFFFFFF
        self.keys = [k0, k1, k2]

    def encrypt(self, data):
        out = bytearray()
        for c in data:
            t = (self.keys[2] | 2) & 0xFFFF
            out.append(c ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(c)
        return bytes(out)


def encrypted_archive(files, password, method=8):
    """A traditionally encrypted archive of (name, data) pairs, written field by field."""
    local = bytearray()
    central = bytearray()
    dos_time, dos_date = dos_stamp()
    for index, (name, data) in enumerate(files):
        name = name.encode()
        crc = zlib.crc32(data)
        if method == 8:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            body = c.compress(data) + c.flush()
        else:
            body = data
        header = bytes((index * 37 + i) & 0xFF for i in range(11)) + bytes([crc >> 24])
        enc = ZipCrypto(password).encrypt(header + body)
        offset = len(local)
        fields = struct.pack(
            "<HHHHHIIIHH", 20, 1, method, dos_time, dos_date, crc, len(enc), len(data), len(name), 0
        )
        local += b"PK\3\4" + fields + name + enc
        central += (
            b"PK\1\2"
            + struct.pack("<H", 0x0314)
            + fields
            + struct.pack("<HHHII", 0, 0, 0, 0o100644 << 16, offset)
            + name
        )
    eocd = b"PK\5\6" + struct.pack(
        "<HHHHIIH", 0, 0, len(files), len(files), len(central), len(local), 0
    )
    return bytes(local + central + eocd)


def tool(*names):
    for name in names:
        found = shutil.which(name)
        if found:
            return found
    return None


def dos_stamp():
    """TIME as the MS-DOS time and date fields."""
    dos_time = (TIME[3] << 11) | (TIME[4] << 5) | (TIME[5] // 2)
    dos_date = ((TIME[0] - 1980) << 9) | (TIME[1] << 5) | TIME[2]
    return dos_time, dos_date


def tool_archive(command, files, out_name="out.zip"):
    """Runs command (a list, with OUT for the archive) in a scratch directory holding files
    ((name, data) pairs, time stamps fixed); returns the archive's bytes or None."""
    stamp = 1614834368  # 2021-03-04 05:06:08 UTC
    with tempfile.TemporaryDirectory() as tmp:
        for name, data in files:
            path = os.path.join(tmp, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            os.utime(path, (stamp, stamp))
        out = os.path.join(tmp, out_name)
        argv = [out if a == "OUT" else a for a in command]
        result = subprocess.run(
            argv, cwd=tmp, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL
        )
        if result.returncode != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            return f.read()


def seven_zip_archive(switches, files):
    """An archive that 7-Zip writes with the given switches, when it is installed."""
    seven = tool("7zz", "7z")
    if not seven:
        return None
    names = [name for name, _ in files]
    return tool_archive([seven, "a", "-tzip", "-bd"] + switches + ["OUT"] + names, files)


def bsdtar_archive(files):
    """An archive that bsdtar writes: every entry streamed with a data descriptor (bit 3),
    with its time and Unix owner extra fields."""
    bsdtar = tool("bsdtar")
    if not bsdtar:
        return None
    return tool_archive([bsdtar, "-a", "-cf", "OUT"] + [name for name, _ in files], files)


def zstd_frame(data):
    zstd = tool("zstd")
    if not zstd:
        return None
    result = subprocess.run([zstd, "-q", "-c", "-19"], input=data, capture_output=True)
    return result.stdout if result.returncode == 0 else None


def lzma_entry_body(data, lc=3, lp=0, pb=2, dict_size=1 << 16):
    """A method 14 body: LZMA SDK version, properties size 5, the five properties bytes
    (lc/lp/pb packed into one, the dictionary size), then raw LZMA1 data with an end marker."""
    raw = lzma.compress(
        data,
        format=lzma.FORMAT_RAW,
        filters=[{"id": lzma.FILTER_LZMA1, "lc": lc, "lp": lp, "pb": pb, "dict_size": dict_size}],
    )
    props = struct.pack("<BI", (pb * 5 + lp) * 9 + lc, dict_size)
    return struct.pack("<BBH", 9, 20, len(props)) + props + raw


M32 = 0xFFFFFFFF  # a 32-bit field whose value is in the zip64 extra field or record


def raw_archive(files, zip64=False, comment=b""):
    """An archive written field by field from dicts with name, method, body (the stored bytes),
    data (for CRC and size) and optionally flags. zip64 puts the sizes and offsets of every
    central entry into a zip64 extra field and adds the zip64 end record and locator."""
    dos_time, dos_date = dos_stamp()
    local = bytearray()
    central = bytearray()
    for f in files:
        name = f["name"].encode()
        data, body = f["data"], f["body"]
        crc = zlib.crc32(data)
        version = 45 if zip64 else (63 if f["method"] in (14, 93, 95) else 20)
        offset = len(local)
        flags = f.get("flags", 0)
        head = struct.pack("<HHHHHI", version, flags, f["method"], dos_time, dos_date, crc)
        if zip64:
            local_extra = struct.pack("<HHQQ", 1, 16, len(data), len(body))
            local += b"PK\3\4" + head + struct.pack("<IIHH", M32, M32, len(name), len(local_extra))
            local += name + local_extra + body
            extra = struct.pack("<HHQQQ", 1, 24, len(data), len(body), offset)
            sizes = struct.pack("<II", M32, M32)
            where = M32
        else:
            local += b"PK\3\4" + head + struct.pack("<IIHH", len(body), len(data), len(name), 0)
            local += name + body
            extra = b""
            sizes = struct.pack("<II", len(body), len(data))
            where = offset
        central += (
            b"PK\1\2"
            + struct.pack("<H", 0x0300 | version)
            + head
            + sizes
            + struct.pack("<HHHHHII", len(name), len(extra), 0, 0, 0, 0o100644 << 16, where)
            + name
            + extra
        )
    count, size, start = len(files), len(central), len(local)
    tail = bytearray()
    if zip64:
        record = struct.pack("<HHIIQQQQ", 45, 45, 0, 0, count, count, size, start)
        tail += b"PK\6\6" + struct.pack("<Q", len(record)) + record
        tail += b"PK\6\7" + struct.pack("<IQI", 0, start + size, 1)
        count, size, start = 0xFFFF, M32, M32
    tail += b"PK\5\6" + struct.pack("<HHHHIIH", 0, 0, count, count, size, start, len(comment))
    return bytes(local + central + tail) + comment


def deflated(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def prefixed_archives(data):
    """Two archives behind a stub: one whose offsets count from the archive (junk glued in
    front), one whose offsets count from the file (as self-extracting archives are fixed up)."""
    stub = b"MZ\x90\x00" + bytes((i * 13) & 0xFF for i in range(600)) + b"PK\5\6 not here"
    glued = stub + data
    buf = io.BytesIO()
    buf.write(stub)
    with zipfile.ZipFile(buf, "a") as zf:
        for name, body in (("sfx/one.txt", TEXT), ("sfx/two.bin", bytes(range(200)))):
            zf.writestr(entry(name), body)
    return glued, buf.getvalue()


def set_central_field(data, entry_index, offset, fmt, value):
    """Rewrites a field of the entry_index-th central directory record."""
    data = bytearray(data)
    pos = -1
    for _ in range(entry_index + 1):
        pos = data.index(b"PK\1\2", pos + 1)
    struct.pack_into(fmt, data, pos + offset, value)
    return bytes(data)


def archives():
    """name -> archive bytes."""
    a = {}
    a["plain"] = archive(
        [
            (entry("hello.txt"), TEXT),
            (entry("stored.bin", compress=zipfile.ZIP_STORED), bytes(range(256)) * 4),
            (entry("empty.txt"), b""),
            (entry("docs/"), b""),
            (entry("docs/sub/readme.txt"), TEXT.replace(b"\n", b"\r\n")),
            (entry("ABC.txt"), b"case\n"),
            (entry("abc.TXT"), b"case too\n"),
            (entry("with space.txt"), b"blank\n"),
        ],
        comment=b"archive comment\n",
    )
    a["zipcrypto"] = encrypted_archive([("secret.txt", TEXT), ("secret2.bin", bytes(300))], PASSWORD)
    a["zipcrypto-stored"] = encrypted_archive([("stored.txt", TEXT)], PASSWORD, method=0)
    a["zipcrypto-wrong"] = encrypted_archive([("wrong.txt", TEXT)], b"not the password")
    for bits in (128, 192, 256):
        # 192 stored, so that a seed reaches the cipher without a decoder behind it.
        level = ["-mx=0"] if bits == 192 else []
        a["aes%d" % bits] = seven_zip_archive(
            ["-mem=AES%d" % bits, "-p" + PASSWORD.decode()] + level, [("aes.txt", TEXT)]
        )
    a["zip64"] = archive([(entry("big/one.txt"), TEXT), (entry("two.bin"), bytes(1000))], zip64=True)
    a["descriptor"] = streamed_archive([(entry("streamed.txt"), TEXT), (entry("s2.txt"), b"x" * 70)])
    a["hostile-names"] = archive(
        [
            (entry("../evil.txt"), b"up\n"),
            (entry("/abs.txt"), b"absolute\n"),
            (entry("a/../../b.txt"), b"up twice\n"),
            (entry("C:\\win.txt"), b"drive\n"),
            (entry("back\\..\\..\\slash.txt"), b"back slash\n"),
            (entry("./dot.txt"), b"dot\n"),
            (entry("..\\dots.txt"), b"dots\n"),
            (entry("dir/../../../x.txt"), b"x\n"),
        ]
    )
    a["odd-names"] = archive(
        [
            (entry("gr\u00fc\u00dfe/\u00e4\u00f6\u00fc.txt"), b"utf-8\n"),
            (entry("x" * 300 + ".txt"), b"long\n"),
            (entry("new\nline.txt"), b"newline\n"),
            (entry("star*?.txt"), b"wildcards\n"),
            (entry("same.txt"), b"first\n"),
            (entry("deep/same.txt"), b"second, same base name\n"),
            (entry("file/"), b""),
            (entry("file"), b"a file where a directory is\n"),
        ]
    )
    # Names in the old code page (no UTF-8 flag), and an empty name.
    cp = archive([(entry("cp437-XXXX.txt"), b"cp437\n"), (entry("Z"), b"z\n")])
    a["cp437-names"] = cp.replace(b"XXXX", b"\x81\x94\xe1\xff")
    a["empty-name"] = cp.replace(b"Z", b"/")
    a["link-and-setid"] = archive(
        [
            (entry("link", mode=0o120777), b"/etc"),
            (entry("link/passwd"), b"through the link\n"),
            (entry("setuid", mode=0o104755), b"#!/bin/sh\n"),
            (entry("noaccess/", mode=0o040000), b""),
            (entry("noaccess/inside.txt", mode=0o100000), b"no permissions\n"),
        ]
    )
    a["methods"] = archive(
        [
            (entry("bzip2.txt", compress=zipfile.ZIP_BZIP2), TEXT),
            (entry("lzma.txt", compress=zipfile.ZIP_LZMA), TEXT),
        ]
    )
    for method in ("Deflate64", "BZip2", "LZMA"):
        a["7z-" + method.lower()] = seven_zip_archive(["-mm=" + method], MIXED_FILES)
    # Deflate64's window reaches back 64 KiB: a block repeated 40 KiB later.
    block = bytes((i * 7919 + (i >> 3)) & 0xFF for i in range(700))
    a["7z-deflate64-far"] = seven_zip_archive(
        ["-mm=Deflate64", "-mx=9"], [("far.bin", block + bytes(40000) + block)]
    )
    a["bsdtar"] = bsdtar_archive(MIXED_FILES)
    lzma_files = [
        {"name": "lzma.txt", "method": 14, "flags": 2, "body": lzma_entry_body(TEXT), "data": TEXT},
        {"name": "lzma-lc0.bin", "method": 14, "flags": 2, "data": MIXED,
         "body": lzma_entry_body(MIXED, lc=0, lp=2, pb=0, dict_size=1 << 12)},
        {"name": "xz.txt", "method": 95, "body": lzma.compress(TEXT, format=lzma.FORMAT_XZ), "data": TEXT},
        {"name": "xz-crc64.bin", "method": 95, "data": MIXED,
         "body": lzma.compress(MIXED, format=lzma.FORMAT_XZ, check=lzma.CHECK_CRC64)},
    ]
    a["raw-lzma-xz"] = raw_archive(lzma_files)
    zstd_body = zstd_frame(MIXED)
    if zstd_body:
        a["raw-zstd"] = raw_archive(
            [
                {"name": "zstd.bin", "method": 93, "body": zstd_body, "data": MIXED},
                {"name": "zstd.txt", "method": 93, "body": zstd_frame(TEXT), "data": TEXT},
            ]
        )
    a["zip64-records"] = raw_archive(
        [
            {"name": "z64/deflated.txt", "method": 8, "body": deflated(TEXT), "data": TEXT},
            {"name": "z64/stored.bin", "method": 0, "body": MIXED[:300], "data": MIXED[:300]},
        ],
        zip64=True,
        comment=b"zip64",
    )
    a["prefixed"], a["sfx"] = prefixed_archives(
        archive([(entry("glued/one.txt"), TEXT), (entry("glued/two.txt"), TEXT[::-1])])
    )
    a["unknown-method"] = set_central_field(
        archive([(entry("m.txt", compress=zipfile.ZIP_STORED), b"method 99\n")]), 0, 10, "<H", 99
    )
    a["bomb-ish"] = archive([(entry("zeros.bin"), bytes(1 << 20))])
    a["empty-archive"] = archive([])

    # Corrupt ones.
    good = archive([(entry("one.txt"), TEXT), (entry("two.txt"), TEXT[::-1])])
    a["truncated"] = good[: len(good) // 2]
    a["no-central-directory"] = good[: good.index(b"PK\1\2")]
    bad_crc = bytearray(good)
    bad_crc[40] ^= 0xFF  # inside the first entry's data
    a["bad-data"] = bytes(bad_crc)
    a["bad-crc"] = set_central_field(good, 0, 16, "<I", 0xDEADBEEF)
    a["size-too-small"] = set_central_field(good, 0, 24, "<I", 10)
    a["size-too-large"] = set_central_field(good, 0, 24, "<I", 1 << 30)
    a["offset-beyond-end"] = set_central_field(good, 1, 42, "<I", 0x7FFFFFFF)
    a["overlapping"] = set_central_field(good, 1, 42, "<I", 0)  # both entries share one header
    a["count-too-large"] = good[:-12] + struct.pack("<HH", 60000, 60000) + good[-8:]
    a["not-a-zip"] = bytes((i * 7919) & 0xFF for i in range(700))
    return a


# Control bytes of the unzip32 target: options, callback answers, name lists.
CONTROLS = {
    "program": b"\x02\x82\x00\x00",  # overwrite, level 2, case-sensitive: the program's set
    "honor": b"\x03\x82\x00\x00",
    "test": b"\x09\x82\x00\x00",
    "list": b"\x11\x22\x00\x00",
    "stdout": b"\x21\x81\x00\x00",
    "prompt-twice": b"\x05\x82\x41\x00",  # prompt, replace yes, extract twice
    "cancel-twice": b"\x05\x82\x42\x00",
    "privilege": b"\x83\xd3\x80\x01",  # honour, CRLF, privilege, comment, missing target
    "password-retry": b"\x03\x82\x0c\x02",
    "no-password-stop": b"\x01\x80\x18\x03",
    "newer": b"\x43\x8e\x40\x00",
}


def get_field_seeds():
    def seed(n, delimiter, text):
        return struct.pack("<hB", n, len(delimiter)) + delimiter.encode("latin-1") + text.encode("latin-1")

    return {
        "three-fields": seed(3, ";", "a.zip;C:\\Ziel;KvtZRX615"),
        "empty-middle": seed(2, ";", "x;;y"),
        "spaces": seed(2, ";", " a ; b "),
        "beyond": seed(5, ";", "a;b"),
        "blank": seed(1, ";", "    "),
        "two-char-delimiter": seed(1, ";;", "abc"),
        "empty-delimiter": seed(1, "", "a;b"),
        "negative": seed(-1, ";", "a;b"),
        "zero": seed(0, ";", ";a"),
        "umlauts": seed(2, "\u00e4", "x\u00e4\u00fc\u00e4z"),
        "last": seed(32767, ";", ";" * 40),
    }


def job_seeds():
    token = "KvtZRX615"
    texts = [
        "good.zip;out;" + token,
        "good.zip;out;" + token + ";ignored",
        "good.zip;;" + token,
        "good.zip;..;" + token,
        "good.zip;.;" + token,
        "with space.zip; t d ;" + token,
        "secret.zip;s;" + token,
        "aes.zip;a;" + token,
        "wrong.zip;w;" + token,
        "broken.zip;b;" + token,
        "missing.zip;m;" + token,
        ".hidden.zip;h;" + token,
        "dir.zip;d;" + token,
        "*.zip;star;" + token,
        "g??d.zip;q;" + token,
        "good.zip;good.zip;" + token,
        "good.zip;out;kvtzrx615",
        "good.zip;out; " + token,
        "good.zip;out;" + token + " ",
        "good.zip;out",
        "   ",
        "",
    ]
    return {"%02d" % i: t.encode("latin-1") for i, t in enumerate(texts)}


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    for name, data in archives().items():
        if data is None:  # its tool is not installed
            continue
        for control, prefix in CONTROLS.items():
            write(os.path.join(out, "unzip32"), "%s.%s" % (name, control), prefix + data)
        write(os.path.join(out, "archives"), name + ".zip", data)
    for name, data in get_field_seeds().items():
        write(os.path.join(out, "get_field"), name, data)
    for name, data in job_seeds().items():
        write(os.path.join(out, "job"), name, data)
    count = sum(len(files) for _, _, files in os.walk(out))
    print("%d seed files in %s" % (count, out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
