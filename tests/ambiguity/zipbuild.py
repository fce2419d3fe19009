"""Writes ZIP archives byte by byte, with every field of every record under the caller's
control, so that an archive can say one thing in one place and another thing elsewhere.

The records are laid out as the format lays them out (RECORDS: signature, then the fixed
fields in file order); the same layouts read records back (`parse`, `find_records`), which
the differential check uses to know where each field of an archive lies.

    archive = Zip()
    archive.raw(b"MZ stub")                        # data in front
    a = archive.local(Entry("a.txt", b"alpha"))     # local header, data, descriptor
    archive.local(Entry("b.txt", b"bravo", local={"name": b"other"}))
    archive.directory()                            # a central header for each entry
    archive.end(entries=1)                         # the end record, its fields overridden
    data = archive.bytes()

An Entry's `local`, `central` and `descriptor_fields` override fields of its records (any
field of the layout, and "name", "extra", "comment"); the rest follow from the entry's data.
"""
import dataclasses
import struct
import zlib

STORED, DEFLATED = 0, 8
FLAG_ENCRYPTED, FLAG_DESCRIPTOR, FLAG_STRONG, FLAG_UTF8 = 0x1, 0x8, 0x40, 0x800
DOS_DIRECTORY = 0x10
HOST_DOS, HOST_UNIX = 0, 3
MAXED16, MAXED32 = 0xFFFF, 0xFFFFFFFF
# 2024-05-17 12:30:00 in MS-DOS form.
DOS_TIME, DOS_DATE = (12 << 11) | (30 << 5), ((2024 - 1980) << 9) | (5 << 5) | 17
ZIP64_EXTRA, UNICODE_PATH_EXTRA, AES_EXTRA = 0x0001, 0x7075, 0x9901
EXTENDED_TIME_EXTRA, NTFS_EXTRA = 0x5455, 0x000A


@dataclasses.dataclass(frozen=True)
class Record:
    """One record kind: its signature and its fixed fields (name, struct code)."""

    kind: str
    signature: bytes
    fields: tuple

    def __hash__(self):
        return hash(self.kind)

    @property
    def format(self):
        return "<" + "".join(code for _, code in self.fields)

    @property
    def size(self):
        return len(self.signature) + struct.calcsize(self.format)

    def pack(self, values, signature=True):
        packed = struct.pack(self.format, *(values[name] for name, _ in self.fields))
        return (self.signature if signature else b"") + packed

    def unpack(self, data, offset=0, signature=True):
        start = offset + (len(self.signature) if signature else 0)
        values = struct.unpack_from(self.format, data, start)
        return dict(zip((name for name, _ in self.fields), values))

    def field_spans(self, offset=0, signature=True):
        """(name, offset, size) of each fixed field of a record that starts at `offset`."""
        at = offset + (len(self.signature) if signature else 0)
        for name, code in self.fields:
            size = struct.calcsize("<" + code)
            yield name, at, size
            at += size


LOCAL = Record("local header", b"PK\x03\x04", (
    ("version", "H"), ("flags", "H"), ("method", "H"), ("time", "H"), ("date", "H"),
    ("crc", "I"), ("csize", "I"), ("usize", "I"), ("name_length", "H"), ("extra_length", "H")))
CENTRAL = Record("central header", b"PK\x01\x02", (
    ("made_by", "H"), ("version", "H"), ("flags", "H"), ("method", "H"), ("time", "H"),
    ("date", "H"), ("crc", "I"), ("csize", "I"), ("usize", "I"), ("name_length", "H"),
    ("extra_length", "H"), ("comment_length", "H"), ("disk", "H"), ("internal", "H"),
    ("external", "I"), ("offset", "I")))
DESCRIPTOR32 = Record("data descriptor", b"PK\x07\x08", (("crc", "I"), ("csize", "I"), ("usize", "I")))
DESCRIPTOR64 = Record("zip64 data descriptor", b"PK\x07\x08", (("crc", "I"), ("csize", "Q"), ("usize", "Q")))
ZIP64_END = Record("zip64 end record", b"PK\x06\x06", (
    ("record_size", "Q"), ("made_by", "H"), ("version", "H"), ("disk", "I"), ("cd_disk", "I"),
    ("disk_entries", "Q"), ("entries", "Q"), ("cd_size", "Q"), ("cd_offset", "Q")))
LOCATOR = Record("zip64 locator", b"PK\x06\x07", (("zip64_disk", "I"), ("zip64_offset", "Q"), ("disks", "I")))
END = Record("end record", b"PK\x05\x06", (
    ("disk", "H"), ("cd_disk", "H"), ("disk_entries", "H"), ("entries", "H"), ("cd_size", "I"),
    ("cd_offset", "I"), ("comment_length", "H")))
RECORDS = (LOCAL, CENTRAL, DESCRIPTOR32, ZIP64_END, LOCATOR, END)
# The digital signature record, which may close a central directory.
SIGNATURE_RECORD = b"PK\x05\x05"

# The variable parts that follow a record's fixed fields, by their length fields.
VARIABLE = {LOCAL: ("name_length", "extra_length"),
            CENTRAL: ("name_length", "extra_length", "comment_length"),
            END: ("comment_length",)}
PART = {"name_length": "name", "extra_length": "extra", "comment_length": "comment"}


def extra_field(tag, body):
    return struct.pack("<HH", tag, len(body)) + body


def zip64_extra(*values):
    """The zip64 extra field with these 8-byte values, in the format's order: uncompressed
    size, compressed size, local header offset (then a 4-byte disk number, not offered)."""
    return extra_field(ZIP64_EXTRA, b"".join(struct.pack("<Q", v) for v in values))


def unicode_path_extra(unicode_name, raw_name, version=1, crc=None):
    """The Unicode Path field: `unicode_name` in UTF-8, valid for the raw name whose CRC it
    carries (`crc` overrides that CRC)."""
    crc = zlib.crc32(encode_name(raw_name)) if crc is None else crc
    return extra_field(UNICODE_PATH_EXTRA, struct.pack("<BI", version, crc) + encode_name(unicode_name))


def aes_extra(method=STORED, strength=3, vendor_version=2):
    """The WinZip AES field: AE-1 or AE-2, key strength 1-3, the method of the plain data."""
    return extra_field(AES_EXTRA, struct.pack("<H2sBH", vendor_version, b"AE", strength, method))


def extended_time_extra(mtime):
    """The extended timestamp field (0x5455) with the modification time alone."""
    return extra_field(EXTENDED_TIME_EXTRA, struct.pack("<BI", 1, mtime))


def ntfs_time_extra(mtime):
    """The NTFS field (0x000a): its one attribute of three 64-bit times, all `mtime` (in
    100 ns units since 1601)."""
    return extra_field(NTFS_EXTRA, struct.pack("<IHH3Q", 0, 1, 24, mtime, mtime, mtime))


def encode_name(name):
    return name.encode("utf-8") if isinstance(name, str) else bytes(name)


def compress(data, method):
    if method == DEFLATED:
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        return packer.compress(data) + packer.flush()
    return bytes(data)


@dataclasses.dataclass
class Entry:
    """One member: what it holds and how its records describe it.

    descriptor: None, or the form of its data descriptor: "sig32", "32" (without signature),
    "sig64", "64". With a descriptor the local header sets bit 3 and holds zero for the CRC
    and sizes. zip64: both headers hold the sizes in a zip64 extra field (and 0xFFFFFFFF in
    the classic fields). payload: the bytes written as data, instead of the compressed data.
    """

    name: object
    data: bytes = b""
    method: int = STORED
    flags: int = 0
    descriptor: str | None = None
    zip64: bool = False
    external: int = 0
    made_by: int = (HOST_DOS << 8) | 20
    payload: bytes | None = None
    local: dict = dataclasses.field(default_factory=dict)
    central: dict = dataclasses.field(default_factory=dict)
    descriptor_fields: dict = dataclasses.field(default_factory=dict)
    offset: int | None = None  # where its local header was written

    @property
    def compressed(self):
        return compress(self.data, self.method) if self.payload is None else self.payload

    @property
    def crc(self):
        return zlib.crc32(self.data)

    def base_fields(self):
        """The fields that both headers share, as the data says them."""
        name = encode_name(self.name)
        flags = self.flags | (FLAG_DESCRIPTOR if self.descriptor else 0)
        if isinstance(self.name, str) and not self.name.isascii():
            flags |= FLAG_UTF8
        csize, usize = len(self.compressed), len(self.data)
        return {"version": 45 if self.zip64 or "64" in (self.descriptor or "") else 20,
                "flags": flags, "method": self.method, "time": DOS_TIME, "date": DOS_DATE,
                "crc": self.crc, "csize": csize, "usize": usize, "name": name, "extra": b""}

    def local_header(self):
        fields = self.base_fields()
        if self.zip64:
            fields |= {"csize": MAXED32, "usize": MAXED32,
                       "extra": zip64_extra(len(self.data), len(self.compressed))}
        elif self.descriptor and "64" in self.descriptor:
            # A streaming writer's zip64 entry: sizes to follow in a 64-bit descriptor.
            fields |= {"crc": 0, "csize": MAXED32, "usize": MAXED32, "extra": zip64_extra(0, 0)}
        elif self.descriptor:
            fields |= {"crc": 0, "csize": 0, "usize": 0}
        return pack_variable(LOCAL, fields | self.local)

    def local_record(self):
        """What a local entry is on disk: its local header, its data and its descriptor."""
        return self.local_header() + self.compressed + self.data_descriptor()

    def data_descriptor(self):
        if not self.descriptor:
            return b""
        layout = DESCRIPTOR64 if "64" in self.descriptor else DESCRIPTOR32
        fields = {"crc": self.crc, "csize": len(self.compressed), "usize": len(self.data)}
        return layout.pack(fields | self.descriptor_fields, signature=self.descriptor.startswith("sig"))

    def central_header(self):
        fields = self.base_fields() | {"made_by": self.made_by, "comment": b"", "disk": 0,
                                       "internal": 0, "external": self.external, "offset": self.offset or 0}
        if self.zip64:
            fields |= {"csize": MAXED32, "usize": MAXED32,
                       "extra": zip64_extra(len(self.data), len(self.compressed))}
        return pack_variable(CENTRAL, fields | self.central)


def pack_variable(record, fields):
    """A record with its variable parts (name, extra, comment) after the fixed fields; each
    length field follows its part unless the caller set it."""
    values = dict(fields)
    for length in VARIABLE[record]:
        values.setdefault(length, len(encode_name(values.get(PART[length], b""))))
    tail = b"".join(encode_name(values.get(PART[length], b"")) for length in VARIABLE[record])
    return record.pack(values) + tail


class Zip:
    """An archive written front to back; each method appends records and returns where
    they begin. The directory and end records take their defaults from what was written."""

    def __init__(self):
        self.out = bytearray()
        self.entries = []
        self.cd_offset = None
        self.cd_size = 0
        self.central_count = 0
        self.zip64_end_offset = None

    def tell(self):
        return len(self.out)

    def raw(self, data):
        at = self.tell()
        self.out += data
        return at

    def local(self, entry):
        """The entry's local header, its data and its descriptor."""
        entry.offset = self.tell()
        self.raw(entry.local_record())
        self.entries.append(entry)
        return entry

    def central(self, entry, **fields):
        """One central header; the first one written starts the directory."""
        header = dataclasses.replace(entry, central=entry.central | fields).central_header()
        if self.cd_offset is None:
            self.cd_offset = self.tell()
        self.central_count += 1
        self.cd_size = self.tell() + len(header) - self.cd_offset
        return self.raw(header)

    def directory(self, entries=None):
        """A central header for each entry given (default: every entry written)."""
        start = self.tell()
        for entry in self.entries if entries is None else entries:
            self.central(entry)
        return start

    def directory_fields(self):
        offset = self.tell() if self.cd_offset is None else self.cd_offset
        return {"entries": self.central_count, "cd_size": self.cd_size, "cd_offset": offset}

    def zip64_end(self, **fields):
        values = self.directory_fields() | {"record_size": ZIP64_END.size - 12, "made_by": 45,
                                            "version": 45, "disk": 0, "cd_disk": 0}
        values["disk_entries"] = fields.get("entries", values["entries"])
        self.zip64_end_offset = self.tell()
        return self.raw(ZIP64_END.pack(values | fields))

    def locator(self, **fields):
        values = {"zip64_disk": 0, "zip64_offset": self.zip64_end_offset or 0, "disks": 1}
        return self.raw(LOCATOR.pack(values | fields))

    def end(self, comment=b"", **fields):
        values = self.directory_fields() | {"disk": 0, "cd_disk": 0, "comment": comment}
        values["disk_entries"] = fields.get("entries", values["entries"])
        return self.raw(pack_variable(END, values | fields))

    def bytes(self):
        return bytes(self.out)


def archive(*entries, comment=b"", **end_fields):
    """A plain archive: the entries, their directory and an end record."""
    built = Zip()
    for entry in entries:
        built.local(entry)
    built.directory()
    built.end(comment=comment, **end_fields)
    return built.bytes()


def find_records(data):
    """(offset, record) of every record signature in `data` whose fixed part fits, in file
    order: what a reader scanning for signatures would see (data descriptors without
    signature are not found)."""
    found = []
    for record in RECORDS:
        at = data.find(record.signature)
        while at >= 0:
            if at + record.size <= len(data):
                found.append((at, record))
            at = data.find(record.signature, at + 1)
    return sorted(found, key=lambda item: item[0])


def parse(data, offset, record):
    """The fixed fields of the record at `offset`, and its variable parts by name."""
    values = record.unpack(data, offset)
    at = offset + record.size
    for length in VARIABLE.get(record, ()):
        values[PART[length]] = data[at:at + values[length]]
        at += values[length]
    return values
