"""The table of ambiguous archives and of odd archives with one reading.

Each case is a function that builds its archive with zipbuild, registered with its kind
(the gaps between ZIP readers: A1-A5 what the local header and the central directory say of
one entry, B1-B4 names, C1-C5 where the entries and the directory are; "one" for odd archives
that have only one reading) and its expectation:

  read(files, dirs)        result 0 and exactly this tree: files (path -> contents) and empty
                           directories (a file's parents are implied)
  refused(words, code=2)   result `code` (or one of several), nothing written, and every one of `words` (regular
                           expressions, ignoring case) found in what the library printed
  failed(words, files)     result 2 with the words, and exactly `files` written: the entries
                           that fail alone, the rest extracted
"""
import dataclasses
import random
import struct
import zlib

from zipbuild import (CENTRAL, LOCATOR, DEFLATED, DOS_DIRECTORY, FLAG_ENCRYPTED, FLAG_STRONG, FLAG_UTF8, HOST_UNIX, MAXED16,
                      MAXED32, SIGNATURE_RECORD, DESCRIPTOR32, DESCRIPTOR64, Entry, Zip, aes_extra, archive, compress,
                      extra_field, unicode_path_extra, zip64_extra)

A, B = b"alpha\n", b"bravo\n"
PAYLOAD = b"#!/bin/sh\necho payload\n"
README = b"nothing to see here\n"
BOTH = ("local", "central|director")  # a message that names both headers
DIRECTORY = r"director"


@dataclasses.dataclass(frozen=True)
class Expect:
    code: int
    files: dict
    dirs: frozenset = frozenset()
    words: tuple = ()

    def accepts(self, code):
        return code in self.code if isinstance(self.code, tuple) else code == self.code

    def describe(self):
        if self.code == 0:
            return f"read {len(self.files)} files"
        return f"refused {self.code}" + (f" writing {len(self.files)} files" if self.files else "")


def read(files=None, dirs=()):
    return Expect(0, files or {}, frozenset(dirs))


def refused(*words, code=2):
    return Expect(code, {}, frozenset(), words)


def failed(*words, files):
    return Expect(2, files, frozenset(), words)


@dataclasses.dataclass(frozen=True)
class Case:
    name: str
    kind: str
    build: object
    expect: Expect
    note: str = ""


CASES = []


def case(kind, expect, note=""):
    def register(build):
        CASES.append(Case(build.__name__, kind, build, expect, note))
        return build

    return register


# A1: the method, said one way locally and another way centrally.


@case("A1", refused(*BOTH, "method"))
def a1_deflate_locally_stored_data():
    return archive(Entry("a.txt", A, local={"method": DEFLATED}))


@case("A1", refused(*BOTH, "method"))
def a1_stored_centrally_deflated_data():
    return archive(Entry("a.txt", A * 20, method=DEFLATED, central={"method": 0}))


@case("A1", refused(*BOTH, "method"), "each header consistent with itself: bsdtar inflates, zipfile copies")
def a1_each_header_its_own_reading():
    text = b"hello hello hello hello hello\n"
    packed = compress(text, DEFLATED)
    return archive(Entry("a.txt", packed, local={"method": DEFLATED, "crc": zlib.crc32(text), "usize": len(text)}))


@case("A1", refused(*BOTH, "method"))
def a1_unknown_method_locally():
    return archive(Entry("a.txt", A, local={"method": 77}))


# A2: CRC and sizes in the local header, the descriptors and zip64 fields.


@case("A2", refused(*BOTH, "crc"))
def a2_local_crc_differs():
    return archive(Entry("a.txt", A, local={"crc": 0x12345678}), Entry("b.txt", B))


@case("A2", refused(*BOTH, "size"))
def a2_local_compressed_size_short():
    return archive(Entry("a.txt", A, local={"csize": len(A) - 2}), Entry("b.txt", B))


@case("A2", refused(*BOTH, "size"))
def a2_local_size_differs():
    return archive(Entry("a.txt", A, local={"usize": len(A) + 1}), Entry("b.txt", B))


@case("A2", refused(*BOTH), "zero CRC and sizes without bit 3")
def a2_local_zero_without_bit3():
    return archive(Entry("a.txt", A, local={"crc": 0, "csize": 0, "usize": 0}), Entry("b.txt", B))


@case("one", read({"a.txt": A, "b.txt": B}), "bit 3 with the local fields filled in and equal: one reading")
def a2_bit3_local_fields_filled():
    filled = {"crc": zlib.crc32(A), "csize": len(A), "usize": len(A)}
    return archive(Entry("a.txt", A, descriptor="sig32", local=filled), Entry("b.txt", B))


@case("A2", refused("local|descriptor", "size"), "bit 3 with local sizes that differ from the descriptor's")
def a2_bit3_local_fields_differ():
    return archive(Entry("a.txt", A, descriptor="sig32", local={"csize": 2, "usize": 2}), Entry("b.txt", B))


def descriptor_case(form, **fields):
    return archive(Entry("a.txt", A * 3, method=DEFLATED, descriptor=form, descriptor_fields=fields),
                   Entry("b.txt", B))


@case("A2", refused("descriptor", "crc"))
def a2_descriptor_sig32_crc_differs():
    return descriptor_case("sig32", crc=1)


@case("A2", refused("descriptor", "size"))
def a2_descriptor_32_size_differs():
    return descriptor_case("32", usize=len(A) * 3 + 1)


@case("A2", refused("descriptor", "crc"))
def a2_descriptor_sig64_crc_differs():
    return descriptor_case("sig64", crc=1)


@case("A2", refused("descriptor", "size"))
def a2_descriptor_64_size_differs():
    return descriptor_case("64", usize=len(A) * 3 + 1)


@case("A2", refused(*BOTH, "size|zip64"))
def a2_local_zip64_size_differs():
    return archive(Entry("a.txt", A, zip64=True, local={"extra": zip64_extra(len(A) + 5, len(A))}),
                   Entry("b.txt", B))


@case("A2", refused(*BOTH, "size|zip64"))
def a2_central_zip64_size_differs():
    return archive(Entry("a.txt", A, zip64=True, central={"extra": zip64_extra(len(A) + 5, len(A))}),
                   Entry("b.txt", B))


@case("one", read({"a.txt": A, "b.txt": B}), "zip64 sizes in the local header alone, equal to the central ones")
def a2_local_zip64_alone_agrees():
    local = {"csize": MAXED32, "usize": MAXED32, "extra": zip64_extra(len(A), len(A)), "version": 45}
    return archive(Entry("a.txt", A, local=local), Entry("b.txt", B))


# A3: the name.


@case("A3", refused(*BOTH, "lfh", "cdh"))
def a3_lfh_cdh():
    return archive(Entry("lfh", A, central={"name": b"cdh"}))


@case("A3", refused(*BOTH), "a back-slash locally, a slash centrally: the bytes decode differently")
def a3_separator_differs():
    return archive(Entry("d/a.txt", A, local={"name": b"d\\a.txt"}))


@case("A3", refused(*BOTH, "ö.txt"), "each field a re-spelling, so that only the headers differ")
def a3_unicode_path_local_only():
    return archive(Entry(b"\x84.txt", A, local={"extra": unicode_path_extra("ö.txt", b"\x84.txt")}))


@case("A3", refused(*BOTH, "ö.txt", "ü.txt"))
def a3_unicode_paths_differ():
    return archive(Entry(b"\x84.txt", A, local={"extra": unicode_path_extra("ö.txt", b"\x84.txt")},
                         central={"extra": unicode_path_extra("ü.txt", b"\x84.txt")}))


@case("one", read({"ä.txt": A}))
def a3_unicode_paths_agree():
    extra = unicode_path_extra("ä.txt", b"\x84.txt")
    return archive(Entry(b"\x84.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("one", read({"ü.txt": A}), "the field centrally alone, the raw name decoding to the same text")
def a3_unicode_path_central_alone_same_text():
    return archive(Entry(b"\x81.txt", A, central={"extra": unicode_path_extra("ü.txt", b"\x81.txt")}))


@case("A3", refused("unicode|0x7075|extra|path field"))
def a3_two_unicode_path_fields():
    extra = unicode_path_extra("x.txt", b"raw.txt") + unicode_path_extra("y.txt", b"raw.txt")
    return archive(Entry(b"raw.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("A3", refused("unicode|0x7075|extra|path field"), "even two fields that say the same")
def a3_two_equal_unicode_path_fields():
    extra = unicode_path_extra("x.txt", b"raw.txt") * 2
    return archive(Entry(b"raw.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("A3", refused("unicode|0x7075|extra|path field"), "bsdtar reads a field of version 2 as well: two readings")
def a3_unicode_path_version_2():
    extra = unicode_path_extra("y.txt", b"raw.txt", version=2)
    return archive(Entry(b"raw.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("one", read({"raw.txt": A}), "a field whose CRC is not the raw name's is stale: ignored")
def a3_unicode_path_stale_crc():
    extra = unicode_path_extra("y.txt", b"raw.txt", crc=1)
    return archive(Entry(b"raw.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("A3", refused("unicode|0x7075", "docs/other.txt"), "zipfile writes über.txt, the others docs/other.txt")
def a3_unicode_path_changes_ascii():
    extra = unicode_path_extra("docs/other.txt", b"\x81ber.txt")
    return archive(Entry(b"\x81ber.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("A3", refused("unicode|0x7075"), "a separator among the re-spelled characters is a component more")
def a3_unicode_path_adds_separator():
    extra = unicode_path_extra("d\u00fc/\u00e9.txt", b"d\x81\x82.txt")
    return archive(Entry(b"d\x81\x82.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("one", read({"über.txt": A}), "the field re-spells the code-page byte of a name")
def a3_unicode_path_respells():
    extra = unicode_path_extra("über.txt", b"\x81ber.txt")
    return archive(Entry(b"\x81ber.txt", A, local={"extra": extra}, central={"extra": extra}))


@case("one", read({"d/üäber€.txt": A}), "one code-page byte re-spelled as several characters")
def a3_unicode_path_respells_as_several():
    extra = unicode_path_extra("d/üäber€.txt", b"d/\x81ber\x82.txt")
    return archive(Entry(b"d/\x81ber\x82.txt", A, local={"extra": extra}, central={"extra": extra}))


def twice_in(where, field):
    return archive(Entry("a.txt", A, **{where: {"extra": field + field}}))


@case("A3", refused("zip64", "0x0001"))
def a3_two_zip64_fields():
    return twice_in("central", zip64_extra())


@case("A3", refused("extended timestamp", "0x5455", "local"))
def a3_two_timestamps_locally():
    return archive(Entry("a.txt", A, local={"extra": extra_field(0x5455, b"\x01\0\0\0\0") +
                                             extra_field(0x5455, b"\x01\x80\0\0\0")}))


@case("A3", refused("NTFS", "0x000a"))
def a3_two_ntfs_fields():
    return twice_in("central", extra_field(0x000A, b"\0" * 4))


@case("one", read({"ä.txt": A}), "UTF-8 bytes, bit 11 locally only: both decode to the same text")
def a3_utf8_flag_local_only():
    return archive(Entry("ä.txt".encode(), A, local={"flags": FLAG_UTF8}))


# A4: file or directory.


@case("A4", refused(*BOTH))
def a4_directory_locally_file_centrally():
    return archive(Entry("d/", b"", central={"name": b"d"}))


@case("A4", refused(DIRECTORY))
def a4_slash_directory_with_data():
    return archive(Entry("d/", A))


@case("A4", refused(DIRECTORY))
def a4_backslash_directory_with_data():
    return archive(Entry("d\\", A))


@case("A4", refused(DIRECTORY))
def a4_dos_directory_attribute_with_data():
    return archive(Entry("f", A, external=DOS_DIRECTORY))


@case("A4", refused(DIRECTORY))
def a4_unix_directory_mode_with_data():
    return archive(Entry("f", A, made_by=(HOST_UNIX << 8) | 30, external=0o040755 << 16))


@case("A4", Expect(1, {"b.txt": B}, frozenset(), ("special",)),
      "a Unix socket with data: bsdtar writes other bytes than the others; it is skipped")
def a4_unix_socket_with_data():
    return archive(Entry("f", A, made_by=(HOST_UNIX << 8) | 30, external=0o140644 << 16), Entry("b.txt", B))


@case("one", read({"-": A, "b.txt": B}), "a FIFO's mode, as zip records for data read from a pipe")
def one_fifo_from_a_pipe():
    return archive(Entry("-", A, made_by=(HOST_UNIX << 8) | 30, external=0o010600 << 16), Entry("b.txt", B))


@case("A4", Expect(1, {"b.txt": B}, frozenset(), ("special",)),
      "a Unix file type of no meaning: readers write different bytes or nothing; it is skipped")
def a4_unix_unknown_type():
    return archive(Entry("f", A, made_by=(HOST_UNIX << 8) | 30, external=0o070644 << 16), Entry("b.txt", B))


@case("A4", refused(DIRECTORY))
def a4_dot_with_data():
    return archive(Entry(".", A))


@case("A4", refused(DIRECTORY))
def a4_dot_slash_dot_with_data():
    return archive(Entry("./.", A))


@case("A4", refused(DIRECTORY))
def a4_d_slash_dot_with_data():
    return archive(Entry("d/.", A))


@case("one", read(dirs={"d"}))
def a4_d_slash_dot():
    return archive(Entry("d/.", b""))


@case("one", read(dirs={"d"}))
def a4_dos_directory_attribute_empty():
    return archive(Entry("d", b"", external=DOS_DIRECTORY))


@case("one", read({"d/f": A}, dirs={"e"}))
def a4_unix_directory_mode():
    return archive(Entry("e", b"", made_by=(HOST_UNIX << 8) | 30, external=0o040755 << 16), Entry("d/f", A))


# A5: encryption.


@case("A5", refused(*BOTH, "encrypt"))
def a5_encrypted_locally_only():
    return archive(Entry("a.txt", A, local={"flags": FLAG_ENCRYPTED}))


@case("A5", refused(*BOTH, "encrypt"))
def a5_encrypted_centrally_only():
    return archive(Entry("a.txt", A, central={"flags": FLAG_ENCRYPTED}))


@case("A5", refused(*BOTH, "encrypt"))
def a5_strong_encryption_locally_only():
    return archive(Entry("a.txt", A, local={"flags": FLAG_ENCRYPTED | FLAG_STRONG}))


@case("A5", refused(*BOTH), "AES locally (method 99 and its field), stored centrally")
def a5_aes_locally_only():
    return archive(Entry("a.txt", A, local={"flags": FLAG_ENCRYPTED, "method": 99, "extra": aes_extra()}))


@case("A5", refused("AES", "0x9901"), "bsdtar with the password takes the second field: stored, not deflate")
def a5_two_aes_fields():
    extra = aes_extra(DEFLATED) + aes_extra()
    return archive(Entry("a.txt", A, local={"flags": FLAG_ENCRYPTED, "method": 99, "extra": extra},
                         central={"flags": FLAG_ENCRYPTED, "method": 99, "extra": extra}))


# B1: two entries of one name.


@case("B1", refused("a.txt"))
def b1_one_name_twice():
    return archive(Entry("a.txt", A), Entry("a.txt", B))


@case("B1", refused("a.txt"), "byte-equal names with equal contents are refused too")
def b1_one_name_twice_same_contents():
    return archive(Entry("a.txt", A), Entry("a.txt", A))


@case("B1", refused("node"))
def b1_file_and_directory():
    return archive(Entry("node", A), Entry("node/", b""))


@case("one", read(dirs=["docs"]), "one directory listed twice: every reader makes the one directory")
def b1_directory_twice():
    return archive(Entry("docs/", b""), Entry("docs/", b""))


# B2: names with bytes that readers treat differently.


@case("B2", refused("name"), "a NUL inside a name: no reading keeps all of it; the entry fails")
def b2_nul_in_name():
    return archive(Entry(b"a\x00b.txt", A))


@case("one", read({"a\x01b.txt": A}), "a control byte is a byte of the name on Linux")
def b2_control_byte():
    return archive(Entry(b"a\x01b.txt", A))


@case("one", read({"a/b.txt": A}))
def b2_backslash_separates():
    return archive(Entry(b"a\\b.txt", A))


@case("one", read({"ab:c.txt": A}), "a colon that is no drive letter is a byte of the name on Linux")
def b2_colon():
    return archive(Entry(b"ab:c.txt", A))


@case("B2", failed("drive", files={"ok.txt": B}))
def b2_drive_letter():
    return archive(Entry(b"c:x.txt", A), Entry("ok.txt", B))


@case("one", read({"ä.txt": A}))
def b2_code_page_437_name():
    return archive(Entry(b"\x84.txt", A))


@case("one", read({"ä.txt": A}))
def b2_utf8_without_flag():
    return archive(Entry("ä.txt".encode(), A))


@case("B2", refused("name|utf-8"), "bit 11 on bytes that are not UTF-8: the entry fails")
def b2_invalid_utf8_with_flag():
    return archive(Entry(b"\x84.txt", A, flags=FLAG_UTF8))


@case("B2", refused("txt"), "code page 437 and UTF-8 spell one name: two entries of one path")
def b2_two_spellings_of_one_name():
    return archive(Entry(b"\x84.txt", A), Entry("ä.txt", B))


# B3: names that normalise to one path.


def b3_pair(other):
    return archive(Entry("a/target", A), Entry(other, B))


@case("B3", refused("target"))
def b3_double_slash():
    return b3_pair(b"a//target")


@case("B3", refused("target"))
def b3_dot_slash_prefix():
    return b3_pair(b"./a/target")


@case("B3", refused("target"))
def b3_dot_component():
    return b3_pair(b"a/./target")


@case("B3", refused("target"))
def b3_backslash():
    return b3_pair(b"a\\target")


@case("B3", refused("target"), "a/target/. is the directory a/target")
def b3_trailing_dot_component():
    return archive(Entry("a/target", A), Entry("a/target/.", b""))


@case("B3", refused("target"), "readers that drop the leading / write B over A: refused whole")
def b3_leading_slash():
    return b3_pair(b"/a/target")


@case("B3", refused("target", r"\.\."), "x/../target resolves to target: refused whole")
def b3_dot_dot():
    return archive(Entry("x/../target", A), Entry("target", B))


@case("B3", refused("a/b", r"\.\."), "7zz and zipfile drop the dots and write B to a/b")
def b3_dot_dot_prefix():
    return archive(Entry("a/b", A), Entry("../a/b", B))


@case("B3", refused("c/a/b", r"\.\."), "7zz and zipfile write c/../a/b to c/a/b")
def b3_dot_dot_dropped():
    return archive(Entry("c/a/b", A), Entry("c/../a/b", B))


@case("B3", failed(r"\.\.", files={"a/b": A, "x/y": B}), "'..' that leads to no entry's path fails alone")
def b3_dot_dot_elsewhere():
    return archive(Entry("a/b", A), Entry("x/y", B), Entry("q/../../p", PAYLOAD))


@case("one", read({"target.": A, "target": B}), "trailing dots are bytes of the name on Linux")
def b3_trailing_dot():
    return archive(Entry("target.", A), Entry("target", B))


# B4: names equal but for case (two files on Linux).


@case("one", read({"Target.txt": A, "target.txt": B}))
def b4_case_of_files():
    return archive(Entry("Target.txt", A), Entry("target.txt", B))


@case("one", read({"Dir/a": A, "dir/b": B}))
def b4_case_of_directories():
    return archive(Entry("Dir/a", A), Entry("dir/b", B))


# C1: local records that the directory does not list, or lists from inside another record.


@case("C1", refused("hidden|local"))
def c1_local_not_listed():
    built = Zip()
    a, _, b = (built.local(Entry(n, d)) for n, d in (("a.txt", A), ("hidden.txt", PAYLOAD), ("b.txt", B)))
    built.directory([a, b])
    built.end()
    return built.bytes()


@case("C1", refused("payload"), "payload.sh's central header hides in readme.txt's comment")
def c1_payload_in_entry_comment():
    built = Zip()
    payload = built.local(Entry("payload.sh", PAYLOAD))
    readme = built.local(Entry("readme.txt", README))
    built.central(readme, comment=payload.central_header())
    built.end()
    return built.bytes()


@case("C1", refused("payload", code=(2, 9)),
      "the directory lists an entry whose header lies in another entry's data: refused as an overlap")
def c1_listed_inside_data():
    outer, payload = Entry("outer.bin", b""), Entry("payload.sh", PAYLOAD)
    payload.offset = len(outer.local_header())  # outer.bin lies at 0, payload.sh in its data
    outer.data = payload.local_header() + PAYLOAD
    built = Zip()
    built.local(outer)
    built.central(outer)
    built.central(payload)
    built.end()
    return built.bytes()


@case("C1", refused("signature|record|header|between"), "a central signature right after an entry's data")
def c1_central_signature_after_data():
    built = Zip()
    built.local(Entry("a.txt", A))
    built.raw(b"PK\x01\x02" + bytes(20))
    built.local(Entry("b.txt", B))
    built.directory()
    built.end()
    return built.bytes()


@case("C1", refused("descriptor"), "a streaming reader ends the stored bit-3 entry at the inner descriptor")
def c1_descriptor_inside_stored_data():
    head = b"hello"
    data = head + DESCRIPTOR32.pack({"crc": zlib.crc32(head), "csize": 5, "usize": 5}) + b" and more"
    return archive(Entry("a.txt", data, descriptor="sig32"), Entry("b.txt", B))


@case("one", read({"a.txt": A, "b.txt": B}), "libarchive's -JUNK- between entries")
def c1_junk_between_entries():
    built = Zip()
    built.local(Entry("a.txt", A))
    built.raw(b"-JUNK-")
    built.local(Entry("b.txt", B))
    built.directory()
    built.end()
    return built.bytes()

# What a streaming reader reads: it walks the local headers from offset 0 (past a spanning
# marker), takes each entry's end from its local header or, with bit 3, from the descriptor
# in the form that its local header announces, and never sees the directory.


def hidden_local():
    """A local header and data of an entry that no directory lists."""
    return Entry("hidden.sh", PAYLOAD).local_record()


def listed_after_front(front, adjusted=True):
    """a.txt and b.txt behind `front`; their offsets count from the file's start or, not
    `adjusted`, from the archive's."""
    if not adjusted:
        return front + archive(Entry("a.txt", A), Entry("b.txt", B))
    built = Zip()
    built.raw(front)
    listed = [built.local(Entry("a.txt", A)), built.local(Entry("b.txt", B))]
    built.directory(listed)
    built.end()
    return built.bytes()


@case("C1", refused("hidden|local|front"),
      "PK00, a spanning marker, in front: bsdtar from a pipe and 7zz write hidden.sh, bsdtar and zipfile do not")
def c1_spanning_marker_then_hidden_local():
    return listed_after_front(b"PK00" + hidden_local())


@case("C1", refused("hidden|local|front"),
      "offsets from the archive's start: 7zz errs, bsdtar from a pipe writes hidden.sh")
def c1_spanning_marker_then_hidden_local_unadjusted():
    return listed_after_front(b"PK00" + hidden_local(), adjusted=False)


@case("C1", refused("hidden|local|front"), "PK\\7\\8, the other spanning marker: as with PK00")
def c1_descriptor_marker_then_hidden_local():
    return listed_after_front(b"PK\x07\x08" + hidden_local())


@case("C1", refused("hidden|local|front"), "bsdtar from a pipe and 7zz write hidden.sh, bsdtar and zipfile do not")
def c1_hidden_local_at_offset_0():
    return listed_after_front(hidden_local())


STUB = b"MZ\x90\x00" + bytes(range(1, 61))  # no record signature: no streaming reader starts


@case("C1", refused("hidden|local|front"),
      "a stub, then a local header that leads on to the first entry: 7zz opens the archive there and writes "
      "hidden.sh; bsdtar, zipfile read, bsdtar from a pipe takes no archive")
def c1_stub_then_hidden_local_leading_on():
    return listed_after_front(STUB + hidden_local())


@case("one", read({"a.txt": A, "b.txt": B}),
      "the hidden header followed by more stub: 7zz opens the archive at a.txt as the others do")
def one_stub_holds_a_local_header_that_leads_nowhere():
    return listed_after_front(STUB + hidden_local() + STUB)


@case("one", read({"a.txt": A, "b.txt": B}), "a stub whose code holds the signature bytes, as stubs that look for it do")
def one_stub_holds_a_local_header_signature():
    return listed_after_front(STUB + b"PK\x03\x04" + STUB)


def deflate_ending_early(descriptor):
    """a.txt deflated, its recorded compressed size reaching past the end of its stream over
    a hidden entry: with bit 3, a descriptor that fits the stream follows it; without, zeros."""
    stream = compress(A * 4, DEFLATED)
    if descriptor:
        fits = DESCRIPTOR32.pack({"crc": zlib.crc32(A * 4), "csize": len(stream), "usize": len(A * 4)})
        entry = Entry("a.txt", A * 4, method=DEFLATED, descriptor="sig32", payload=stream + fits + hidden_local())
    else:
        entry = Entry("a.txt", A * 4, method=DEFLATED, payload=stream + bytes(16) + hidden_local())
    return archive(entry, Entry("b.txt", B))


LEFT_OVER = (r"\d+ bytes", "a.txt")


@case("C1", failed(*LEFT_OVER, files={"b.txt": B}),
      "bit 3: bsdtar from a pipe ends a.txt at its stream and writes hidden.sh; bsdtar and 7zz err, zipfile reads")
def c1_deflate_ends_early_hidden_local_bit3():
    return deflate_ending_early(descriptor=True)


@case("C1", failed(*LEFT_OVER, files={"b.txt": B}),
      "without bit 3, zeros after the stream: bsdtar from a pipe errs but writes hidden.sh; bsdtar and 7zz err")
def c1_deflate_ends_early_hidden_local():
    return deflate_ending_early(descriptor=False)


@case("A2", failed(*LEFT_OVER, files={"b.txt": B}),
      "only zeros after the stream, nothing hidden: bsdtar and 7zz err, zipfile reads")
def a2_deflate_ends_early_zeros():
    stream = compress(A * 4, DEFLATED)
    return archive(Entry("a.txt", A * 4, method=DEFLATED, payload=stream + bytes(40)), Entry("b.txt", B))


def data_with_lookalike(crc_of_head, sizes_of_head):
    """Stored data that hold a descriptor's signature after a few bytes, with the CRC and
    sizes of the bytes before it or not, then a hidden entry."""
    head = b"hello"
    fields = {"crc": zlib.crc32(head) if crc_of_head else 0x0BADC0DE,
              "csize": len(head) if sizes_of_head else 1234, "usize": len(head) if sizes_of_head else 1234}
    return head + DESCRIPTOR32.pack(fields) + hidden_local()


def stored_bit3_with_lookalike(data):
    return archive(Entry("a.txt", data, descriptor="sig32"), Entry("b.txt", B))


@case("C1", refused("descriptor"),
      "the CRC before it fits, the sizes do not: bsdtar from a pipe ends a.txt there, errs, writes hidden.sh")
def c1_descriptor_crc_inside_stored_data():
    return stored_bit3_with_lookalike(data_with_lookalike(crc_of_head=True, sizes_of_head=False))


LOOKALIKE_BY_SIZES = data_with_lookalike(crc_of_head=False, sizes_of_head=True)


@case("one", read({"a.txt": LOOKALIKE_BY_SIZES, "b.txt": B}),
      "the sizes before it fit, the CRC does not: all four peers write the whole a.txt")
def one_descriptor_sizes_only_inside_stored_data():
    return stored_bit3_with_lookalike(LOOKALIKE_BY_SIZES)


def lookalike_in_next_entry(form):
    """a.txt stored with bit 3 and a descriptor without signature, which a streaming reader
    does not see; b.txt's data hold a descriptor that fits all bytes from a.txt's data on."""
    a = Entry("a.txt", A, descriptor=form)
    b_header = Entry("b.txt", b"", descriptor="sig32").local_header()  # bit 3: no CRC, no sizes
    so_far = a.local_record()[len(a.local_header()):] + b_header + b"x"
    layout = DESCRIPTOR64 if "64" in form else DESCRIPTOR32
    fits = layout.pack({"crc": zlib.crc32(so_far), "csize": len(so_far), "usize": len(so_far)})
    return archive(a, Entry("b.txt", b"x" + fits + b"rest of b\n", descriptor="sig32"))


@case("C1", refused("descriptor"),
      "bsdtar from a pipe writes a.txt up to the lookalike, b.txt's header inside, and no b.txt; the others read")
def c1_unsigned_descriptor_then_lookalike_in_next_entry():
    return lookalike_in_next_entry("32")


@case("C1", refused("descriptor"), "the same with a 64-bit descriptor and lookalike")
def c1_unsigned_64_descriptor_then_lookalike_in_next_entry():
    return lookalike_in_next_entry("64")


def directory_then_signed_descriptor(form):
    """d/ stored with bit 3 and a descriptor of this form, then x.txt with a signed one whose
    CRC is its own: a streaming reader skips a directory's data up to the first descriptor
    signature, whatever CRC follows it."""
    return archive(Entry("a.txt", A), Entry("d/", b"", descriptor=form), Entry("x.txt", B, descriptor="sig32"),
                   Entry("y.txt", README))


@case("C1", refused("directory", "descriptor"),
      "bsdtar from a pipe ends d/ at x.txt's descriptor and writes a.txt and y.txt alone; the others write all three")
def c1_directory_unsigned_descriptor_then_signed_one():
    return directory_then_signed_descriptor("32")


@case("C1", refused("directory", "descriptor"),
      "the same with a zip64 field: 24 bytes taken, y.txt's header among them, and a.txt alone written")
def c1_directory_unsigned_64_descriptor_then_signed_one():
    return directory_then_signed_descriptor("64")


@case("one", read({"a.txt": A, "x.txt": B, "y.txt": README}, dirs={"d"}),
      "the directory's own descriptor signed: every reader reads the same")
def one_directory_signed_descriptor():
    return directory_then_signed_descriptor("sig32")


@case("A2", refused("local|descriptor", "size"),
      "bit 3, 0xFFFFFFFF as the local size without a zip64 field: bsdtar from a pipe writes a 4 GiB a.txt (sparse)")
def a2_bit3_local_size_maxed_without_zip64():
    return archive(Entry("a.txt", A * 4, method=DEFLATED, descriptor="sig32", local={"usize": MAXED32}),
                   Entry("b.txt", B))


@case("C1", refused("descriptor", "d/"),
      "a stored bit-3 directory with a descriptor without signature: bsdtar from a pipe skips its data to the next "
      "signature, c.txt's descriptor, and writes nothing (exit 0); the others write d/b.txt and c.txt")
def c1_directory_unsigned_descriptor_then_entries():
    return archive(Entry("d/", b"", descriptor="32"), Entry("d/b.txt", B), Entry("c.txt", A, descriptor="sig32"))


@case("one", read({"d/b.txt": B, "c.txt": A}), "the same with a signed descriptor: every reader reads it")
def one_directory_signed_descriptor_then_entries():
    return archive(Entry("d/", b"", descriptor="sig32"), Entry("d/b.txt", B), Entry("c.txt", A, descriptor="sig32"))


def bit3_zip64_local(descriptor):
    """a.txt with bit 3 and a zip64 field in its local header (a 24-byte descriptor to
    come) or none (16 bytes), followed by the other form; b.txt stored holds a hidden entry
    where a streaming reader that trusts the local header lands."""
    form, extra = ("sig32", zip64_extra(0, 0)) if descriptor == 16 else ("sig64", b"")
    maxed = MAXED32 if extra else 0
    local = {"extra": extra, "version": 45, "csize": maxed, "usize": maxed}
    a = Entry("a.txt", A * 4, method=DEFLATED, descriptor=form, local=local)
    return archive(a, Entry("b.txt", hidden_local()))


@case("A2", refused("descriptor|zip64"),
      "bsdtar from a pipe takes 24 bytes, 8 of them b.txt's header, errs and writes hidden.sh; the others read")
def a2_zip64_local_then_16_byte_descriptor():
    return bit3_zip64_local(16)


@case("one", read({"a.txt": A * 4, "b.txt": hidden_local()}),
      "the reverse, no zip64 field and 24 bytes: bsdtar from a pipe reads 16 of them, errs and writes a.txt "
      "empty; the others read, and a reader that fails is no second reading")
def one_no_zip64_local_then_24_byte_descriptor():
    return bit3_zip64_local(24)


# C2: several end records, each inside the previous one's comment.


def nested_archives(start, names):
    """Archives one inside the other's end-record comment, the first lying at file offset
    `start`; each counts its offsets from the start of the file."""
    if not names:
        return b""
    built = Zip()
    built.out = bytearray(start)
    built.local(Entry(names[0], PAYLOAD))
    built.directory()
    built.end(comment=nested_archives(built.tell() + 22, names[1:]))
    return built.bytes()[start:]


def with_archive_in_comment(*names):
    built = Zip()
    built.local(Entry("readme.txt", README))
    built.directory()
    built.end(comment=nested_archives(built.tell() + 22, names))
    return built.bytes()


@case("C2", refused("end record|end of central"), "the second archive in the archive comment")
def c2_second_archive_in_comment():
    return with_archive_in_comment("payload.sh")


@case("C2", refused("end record|end of central"))
def c2_three_archives_nested():
    return with_archive_in_comment("payload.sh", "third.sh")


@case("C2", refused("end record|end of central"), "junk after both: no record's comment reaches the end")
def c2_second_archive_in_comment_then_junk():
    return with_archive_in_comment("payload.sh") + b"trailing junk, no signature\n"


@case("C2", refused("holds another in its comment"),
      "the outer record gives its directory no bytes and leads nowhere, the inner one leads")
def c2_outer_record_leads_nowhere():
    nested = bytearray(with_archive_in_comment("payload.sh"))
    outer = nested.find(b"PK\x05\x06")
    nested[outer + 12:outer + 16] = struct.pack("<I", 0)
    return bytes(nested)


@case("C2", refused("last end record"),
      "a copy of the end record in its own comment: the last one leads nowhere, and bsdtar reads nothing")
def c2_end_record_copy_in_comment():
    plain = archive(Entry("a.txt", A))
    return plain[:-2] + struct.pack("<H", 22) + plain[-22:]


@case("one", read({"a.txt": A}), "junk after the end record with no record signature in it")
def c2_junk_after_end():
    return archive(Entry("a.txt", A)) + b"trailing junk, no signature\n"


# C3: entry count and directory size that disagree with the records.


@case("C3", refused(DIRECTORY + "|entr"))
def c3_count_1_with_2_entries():
    return archive(Entry("a.txt", A), Entry("b.txt", B), entries=1)


@case("C3", refused(DIRECTORY + "|entr"))
def c3_count_3_with_2_entries():
    return archive(Entry("a.txt", A), Entry("b.txt", B), entries=3)


@case("C3", refused("1 entries on this disk", "2 in all"), "the disk's count 1, the total 2: a reader that goes by this disk's count reads one")
def c3_disk_count_differs():
    return archive(Entry("a.txt", A), Entry("b.txt", B), disk_entries=1)


def two_entry_directory_size(delta):
    built = Zip()
    built.local(Entry("a.txt", A))
    built.local(Entry("b.txt", B))
    built.directory()
    built.end(cd_size=built.cd_size + delta)
    return built.bytes()


@case("C3", refused(DIRECTORY))
def c3_directory_size_short():
    return two_entry_directory_size(-len(Entry("b.txt", B).central_header()))


@case("C3", refused(DIRECTORY, code=(2, 9)), "no directory of that size ends at the end record: 9 is fair too")
def c3_directory_size_long():
    return two_entry_directory_size(10)


@case("C3", refused(DIRECTORY + "|signature|record"), "PK\\5\\5 between central headers")
def c3_signature_record_between_headers():
    built = Zip()
    a, b = built.local(Entry("a.txt", A)), built.local(Entry("b.txt", B))
    built.central(a)
    built.raw(SIGNATURE_RECORD + struct.pack("<H", 0))
    built.central(b)
    built.cd_size = built.tell() - built.cd_offset
    built.end()
    return built.bytes()


@case("C3", refused("zip|end record|" + DIRECTORY, code=9), "no directory anywhere: no reading at all")
def c3_no_directory_anywhere():
    return archive(Entry("a.txt", A), cd_offset=3, cd_size=7)


WRAPPED = 65537


@case("one", read({f"n/{i:05}": b"" for i in range(WRAPPED)}), "65,537 entries, count 1, no zip64 records")
def c3_count_wrapped_past_65535():
    return archive(*(Entry(f"n/{i:05}", b"") for i in range(WRAPPED)), entries=WRAPPED % 65536)


# C4: a directory at the recorded offset, another right before the end record, a third by
# streaming.


@case("C4", refused(DIRECTORY))
def c4_second_directory_before_end():
    built = Zip()
    a, b = built.local(Entry("a.txt", A)), built.local(Entry("b.txt", B))
    built.central(a)
    first = (built.cd_offset, built.cd_size)
    built.central(b)
    built.end(cd_offset=first[0], cd_size=first[1], entries=1)
    return built.bytes()


@case("C4", refused(DIRECTORY))
def c4_three_directories():
    built = Zip()
    a, b, c = (built.local(Entry(n, A)) for n in ("a.txt", "b.txt", "c.txt"))
    built.central(a)
    first = (built.cd_offset, built.cd_size)
    built.raw(b"-JUNK-")
    second = built.tell()
    built.raw(b.central_header())
    built.end(cd_offset=first[0], cd_size=built.tell() - second, entries=1)
    return built.bytes()


@case("C4", refused("zip64|locator"), "a locator into an entry's data, where a second directory lies")
def c4_locator_into_entry_data():
    built = Zip()
    built.local(Entry("a.txt", A))
    holder = Entry("inner.bin", b"")
    data_at = built.tell() + len(holder.local_header())
    inner = Zip()
    inner.out = bytearray(data_at)
    inner.local(Entry("payload.sh", PAYLOAD))
    inner.directory()
    inner.zip64_end()
    holder.data = inner.bytes()[data_at:]
    built.local(holder)
    built.directory()
    built.locator(zip64_offset=inner.zip64_end_offset)
    built.end()
    return built.bytes()


# C5: the zip64 end record and locator against the classic end record.


def zip64_archive(zip64=None, locator=None, front=b"", **end):
    built = Zip()
    built.raw(front)
    built.local(Entry("a.txt", A))
    built.local(Entry("b.txt", B))
    built.directory()
    built.zip64_end(**(zip64 or {}))
    built.locator(**(locator or {}))
    built.end(**end)
    return built.bytes()


@case("one", read({"a.txt": A, "b.txt": B}), "a stray zip64 record that agrees with the classic fields")
def c5_stray_zip64_agrees():
    return zip64_archive()


@case("one", read({"a.txt": A, "b.txt": B}))
def c5_classic_fields_maxed():
    return zip64_archive(entries=MAXED16, cd_size=MAXED32, cd_offset=MAXED32)


@case("one", read({"a.txt": A, "b.txt": B}), "disk numbers maxed classically, zero in zip64")
def c5_disk_numbers_maxed():
    return zip64_archive(disk=MAXED16, cd_disk=MAXED16, entries=MAXED16, disk_entries=MAXED16)


@case("C5", refused("zip64", "0 bytes"),
      "a zip64 end record that gives the directory 0 bytes beside sound classic fields: zipfile follows it and "
      "reads no entries (exit 0), bsdtar and 7zz read the classic directory")
def c5_zip64_record_gives_an_empty_directory():
    built = Zip()
    for entry in (Entry("a.txt", A), Entry("b.txt", B)):
        built.local(entry)
    built.directory()
    built.zip64_end(cd_size=0)
    built.locator()
    built.end()
    return built.bytes()


@case("C5", refused("zip64", "locator", "moved"),
      "a stub put in front, no offset moved: bsdtar finds no zip64 record and writes nothing (exit 0), "
      "7zz and bsdtar from a pipe fail, zipfile reads both")
def c5_zip64_stub_in_front_unadjusted():
    return b"MZ" + bytes(510) + zip64_archive()


@case("one", read({"a.txt": A, "b.txt": B}),
      "the same with the classic fields maxed: bsdtar (from the file and a pipe) and 7zz fail, zipfile reads both")
def one_zip64_maxed_stub_in_front_unadjusted():
    return b"MZ" + bytes(510) + zip64_archive(entries=MAXED16, cd_size=MAXED32, cd_offset=MAXED32)


@case("one", read({"a.txt": A, "b.txt": B}), "a stub in front of a zip64 archive, every offset moved")
def one_zip64_stub_in_front():
    return zip64_archive(front=b"MZ" + bytes(510))


@case("C5", refused("0 disks"), "a locator that counts 0 disks, as some writers do: bsdtar reads no entries")
def c5_locator_counts_no_disks():
    return zip64_archive(locator={"disks": 0})


@case("C5", refused("zip64", "disk"), "classic fields maxed, the zip64 record counts 1 entry on its disk of 2")
def c5_zip64_disk_count_differs():
    return zip64_archive(zip64={"disk_entries": 1}, entries=MAXED16, cd_size=MAXED32, cd_offset=MAXED32)


@case("C5", refused("split", code=9), "a locator that counts 2 disks before a zip64 record: bsdtar reads no entries, 7zz both")
def c5_locator_counts_two_disks():
    return zip64_archive(locator={"disks": 2})


@case("C5", refused("zip64", "entr|count"))
def c5_zip64_count_differs():
    return zip64_archive(zip64={"entries": 3, "disk_entries": 3})


@case("C5", refused("zip64|" + DIRECTORY, code=(2, 9)), "the zip64 size leads to no directory: 9 is fair too")
def c5_zip64_size_differs():
    return zip64_archive(zip64={"cd_size": 10})


@case("C5", refused("zip64|" + DIRECTORY))
def c5_zip64_offset_to_second_directory():
    built = Zip()
    a, b = built.local(Entry("a.txt", A)), built.local(Entry("b.txt", B))
    other = built.raw(b.central_header())
    built.directory([a])
    built.zip64_end(cd_offset=other, cd_size=len(b.central_header()))
    built.locator()
    built.end()
    return built.bytes()


@case("C5", refused("zip64|locator"), "the locator leads to another zip64 record than the one before it")
def c5_locator_points_elsewhere():
    built = Zip()
    a, b = built.local(Entry("a.txt", A)), built.local(Entry("b.txt", B))
    built.directory([b])
    elsewhere = built.zip64_end()
    built.cd_offset, built.cd_size, built.central_count = None, 0, 0
    built.directory([a])
    built.zip64_end()
    built.locator(zip64_offset=elsewhere)
    built.end(entries=MAXED16, cd_size=MAXED32, cd_offset=MAXED32)
    return built.bytes()


@case("C5", refused("zip64|locator|" + DIRECTORY, code=(2, 9)), "a locator that leads to no zip64 record: bsdtar then reads no entry")
def c5_stray_locator():
    built = Zip()
    built.local(Entry("a.txt", A))
    built.directory()
    built.locator(zip64_offset=0)
    built.end()
    return built.bytes()


@case("C5", refused("zip64|locator|" + DIRECTORY, code=(2, 9)), "classic fields maxed, no zip64 record: only bsdtar reads on")
def c5_maxed_without_zip64_record():
    built = Zip()
    built.local(Entry("a.txt", A))
    built.directory()
    built.locator(zip64_offset=0)
    built.end(entries=MAXED16, cd_size=MAXED32, cd_offset=MAXED32)
    return built.bytes()


# Where the data of the second entry below begin: after a.txt and inner.bin's local header.
INNER_AT = len(Entry("a.txt", A).local_header()) + len(A) + len(Entry("inner.bin").local_header())


def inner_archive():
    """A second archive (payload.sh, b.txt) written at INNER_AT, without end records."""
    inner = Zip()
    inner.out = bytearray(INNER_AT)
    inner.local(Entry("payload.sh", PAYLOAD))
    inner.local(Entry("b.txt", B))
    inner.directory()
    return inner


INNER = inner_archive().bytes()[INNER_AT:]


def zip64_records_in_comment(comment):
    """a.txt, and inner.bin whose data hold the second archive; the last central header's
    comment (right before the end record, no classic field maxed) is comment(where it lies,
    the second archive)."""
    built = Zip()
    built.local(Entry("a.txt", A))
    holder = built.local(Entry("inner.bin", INNER))
    built.central(built.entries[0])
    comment_at = built.tell() + CENTRAL.size + len(b"inner.bin")
    built.central(holder, comment=comment(comment_at, inner_archive()))
    built.end()
    return built.bytes()


def zip64_tail(at, **fields):
    """A zip64 end record at `at` with these fields, and a locator to it."""
    tail = Zip()
    tail.out = bytearray(at)
    tail.zip64_end(**fields)
    tail.locator()
    return tail.bytes()[at:]


@case("C5", refused(DIRECTORY, "a.txt", "payload.sh"),
      "the second archive's zip64 records in the last central comment: bsdtar reads its entries")
def c5_zip64_records_of_another_archive_in_comment():
    return zip64_records_in_comment(
        lambda at, inner: zip64_tail(at, entries=2, cd_size=inner.cd_size, cd_offset=inner.cd_offset))


@case("one", read({"a.txt": A, "inner.bin": INNER}),
      "zip64 records in the last central comment that lead to no directory: bsdtar fails, the rest read the classic one")
def c5_zip64_records_in_comment_lead_nowhere():
    return zip64_records_in_comment(lambda at, inner: zip64_tail(at, entries=2, cd_size=5000, cd_offset=123456))


def random_comment_with_locator_signature(at, inner):
    """60 random bytes (the same on every run) whose last 20 begin with a locator signature."""
    comment = bytearray(random.Random(12449).randbytes(60))
    comment[40:44] = LOCATOR.signature
    return bytes(comment)


@case("one", read({"a.txt": A, "inner.bin": INNER}),
      "as Go's issue-12449.zip: a locator signature in random comment bytes, no classic field maxed")
def c5_locator_signature_in_random_comment():
    return zip64_records_in_comment(random_comment_with_locator_signature)


# Odd archives with one reading that stay readable.


@case("one", read({"a.txt": A, "d/b.txt": B}), "a self-extractor's stub in front, offsets adjusted")
def one_data_in_front():
    built = Zip()
    built.raw(b"MZ" + bytes(510))
    built.local(Entry("a.txt", A))
    built.local(Entry("d/b.txt", B))
    built.directory()
    built.end()
    return built.bytes()


@case("one", read({"a.txt": A, "d/b.txt": B}), "a stub in front, offsets counted from the archive's start")
def one_data_in_front_unadjusted():
    return b"MZ" + bytes(510) + archive(Entry("a.txt", A), Entry("d/b.txt", B))


def bit3_entries(form):
    return archive(Entry("a.txt", A * 4, method=DEFLATED, descriptor=form), Entry("b.txt", B, descriptor=form))


@case("one", read({"a.txt": A * 4, "b.txt": B}))
def one_descriptor_sig32():
    return bit3_entries("sig32")


@case("one", read({"a.txt": A * 4, "b.txt": B}))
def one_descriptor_32():
    return bit3_entries("32")


@case("one", read({"a.txt": A * 4, "b.txt": B}))
def one_descriptor_sig64():
    return bit3_entries("sig64")


@case("one", read({"a.txt": A * 4, "b.txt": B}))
def one_descriptor_64():
    return bit3_entries("64")


@case("one", read({"a.txt": A, "b.txt": B}))
def one_zip64_fields_in_both_headers():
    return archive(Entry("a.txt", A, zip64=True), Entry("b.txt", B, zip64=True))


def by_name(names=None):
    """The cases named (all of them without names); an unknown name raises KeyError."""
    table = {c.name: c for c in CASES}
    return [table[name] for name in names] if names else list(CASES)
