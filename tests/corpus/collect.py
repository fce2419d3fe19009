#!/usr/bin/env python3
"""Collects the ZIP test archives of one unpacked source package into the corpus.

    collect.py libarchive SOURCE-DIRECTORY CORPUS-DIRECTORY/libarchive
    collect.py libzip SOURCE-DIRECTORY CORPUS-DIRECTORY/libzip

libarchive keeps its test archives uuencoded (NAME.uu): every one whose data is a ZIP
archive, or is named as one, is decoded to NAME. libzip keeps them as they are in regress/
(NAME.zip; bigstored.zh is the expected output of a writing test, a 4 GiB archive in
libzip's own sparse format, and not read as an archive); two of them (bigzero-zip.zip, manyfiles-zip.zip) hold further test archives, which libzip's
build unpacks before its tests run, and so does this. Files already there are kept.
"""
import binascii
import pathlib
import shutil
import sys
import zipfile

SIGNATURES = (b"PK\x03\x04", b"PK\x05\x06", b"PK\x07\x08", b"PK00")
END_RECORD = b"PK\x05\x06"
# The end record lies within its own 22 bytes and a comment of at most 65535 bytes.
END_SEARCH = 22 + 65535
ZIP_SUFFIXES = (".zip", ".zipx", ".jar", ".xps")
# Archives that hold libzip's own test archives.
LIBZIP_NESTED = ("bigzero-zip.zip", "manyfiles-zip.zip")


def uudecode(text):
    """The data of a uuencoded file (between 'begin' and 'end')."""
    data = bytearray()
    started = False
    for line in text.splitlines():
        if not started:
            started = line.startswith(b"begin ")
            continue
        if line.strip() == b"end":
            break
        if not line.strip():
            continue
        try:
            data += binascii.a2b_uu(line)
        except binascii.Error:
            # Some encoders pad lines beyond their length byte: decode only what it counts.
            length = (line[0] - 32) & 63
            data += binascii.a2b_uu(line[: 1 + (length * 4 + 2) // 3])
    return bytes(data)


def looks_like_zip(data):
    return data[:4] in SIGNATURES or END_RECORD in data[-END_SEARCH:]


def write_new(path, data):
    if path.exists():
        return False
    temporary = path.with_name(path.name + ".part")
    temporary.write_bytes(data)
    temporary.rename(path)
    return True


def collect_libarchive(source, dest):
    written = 0
    for encoded in sorted(source.rglob("*.uu")):
        name = encoded.name[: -len(".uu")]
        data = uudecode(encoded.read_bytes())
        if looks_like_zip(data) or name.endswith(ZIP_SUFFIXES):
            written += write_new(dest / name, data)
    # The seed archive of libarchive's fuzzer is a ZIP archive of its own.
    seed = source / "contrib" / "oss-fuzz" / "corpus.zip"
    if seed.exists():
        written += write_new(dest / "oss-fuzz-corpus.zip", seed.read_bytes())
    return written


def collect_libzip(source, dest):
    written = 0
    regress = source / "regress"
    for path in sorted(regress.iterdir()):
        if path.is_file() and path.suffix == ".zip":
            written += write_new(dest / path.name, path.read_bytes())
    for nested in LIBZIP_NESTED:
        with zipfile.ZipFile(regress / nested) as archive:
            for member in archive.infolist():
                target = dest / pathlib.PurePosixPath(member.filename).name
                if member.is_dir() or target.exists():
                    continue
                with archive.open(member) as data, open(target.with_name(target.name + ".part"), "wb") as out:
                    shutil.copyfileobj(data, out, 1 << 20)
                target.with_name(target.name + ".part").rename(target)
                written += 1
    return written


def main(argv):
    if len(argv) != 4 or argv[1] not in ("libarchive", "libzip"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    source, dest = pathlib.Path(argv[2]), pathlib.Path(argv[3])
    dest.mkdir(parents=True, exist_ok=True)
    collect = collect_libarchive if argv[1] == "libarchive" else collect_libzip
    written = collect(source, dest)
    print(f"collect: {written} new archives in {dest}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
