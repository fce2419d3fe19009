"""The ambiguity scripts' own logic: the builder writes what it is told and nothing else,
the table's archives say what their names say, and runs are judged as documented."""
import copy
import hashlib
import io
import random
import unittest
import zipfile
import zlib

import cases
import check
import differential
import peers
import zipbuild as zb
from zipbuild import CENTRAL, END, LOCAL, Entry


def records_of(data, record):
    return [zb.parse(data, at, r) for at, r in zb.find_records(data) if r is record]


class BuilderTest(unittest.TestCase):
    def test_plain_archive_reads_back_with_zipfile(self):
        entries = [Entry("a.txt", b"alpha"), Entry("d/b.txt", b"b" * 300, method=zb.DEFLATED),
                   Entry("z", b"zz", zip64=True)] + [Entry(f"{form}.txt", b"x" * 50, method=zb.DEFLATED, descriptor=form)
                                                    for form in ("sig32", "32", "sig64", "64")]
        opened = zipfile.ZipFile(io.BytesIO(zb.archive(*entries)))
        self.assertEqual([(e.name, e.data) for e in entries], [(i.filename, opened.read(i)) for i in opened.infolist()])

    def test_overrides_change_one_header_only(self):
        data = zb.archive(Entry("lfh", b"x", central={"name": b"cdh", "crc": 7}))
        (local,), (central,) = records_of(data, LOCAL), records_of(data, CENTRAL)
        self.assertEqual((local["name"], local["crc"]), (b"lfh", zlib.crc32(b"x")))
        self.assertEqual((central["name"], central["crc"], central["name_length"]), (b"cdh", 7, 3))

    def test_descriptor_entries_zero_their_local_fields(self):
        data = zb.archive(Entry("a", b"abc", descriptor="sig32"))
        (local,) = records_of(data, LOCAL)
        self.assertEqual((local["flags"] & zb.FLAG_DESCRIPTOR, local["crc"], local["csize"]), (8, 0, 0))
        descriptor = zb.DESCRIPTOR32.unpack(data, 30 + 1 + 3)
        self.assertEqual(descriptor, {"crc": zlib.crc32(b"abc"), "csize": 3, "usize": 3})

    def test_end_record_counts_what_was_written(self):
        built = zb.Zip()
        built.raw(b"stub")
        a = built.local(Entry("a", b"1"))
        built.directory()
        built.end()
        (end,) = records_of(built.bytes(), END)
        self.assertEqual(a.offset, 4)
        self.assertEqual((end["entries"], end["cd_offset"], end["cd_size"]), (1, 4 + 30 + 1 + 1, 46 + 1))

    def test_unicode_path_field_carries_the_raw_names_crc(self):
        field = zb.unicode_path_extra("ä.txt", b"\x84.txt")
        self.assertEqual(field[:5], b"\x75\x70\x0b\x00\x01")
        self.assertEqual(field[5:9], zlib.crc32(b"\x84.txt").to_bytes(4, "little"))
        self.assertEqual(field[9:], "ä.txt".encode())


class TableTest(unittest.TestCase):
    def test_every_kind_has_cases(self):
        kinds = {c.kind for c in cases.CASES}
        self.assertEqual(kinds, {f"{g}{n}" for g, top in (("A", 5), ("B", 4), ("C", 5)) for n in range(1, top + 1)}
                         - {"B4"} | {"one"})

    def test_names_are_unique_and_archives_deterministic(self):
        names = [c.name for c in cases.CASES]
        self.assertEqual(len(names), len(set(names)))
        small = [c for c in cases.CASES if c.name != "c3_count_wrapped_past_65535"]
        self.assertEqual([c.build() for c in small], [c.build() for c in small])

    def test_one_name_twice_lists_two_entries(self):
        opened = zipfile.ZipFile(io.BytesIO(cases.b1_one_name_twice()))
        self.assertEqual([i.filename for i in opened.infolist()], ["a.txt", "a.txt"])

    def test_second_archive_sits_in_the_comment(self):
        data = cases.c2_second_archive_in_comment()
        ends = records_of(data, END)
        self.assertEqual(len(ends), 2)
        self.assertEqual(len(data), data.rfind(b"PK\x05\x06") + 22)
        self.assertEqual(zipfile.ZipFile(io.BytesIO(data)).namelist(), ["payload.sh"])


def outcome(code, files=None, said="", dirs=()):
    tree = peers.corpus.Tree(files={p.encode(): hashlib.sha256(d).hexdigest() for p, d in (files or {}).items()},
                             dirs={d.encode() for d in dirs})
    return peers.Outcome(code == 0, said, peers.files_of(tree), tree, code)


class JudgeTest(unittest.TestCase):
    def test_read_needs_the_exact_tree(self):
        expect = cases.read({"d/a": b"1"})
        self.assertEqual(check.judge_case(expect, outcome(0, {"d/a": b"1"}, dirs=["d"])), [])
        self.assertTrue(check.judge_case(expect, outcome(0, {"d/a": b"2"}, dirs=["d"])))
        self.assertTrue(check.judge_case(expect, outcome(0, {"d/a": b"1", "b": b""}, dirs=["d"])))

    def test_refusal_needs_code_words_and_nothing_written(self):
        expect = cases.refused("local", "central")
        said = "bench_unzip32: result 2\nthe local header names it x, the central directory y"
        self.assertEqual(check.judge_case(expect, outcome(2, said=said)), [])
        self.assertTrue(check.judge_case(expect, outcome(2, {"x": b""}, said=said)))
        self.assertTrue(check.judge_case(expect, outcome(9, said=said)))
        self.assertTrue(check.judge_case(expect, outcome(2, said="bench_unzip32: result 2\nlocal trouble")))

    def test_kept_archive_may_be_refused_or_read_as_the_peers_agree(self):
        agreed = {b"a": hashlib.sha256(b"1").hexdigest()}
        self.assertEqual(check.judge_kept(agreed, outcome(0, {"a": b"1"})), [])
        self.assertEqual(check.judge_kept(agreed, outcome(2, {"a": b"1"})), [])
        self.assertTrue(check.judge_kept(agreed, outcome(2, {"b": b"1"})))
        self.assertTrue(check.judge_kept(agreed, outcome(0, {})))


class DifferentialTest(unittest.TestCase):
    def test_paths_are_compared_normalised(self):
        library, peer = outcome(0, {"d/a": b"1", "x": b"2"}), outcome(0, {"d\\a": b"1", "./y": b"2"})
        self.assertEqual(peers.differences(library, peer), [("extra", b"x"), ("missing", b"y")])
        self.assertEqual(peers.differences(outcome(0, {"\u00e4": b"1"}), outcome(0, {"\u00e4": b"2"})),
                         [("contents", "\u00e4".encode())])

    def test_archives_are_made_again_from_seed_and_number(self):
        recipes = differential.builder_seeds()
        first = [differential.make_archive(7, n, recipes, {}) for n in range(40)]
        self.assertEqual(first, [differential.make_archive(7, n, recipes, {}) for n in range(40)])
        self.assertGreater(len({data for data, _ in first}), 30)

    def test_streaming_mutations_leave_the_directory_reading_alone(self):
        """Hidden entries in front and in the rest of a recorded size: a reader that goes by
        the directory (zipfile) still reads the listed entries as they were."""
        seed = differential.builder_seeds()["plain"]
        listed = {zb.encode_name(e.name).decode(): e.data for e in seed.entries}
        tags = set()
        for number in range(40):
            rng, r = random.Random(number), copy.deepcopy(seed)
            tag = rng.choice((differential.mutate_front, differential.mutate_length))(rng, r)
            if tag == "length:short":
                continue
            tags.add(tag.split()[0])
            data = r.build()
            opened = zipfile.ZipFile(io.BytesIO(data))
            self.assertEqual({i.filename: opened.read(i) for i in opened.infolist()}, listed, tag)
            if tag.startswith("front"):
                self.assertGreater(len(records_of(data, LOCAL)), len(listed), tag)
        self.assertEqual(tags, {"front:marker", "front:offset0", "length:early"})

    def test_agreed_files_are_those_all_successful_peers_wrote(self):
        one, two = outcome(0, {"a": b"1", "b": b"2"}), outcome(0, {"a": b"1", "b": b"3"})
        finding = differential.Finding("1:1", [], one, {"bsdtar": one, "7zz": two, "zipfile": outcome(1)}, {})
        self.assertEqual(finding.agreed_files(), {"a": hashlib.sha256(b"1").hexdigest()})


if __name__ == "__main__":
    unittest.main()
