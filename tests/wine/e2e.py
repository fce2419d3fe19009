#!/usr/bin/env python3
"""NocUnzip.exe end to end under Wine, as the main program Nocturnis and its user meet it.

Installs NocUnzip.exe beside unzip32.dll in a Wine prefix, sets the main program's
directory in the registry with `reg add`, builds real archives (plain, encrypted with the
fixed password in both ways, corrupt) and starts the program with exact command lines
through the Win32 helper nocunzip_wine_helper.exe, which reads the window back with Win32
calls and answers the message boxes as a user would. Checks the result files byte for byte,
the extracted files, the boxes, the window and the wait before the job.

Each scenario is one function below, listed in SCENARIOS; each starts from the main
program's directory in the registry and no result files there, and sets up whatever else
it needs. A check names its scenario when it passes or fails.

    e2e.py --bin build-win64/bin --work DIR                 every scenario
    e2e.py --bin build-win64/bin --work DIR corrupt_archive one scenario (or several)
    e2e.py --list                                           the scenarios' names

Runs inside the prefix and display that scripts/test-windows.sh prepares (WINEPREFIX and
DISPLAY set), with the Wine command of $WINE (default /usr/lib/wine/wine64); its waits
for Wine and the program are NOCUNZIP_E2E_TIME_SCALE times as long (default 1). Exits non-zero when any check fails.
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import time
import traceback
import zipfile
import zlib
from pathlib import Path

# The Wine command: $WINE, else 64-bit Wine's loader (the `wine` wrapper of a machine
# without 32-bit Wine tries the 32-bit loader first and fails).
WINE = os.environ.get("WINE", "/usr/lib/wine/wine64")
# How much longer than on this machine the harness waits for Wine and the program: an
# emulated machine needs several times as long (the checks of the program's own timing stay
# as they are).
TIME_SCALE = float(os.environ.get("NOCUNZIP_E2E_TIME_SCALE", "1"))
TOKEN = "KvtZRX615"
PASSWORD = "amberLYNXQT"
CAPTION = "Daten werden dekomprimiert..."
LABELS = ["Ein Datenarchiv wird entpackt!", "Bitte warten..."]
REFUSAL_TITLE = "Ungültiger Aufruf"
REFUSAL_TEXT = "Dieses Programm-Modul wird nur Nocturnis-intern verwendet!"
APP_TITLE = "Nocturnis-Unzip"
OVERWRITE_TITLE = "VBUnZip32 - File Already Exists!"
SETTINGS_KEY = r"HKCU\Software\VB and VBA Program Settings\Nocturnis\Verzeichnisse"
SETTINGS_VALUE = "Nocturnis-Verzeichnis"
NO_RESULT_FILES = {"NocUnzip.err": None, "NocUnzip.end": None}


class Checks:
    """Counts checks; each is named after the scenario that makes it."""

    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.scenario = ""
        self.failed_scenarios = []

    def check(self, condition, what, detail=""):
        if condition:
            self.passed += 1
            print(f"PASS {self.scenario}: {what}")
        else:
            self.failed += 1
            if self.scenario not in self.failed_scenarios:
                self.failed_scenarios.append(self.scenario)
            print(f"FAIL {self.scenario}: {what}" + (f": {detail}" if detail else ""))
        return condition

    def equal(self, actual, expected, what):
        return self.check(actual == expected, what, f"got {actual!r}, expected {expected!r}")


def mul_div(number, numerator, denominator):
    """MulDiv of Windows: rounded to the nearest integer."""
    return (number * numerator + denominator // 2) // denominator


class Prefix:
    """The Wine prefix: C: is its drive_c, and every path is given as Windows sees it."""

    def __init__(self, bin_dir):
        self.drive_c = Path(os.environ["WINEPREFIX"]) / "drive_c"
        self.bin_dir = bin_dir.resolve()

    def path(self, windows_path):
        """The Linux path of a path on C:."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        return self.drive_c.joinpath(*windows_path[3:].split("\\"))

    @staticmethod
    def unix_to_windows(path):
        return "Z:" + str(path).replace("/", "\\")

    def wine(self, *args, timeout=60):
        return subprocess.run([WINE, *args], capture_output=True, timeout=timeout * TIME_SCALE)

    def set_directory(self, value):
        if value is None:
            self.wine("reg", "delete", SETTINGS_KEY, "/v", SETTINGS_VALUE, "/f")
            return
        done = self.wine("reg", "add", SETTINGS_KEY, "/v", SETTINGS_VALUE, "/t", "REG_SZ", "/d",
                         value, "/f")
        if done.returncode != 0:
            raise RuntimeError(f"reg add failed: {done.stderr!r}")

    def read_directory(self):
        done = self.wine("reg", "query", SETTINGS_KEY, "/v", SETTINGS_VALUE)
        for line in done.stdout.decode("utf-8", "replace").splitlines():
            if SETTINGS_VALUE in line and "REG_SZ" in line:
                return line.split("REG_SZ", 1)[1].strip()
        return None

    def helper(self, *args, command=None, timeout=60, on_line=None):
        """Runs the Win32 helper; returns its facts as a dict."""
        argv = [WINE, str(self.bin_dir / "nocunzip_wine_helper.exe"), *args]
        if command is not None:
            command_file = self.drive_c / "helper-command.txt"
            command_file.write_text(command, encoding="utf-8")
            argv[2:2] = []
            argv += ["--command-file", r"C:\helper-command.txt"]
        process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        facts = {}
        timeout *= TIME_SCALE
        deadline = time.monotonic() + timeout
        for raw in process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            key, _, value = line.partition("=")
            facts[key] = value
            if on_line:
                on_line(key, value, facts)
            if time.monotonic() > deadline:
                break
        facts["helper_status"] = str(process.wait(timeout=timeout))
        return facts


def unescape(text):
    return text.replace("\\r", "\r").replace("\\n", "\n").replace("\\\\", "\\")


def write_plain_archive(path, contents):
    with zipfile.ZipFile(path, "w") as archive:
        for name, (data, method) in contents.items():
            archive.writestr(zipfile.ZipInfo(name, date_time=(2024, 5, 17, 12, 30, 0)), data,
                             compress_type=method)


def make_archives(work, files):
    """plain.zip, trad.zip (traditional encryption), aes.zip (AES-256), corrupt.zip."""
    archives = work / "archives"
    archives.mkdir(parents=True)
    write_plain_archive(archives / "plain.zip", {
        "liesmich.txt": (files["liesmich.txt"], zipfile.ZIP_DEFLATED),
        "daten/werte.bin": (files["werte.bin"], zipfile.ZIP_DEFLATED),
        "daten/roh.dat": (files["roh.dat"], zipfile.ZIP_STORED),
        "bz/karte.txt": (files["karte.txt"], zipfile.ZIP_BZIP2),
        "leer.txt": (files["leer.txt"], zipfile.ZIP_STORED),
    })
    loose = work / "loose"
    loose.mkdir()
    for name in ("liesmich.txt", "werte.bin"):
        (loose / name).write_bytes(files[name])
    subprocess.run(["zip", "-q", "-j", "-P", PASSWORD, str(archives / "trad.zip"),
                    str(loose / "liesmich.txt"), str(loose / "werte.bin")], check=True)
    subprocess.run(["7zz", "a", "-bd", "-bso0", "-tzip", f"-p{PASSWORD}", "-mem=AES256",
                    str(archives / "aes.zip"), str(loose / "liesmich.txt"),
                    str(loose / "werte.bin")], check=True)
    # Deflated text whose compressed bytes are damaged in the middle; once more under a
    # name with umlauts (stored as UTF-8).
    for archive_name, entry_name in (("corrupt.zip", "kaputt.txt"),
                                     ("umlaute-kaputt.zip", "Bücher/Straße.txt")):
        write_plain_archive(archives / archive_name, {
            entry_name: (b"Nocturnis " * 20000, zipfile.ZIP_DEFLATED)})
        data = bytearray((archives / archive_name).read_bytes())
        middle = 30 + len(entry_name.encode()) + 200
        for i in range(middle, middle + 64):
            data[i] ^= 0x5A
        (archives / archive_name).write_bytes(bytes(data))
    # Files for the overwrite question.
    write_plain_archive(archives / "neu.zip", {
        "a.txt": (b"neu a\r\n", zipfile.ZIP_DEFLATED),
        "b.txt": (b"neu b\r\n", zipfile.ZIP_DEFLATED)})
    write_plain_archive(archives / "umlaute-neu.zip", {
        "Größe.txt": (b"neu\r\n", zipfile.ZIP_DEFLATED)})
    return archives


def check_window(checks, facts):
    checks.equal(facts.get("window.caption"), CAPTION, "window caption")
    dpi_x, dpi_y = (int(v) for v in facts.get("window.dpi", "96x96").split("x"))
    checks.equal(facts.get("window.client"),
                 f"{mul_div(3630, dpi_x, 1440)}x{mul_div(705, dpi_y, 1440)}",
                 f"window client area 3630 x 705 twips at {dpi_x} dpi")
    checks.equal(facts.get("window.frame"), "caption,sysmenu,dialogframe",
                 "window frame: fixed dialog, no minimise, maximise or sizing")
    checks.equal(facts.get("window.file_icons"), "32x32x16,16x16x16",
                 "program file's icon: 32 x 32 and 16 x 16 in 16 colours")
    left, top, right, bottom = (int(v) for v in facts.get("window.rect", "0,0,0,0").split(","))
    width, height = (int(v) for v in facts.get("window.screen", "0x0").split("x"))
    checks.check(abs(left + right - width) <= 1 and abs(top + bottom - height) <= 1,
                 "window centred on the screen",
                 f"window {left},{top},{right},{bottom} on {width}x{height}")
    checks.equal(facts.get("window.labels"), "2", "two labels")
    for i, (text, twips_top) in enumerate(zip(LABELS, (120, 360)), start=1):
        prefix = f"window.label{i}"
        checks.equal(unescape(facts.get(prefix + ".text", "")), text, f"label {i} text")
        x, y = mul_div(120, dpi_x, 1440), mul_div(twips_top, dpi_y, 1440)
        expected = f"{x},{y},{x + mul_div(3375, dpi_x, 1440)},{y + mul_div(255, dpi_y, 1440)}"
        checks.equal(facts.get(prefix + ".rect"), expected, f"label {i} position and size")
        checks.equal(facts.get(prefix + ".centred"), "yes", f"label {i} centred")


def check_box(checks, facts, n, title, text, buttons, icon, what, default=None):
    prefix = f"box{n}"
    checks.equal(unescape(facts.get(prefix + ".title", "")), title, f"{what}: title")
    if text is not None:
        checks.equal(unescape(facts.get(prefix + ".text", "")), text, f"{what}: text")
    checks.equal(facts.get(prefix + ".buttons"), buttons, f"{what}: buttons")
    checks.equal(facts.get(prefix + ".icon"), icon, f"{what}: icon")
    if default:
        checks.equal(facts.get(prefix + ".default"), default, f"{what}: default button")


def screenshot(path, rect, margin=24):
    """The part of the X screen around `rect` (left, top, right, bottom) as a PNG."""
    left, top, right, bottom = rect
    left, top = max(0, left - margin), max(0, top - margin)
    width, height = right - left + 2 * margin, bottom - top + 2 * margin
    subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                    "+repage", str(path)], check=True)




class TestBed:
    """What every scenario works with: the prefix, the installation of the program, the
    archives and their files, and the checks."""

    HOME = "C:\\Nocturnis\\"  # the main program's directory, where NocUnzip.exe is installed
    DATA = "C:\\Daten mit Leerzeichen\\"  # the archives

    def __init__(self, bin_dir, work, screenshots, checks):
        self.prefix = Prefix(bin_dir)
        self.checks = checks
        self.screenshots = screenshots
        work.mkdir(parents=True, exist_ok=True)
        rng = random.Random(20261208)
        self.files = {
            "liesmich.txt": "Nocturnis – Daten\r\nZeile zwei\r\n".encode("cp1252") * 40,
            "werte.bin": bytes(rng.getrandbits(8) for _ in range(150000)) + b"\0" * 100000,
            "roh.dat": bytes(range(256)) * 16,
            "karte.txt": b"bzip2-Eintrag\n" * 500,
            "leer.txt": b"",
        }
        self.archives = make_archives(work, self.files)

        # The installation: NocUnzip.exe beside unzip32.dll in the main program's directory,
        # a copy in a directory with blanks, and one without the library.
        for directory, with_library in ((self.HOME, True),
                                        ("C:\\Program Files\\Nocturnis Test\\", True),
                                        ("C:\\Ohne Bibliothek\\", False)):
            target = self.prefix.path(directory)
            target.mkdir(parents=True, exist_ok=True)
            shutil.copy2(bin_dir / "NocUnzip.exe", target)
            if with_library:
                shutil.copy2(bin_dir / "unzip32.dll", target)
        self.prefix.path(self.DATA).mkdir(parents=True, exist_ok=True)
        for archive in self.archives.iterdir():
            shutil.copy2(archive, self.prefix.path(self.DATA + archive.name))
        self.program = self.HOME + "NocUnzip.exe"
        self.helper_program = Prefix.unix_to_windows(self.prefix.bin_dir /
                                                     "nocunzip_wine_helper.exe")

    def start_scenario(self):
        """The state every scenario starts from."""
        self.prefix.set_directory(self.HOME)
        self.clear_result_files(self.HOME)

    def run(self, arguments, presses=(), program_path=None, quoted=False, hold_ms=0,
            on_line=None, cwd=None, watch_options=()):
        """Starts the program with `arguments` appended to its path through the helper, which
        presses the buttons `presses` ((title, button), ...) in order; returns its facts."""
        program_path = program_path or self.program
        command = (f'"{program_path}"' if quoted else program_path)
        if arguments is not None:
            command += arguments
        helper_args = ["watch", "--timeout", str(round(30000 * TIME_SCALE)), *watch_options]
        if hold_ms:
            helper_args += ["--hold-ms", str(hold_ms)]
        if cwd:
            helper_args += ["--cwd", cwd]
        for title, button in presses:
            helper_args += ["--press", f"{title}={button}"]
        started = time.monotonic()
        facts = self.prefix.helper(*helper_args, command=command, on_line=on_line)
        facts["run_seconds"] = f"{time.monotonic() - started:.1f}"
        return facts

    @staticmethod
    def accepted(archive, target, extra=""):
        return f" {archive};{target};{TOKEN}{extra}"

    def result_files(self, directory=None):
        out = {}
        for name in ("NocUnzip.err", "NocUnzip.end"):
            path = self.prefix.path((directory or self.HOME) + name)
            out[name] = path.read_bytes() if path.exists() else None
        return out

    def clear_result_files(self, directory):
        for name in ("NocUnzip.err", "NocUnzip.end"):
            self.prefix.path(directory + name).unlink(missing_ok=True)

    def check_extracted(self, target, names, what):
        for name in names:
            path = self.prefix.path(target + "\\" + name)
            self.checks.check(path.exists() and path.read_bytes() == self.files[name],
                              f"{what}: {name} byte for byte")


# ---------------------------------------------------------------------------------------------
# Scenarios: one function each, listed in SCENARIOS at the end.


def refusal_box_over_the_window(bed):
    """A call without arguments: the refusal box over the window; no result file. The
    window is read back here, and the job's box comes no earlier than 500 ms after the
    helper last saw no window at all."""
    checks = bed.checks
    shots = {}

    def take_shots(key, value, facts):
        if not bed.screenshots:
            return
        if key == "window.label2.centred":  # the whole window has been read: it is painted
            time.sleep(0.1)
            rect = tuple(int(v) for v in facts["window.rect"].split(","))
            screenshot(bed.screenshots / "window.png", rect)
            shots["window"] = True
        if key == "box1.seen_ms":
            time.sleep(0.4)
            window = [int(v) for v in facts["window.rect"].split(",")]
            box = [int(v) for v in facts["box1.rect"].split(",")]
            union = (min(window[0], box[0]), min(window[1], box[1]), max(window[2], box[2]),
                     max(window[3], box[3]))
            screenshot(bed.screenshots / "refusal.png", union)
            shots["refusal"] = True

    if bed.screenshots:
        bed.screenshots.mkdir(parents=True, exist_ok=True)
    checks.equal(bed.prefix.read_directory(), bed.HOME,
                 "reg add stored the main program's directory")
    facts = bed.run("", [(REFUSAL_TITLE, "OK")], hold_ms=1200 if bed.screenshots else 0,
                    on_line=take_shots)
    check_window(checks, facts)
    check_box(checks, facts, 1, REFUSAL_TITLE, REFUSAL_TEXT, "OK", "information", "refusal box")
    checks.equal(facts.get("box1.owner"), "InetUnzip", "refusal box owned by the window")
    checks.equal(facts.get("boxes"), "1", "refusal: one box only")
    checks.equal(facts.get("exit"), "1", "refusal: exit status 1")
    checks.equal(bed.result_files(), NO_RESULT_FILES, "refusal writes no result file")
    try:
        waited = float(facts["box1.seen_ms"]) - float(facts["window.last_unseen_ms"])
    except (KeyError, ValueError):
        waited = -1
    print(f"window shown to job start: at least {waited:.0f} ms")
    checks.check(waited >= 500, "the job starts no earlier than 500 ms after the window showed",
                 f"{waited:.0f} ms")
    if bed.screenshots:
        checks.check(shots.get("window") and shots.get("refusal"), "screenshots taken")


def refused_tokens(bed):
    """Calls that are refused for their token: wrong case, a blank after it, missing."""
    data = bed.DATA
    for arguments, what in ((bed.accepted(data + "plain.zip", "C:\\Ziel", "").replace(
                                 TOKEN, TOKEN.lower()), "token in other case"),
                            (bed.accepted(data + "plain.zip", "C:\\Ziel", " "), "blank after token"),
                            (f" {data}plain.zip;C:\\Ziel", "two fields only"),
                            ("    ", "blanks only")):
        facts = bed.run(arguments, [(REFUSAL_TITLE, "OK")])
        bed.checks.equal((facts.get("exit"), facts.get("boxes"),
                          unescape(facts.get("box1.title", ""))),
                         ("1", "1", REFUSAL_TITLE), f"refused: {what}")
    bed.checks.equal(bed.result_files(), NO_RESULT_FILES, "refused calls write no result file")


def corrupt_archive(bed):
    """The library's message in a box titled with the application title, then "unzip-error"
    and "success"."""
    checks = bed.checks
    facts = bed.run(bed.accepted(bed.DATA + "corrupt.zip", "C:\\Ziel\\kaputt"),
                    [(APP_TITLE, "OK")])
    check_box(checks, facts, 1, APP_TITLE, None, "OK", "none", "failure box")
    checks.check("kaputt.txt" in unescape(facts.get("box1.text", "")),
                 "failure box shows the library's message about the entry",
                 facts.get("box1.text", ""))
    checks.equal(facts.get("exit"), "3", "corrupt archive: exit status 3")
    checks.equal(bed.result_files(),
                 {"NocUnzip.err": b"unzip-error\r\n", "NocUnzip.end": b"success\r\n"},
                 "corrupt archive: result files")
    checks.check(not bed.prefix.path("C:\\Ziel\\kaputt\\kaputt.txt").exists(),
                 "corrupt archive leaves no partial file")


def corrupt_archive_with_umlauts(bed):
    """The library's message names an entry with umlauts as it is stored, although the
    library hands its texts to the program in the ANSI code page."""
    facts = bed.run(bed.accepted(bed.DATA + "umlaute-kaputt.zip", "C:\\Ziel\\kaputt"),
                    [(APP_TITLE, "OK")])
    text = unescape(facts.get("box1.text", ""))
    bed.checks.check("Bücher/Straße.txt" in text,
                     "failure box spells the entry name with umlauts", text)
    bed.checks.equal(facts.get("exit"), "3", "corrupt archive with umlauts: exit status 3")


def plain_archive(bed):
    """A plain archive with blanks in its path, through the quoted program path: the files
    land under their base names (HonorDirectories off). An old NocUnzip.err stays,
    NocUnzip.end is written anew."""
    checks = bed.checks
    bed.prefix.path(bed.HOME + "NocUnzip.err").write_bytes(b"unzip-error\r\n")
    bed.prefix.path(bed.HOME + "NocUnzip.end").write_bytes(b"old and longer content\r\n")
    facts = bed.run(bed.accepted(bed.DATA + "plain.zip", "C:\\Ziel\\klar"),
                    program_path="C:\\Program Files\\Nocturnis Test\\NocUnzip.exe",
                    quoted=True)
    checks.equal((facts.get("exit"), facts.get("boxes")), ("0", "0"),
                 "plain archive: exit status 0, no box")
    bed.check_extracted("C:\\Ziel\\klar", bed.files, "plain archive")
    checks.check(not bed.prefix.path("C:\\Ziel\\klar\\daten").exists(),
                 "plain archive: stored directories are not made")
    checks.equal(bed.result_files(),
                 {"NocUnzip.err": b"unzip-error\r\n", "NocUnzip.end": b"success\r\n"},
                 "success after a failure: old NocUnzip.err stays, NocUnzip.end rewritten")


def umlauts_in_paths(bed):
    """Umlauts in the archive path and the target directory (the ANSI code page)."""
    shutil.copy2(bed.archives / "plain.zip", bed.prefix.path(bed.DATA + "Grüße.zip"))
    facts = bed.run(bed.accepted(bed.DATA + "Grüße.zip", "C:\\Ziel\\Größe"))
    bed.checks.equal((facts.get("exit"), facts.get("boxes")), ("0", "0"),
                     "umlauts in the paths: exit status 0, no box")
    bed.check_extracted("C:\\Ziel\\Größe", ("liesmich.txt", "werte.bin"), "umlauts in the paths")


def encrypted_archives(bed):
    """Encrypted archives, traditional and AES-256, with the fixed password; a fourth field
    is ignored; several blanks after the program path are skipped."""
    for name in ("trad.zip", "aes.zip"):
        target = "C:\\Ziel\\" + name[:-4]
        facts = bed.run("   " + bed.accepted(bed.DATA + name, target, ";vierter Teil").lstrip())
        bed.checks.equal((facts.get("exit"), facts.get("boxes")), ("0", "0"),
                         f"{name}: exit status 0, no box")
        bed.check_extracted(target, ("liesmich.txt", "werte.bin"), name)
    bed.checks.equal(bed.result_files(), {"NocUnzip.err": None, "NocUnzip.end": b"success\r\n"},
                     "encrypted archives: only NocUnzip.end")


def missing_archive(bed):
    """A missing archive, and a path that names a directory: "file not found"."""
    for archive, what in ((bed.DATA + "fehlt.zip", "missing archive"),
                          (bed.DATA[:-1], "a directory")):
        bed.clear_result_files(bed.HOME)
        facts = bed.run(bed.accepted(archive, "C:\\Ziel\\fehlt"))
        bed.checks.equal((facts.get("exit"), facts.get("boxes")), ("2", "0"),
                         f"{what}: exit 2, no box")
        bed.checks.equal(bed.result_files(),
                         {"NocUnzip.err": b"file not found\r\n", "NocUnzip.end": b"success\r\n"},
                         f"{what}: result files")


def directory_without_final_backslash(bed):
    """A stored directory without its final back slash glues the names to it."""
    glued = bed.prefix.path("C:\\Nocturnis\\ProgNocUnzip.end")
    glued.unlink(missing_ok=True)
    bed.prefix.set_directory("C:\\Nocturnis\\Prog")
    bed.run(bed.accepted(bed.DATA + "fehlt.zip", "C:\\Ziel\\fehlt"))
    bed.checks.check(glued.exists() and glued.read_bytes() == b"success\r\n",
                     "directory without final back slash: C:\\Nocturnis\\ProgNocUnzip.end")


def no_registry_value(bed):
    """No value in the registry: the result files land in the current directory."""
    bed.prefix.set_directory(None)
    bed.prefix.path("C:\\Arbeit").mkdir(exist_ok=True)
    bed.clear_result_files("C:\\Arbeit\\")
    bed.run(bed.accepted(bed.DATA + "fehlt.zip", "C:\\Ziel\\fehlt"), cwd="C:\\Arbeit")
    bed.checks.equal(bed.result_files("C:\\Arbeit\\"),
                     {"NocUnzip.err": b"file not found\r\n", "NocUnzip.end": b"success\r\n"},
                     "no registry value: result files in the current directory")


def missing_result_directory(bed):
    """A stored directory that does not exist: writing the result file is an uncaught error
    (76), reported in a box titled with the application title; exit status 4."""
    bed.prefix.set_directory("C:\\Gibt es nicht\\")
    facts = bed.run(bed.accepted(bed.DATA + "fehlt.zip", "C:\\Ziel\\fehlt"), [(APP_TITLE, "OK")])
    check_box(bed.checks, facts, 1, APP_TITLE, None, "OK", "none", "uncaught error box")
    bed.checks.check(unescape(facts.get("box1.text", "")).startswith("Laufzeitfehler '76':"),
                     "missing result directory: runtime error 76", facts.get("box1.text"))
    bed.checks.equal(facts.get("exit"), "4", "missing result directory: exit status 4")


def missing_unzip32_dll(bed):
    """No unzip32.dll beside the program: runtime error 53 before any extraction, and no
    NocUnzip.end."""
    checks = bed.checks
    facts = bed.run(bed.accepted(bed.DATA + "plain.zip", "C:\\Ziel\\ohne"), [(APP_TITLE, "OK")],
                    program_path="C:\\Ohne Bibliothek\\NocUnzip.exe", quoted=True)
    text = unescape(facts.get("box1.text", ""))
    checks.check(text.startswith("Laufzeitfehler '53':\n\nFile not found: unzip32.dll"),
                 "missing unzip32.dll: runtime error 53", text)
    checks.equal(facts.get("exit"), "4", "missing unzip32.dll: exit status 4")
    checks.equal(bed.result_files(), NO_RESULT_FILES, "missing unzip32.dll: no result file")
    checks.check(not bed.prefix.path("C:\\Ziel\\ohne").exists(),
                 "missing unzip32.dll: nothing unpacked")


def window_that_cannot_be_created(bed):
    """The system refuses the window (a hook of the helper makes its creation fail): the
    uncaught error 7 is reported in a box titled with the application title, exit status 4,
    and the job does not run."""
    checks = bed.checks
    facts = bed.run(bed.accepted(bed.DATA + "plain.zip", "C:\\Ziel\\ohne Fenster"),
                    [(APP_TITLE, "OK")], watch_options=["--refuse-window"])
    checks.equal(facts.get("hook"), "set", "the helper's hook refuses the window")
    checks.check("window.caption" not in facts, "no window was shown")
    check_box(checks, facts, 1, APP_TITLE, None, "OK", "none", "uncaught error box")
    text = unescape(facts.get("box1.text", ""))
    checks.check(text.startswith("Laufzeitfehler '7':\n\nOut of memory"),
                 "refused window: runtime error 7", text)
    checks.equal((facts.get("exit"), facts.get("boxes")), ("4", "1"),
                 "refused window: exit status 4 after the one box")
    checks.equal(bed.result_files(), NO_RESULT_FILES, "refused window: no result file")
    checks.check(not bed.prefix.path("C:\\Ziel\\ohne Fenster").exists(),
                 "refused window: nothing unpacked")


def window_closed_before_the_job(bed):
    """The user closes the window before its timer fires: the job never runs, no box, no
    result file, exit status 5."""
    checks = bed.checks
    facts = bed.run(bed.accepted(bed.DATA + "plain.zip", "C:\\Ziel\\geschlossen"),
                    watch_options=["--close-window"])
    checks.check("window.closed_ms" in facts, "the helper closed the window",
                 facts.get("window.seen_ms"))
    checks.equal((facts.get("exit"), facts.get("boxes")), ("5", "0"),
                 "closed window: exit status 5, no box")
    checks.equal(bed.result_files(), NO_RESULT_FILES, "closed window: no result file")
    checks.check(not bed.prefix.path("C:\\Ziel\\geschlossen").exists(),
                 "closed window: nothing unpacked")


def prepare_overwrite_target(bed, target, existing):
    shutil.rmtree(bed.prefix.path(target), ignore_errors=True)
    bed.prefix.path(target).mkdir(parents=True)
    for name, content in existing.items():
        bed.prefix.path(target + "\\" + name).write_bytes(content)


def overwrite_question(bed):
    """The overwrite question of the unzip binding, with the real library: No keeps the file
    (100), Yes replaces it (102), Cancel and closing the box stop the extraction (104), so
    that the second file is not replaced either."""
    checks = bed.checks
    target = "C:\\Ziel\\frage"
    for answers, expected, what in (
            (("No", "No"), (b"alt a\r\n", b"alt b\r\n", "1"), "No, No"),
            (("Yes", "No"), (b"neu a\r\n", b"alt b\r\n", "1"), "Yes, No"),
            (("Yes", "Yes"), (b"neu a\r\n", b"neu b\r\n", "0"), "Yes, Yes"),
            (("Cancel",), (b"alt a\r\n", b"alt b\r\n", "80"), "Cancel"),
            (("Close",), (b"alt a\r\n", b"alt b\r\n", "80"), "closing the box")):
        prepare_overwrite_target(bed, target, {"a.txt": b"alt a\r\n", "b.txt": b"alt b\r\n"})
        facts = bed.run(f' overwrite "{bed.DATA}neu.zip" {target}',
                        [(OVERWRITE_TITLE, a) for a in answers],
                        program_path=bed.helper_program, quoted=True)
        check_box(checks, facts, 1, OVERWRITE_TITLE, None, "Yes,No,Cancel", "exclamation",
                  f"overwrite question ({what})", default="Yes")
        first = unescape(facts.get("box1.text", ""))
        checks.check(first.startswith("Overwrite ") and first.endswith("a.txt?"),
                     f"overwrite question ({what}): names the file", first)
        checks.equal(facts.get("boxes"), str(len(answers)), f"overwrite ({what}): questions asked")
        got = (bed.prefix.path(target + "\\a.txt").read_bytes(),
               bed.prefix.path(target + "\\b.txt").read_bytes(), facts.get("exit"))
        checks.equal(got, expected, f"overwrite ({what}): files and result")


def overwrite_question_with_umlauts(bed):
    """The overwrite question names a file with umlauts as it is stored."""
    target = "C:\\Ziel\\frage-umlaute"
    prepare_overwrite_target(bed, target, {"Größe.txt": b"alt\r\n"})
    facts = bed.run(f' overwrite "{bed.DATA}umlaute-neu.zip" {target}', [(OVERWRITE_TITLE, "No")],
                    program_path=bed.helper_program, quoted=True)
    bed.checks.equal(unescape(facts.get("box1.text", "")), "Overwrite Größe.txt?",
                     "overwrite question spells a name with umlauts")
    bed.checks.equal(bed.prefix.path(target + "\\Größe.txt").read_bytes(), b"alt\r\n",
                     "overwrite question with umlauts: No keeps the file")


def killed_mid_entry(bed):
    """The user ends NocUnzip.exe from the task manager (TerminateProcess) while it writes a
    large entry over an existing file: the target directory stays as it was, old file whole,
    no partial or temporary file."""
    checks, prefix, program, data = bed.checks, bed.prefix, bed.program, bed.DATA

    # 1536 MiB of zeros from one flushed deflate block repeated: seconds of writing for the
    # program, a moment to make here.
    mib = 1536
    zeros = bytes(1 << 20)
    compressor = zlib.compressobj(1, zlib.DEFLATED, -15)
    block = compressor.compress(zeros) + compressor.flush(zlib.Z_FULL_FLUSH)
    deflated = block * mib + compressor.flush(zlib.Z_FINISH)
    crc = 0
    for _ in range(mib):
        crc = zlib.crc32(zeros, crc)
    name = b"gross.bin"
    fields = struct.pack("<HHHHHIII", 20, 0, 8, 0x6000, 0x58B1, crc, len(deflated), mib << 20)
    local = b"PK\x03\x04" + fields + struct.pack("<HH", len(name), 0) + name
    central = (b"PK\x01\x02" + struct.pack("<H", 20) + fields +
               struct.pack("<HHHHHII", len(name), 0, 0, 0, 0, 0, 0) + name)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central),
                                      len(local) + len(deflated), 0)
    prefix.path(data + "gross.zip").write_bytes(local + deflated + central + end)

    target = "C:\\Ziel\\abbruch"
    shutil.rmtree(prefix.path(target), ignore_errors=True)
    prefix.path(target).mkdir(parents=True)
    prefix.path(target + "\\gross.bin").write_bytes(b"die alte Datei\r\n")
    prefix.path(target + "\\andere.txt").write_bytes(b"eine andere Datei\r\n")

    def snapshot():
        return {p.name: (p.stat().st_mtime_ns, p.read_bytes() if p.stat().st_size < 100 else
                         p.stat().st_size) for p in prefix.path(target).iterdir()}

    before = snapshot()
    facts = prefix.helper("kill-mid-entry", "--directory", target, "--bytes", str(8 << 20),
                          "--timeout", str(round(60000 * TIME_SCALE)),
                          command=f"{program} {data}gross.zip;{target};{TOKEN}")
    checks.equal((facts.get("ended"), facts.get("exit")), ("no", "99"),
                 "killed mid-entry: ended by TerminateProcess")
    checks.check(int(facts.get("seen_bytes", "-1")) >= 8 << 20,
                 "killed mid-entry: the entry was being written", facts.get("seen_bytes"))
    checks.equal(snapshot(), before, "killed mid-entry: the target directory is as it was")


SCENARIOS = [
    refusal_box_over_the_window,
    refused_tokens,
    corrupt_archive,
    corrupt_archive_with_umlauts,
    plain_archive,
    umlauts_in_paths,
    encrypted_archives,
    missing_archive,
    directory_without_final_backslash,
    no_registry_value,
    missing_result_directory,
    missing_unzip32_dll,
    window_that_cannot_be_created,
    window_closed_before_the_job,
    overwrite_question,
    overwrite_question_with_umlauts,
    killed_mid_entry,
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", type=Path, help="build-win64/bin")
    parser.add_argument("--work", type=Path, help="scratch directory")
    parser.add_argument("--screenshots", type=Path, help="write window.png and refusal.png here")
    parser.add_argument("--list", action="store_true", help="list the scenarios and exit")
    parser.add_argument("scenarios", nargs="*", help="run only these scenarios")
    args = parser.parse_args()

    by_name = {scenario.__name__: scenario for scenario in SCENARIOS}
    if args.list:
        print("\n".join(by_name))
        return 0
    unknown = [name for name in args.scenarios if name not in by_name]
    if unknown or not args.bin or not args.work:
        parser.error(f"unknown scenario {unknown[0]} (see --list)" if unknown
                     else "--bin and --work are needed")
    chosen = [by_name[name] for name in args.scenarios] or SCENARIOS

    checks = Checks()
    bed = TestBed(args.bin, args.work, args.screenshots, checks)
    for scenario in chosen:
        checks.scenario = scenario.__name__
        started = time.monotonic()
        try:
            bed.start_scenario()
            scenario(bed)
        except Exception:  # a scenario that breaks fails, and the others still run
            checks.check(False, "ran to its end", traceback.format_exc())
        print(f"TIME {scenario.__name__}: {time.monotonic() - started:.1f} s", flush=True)

    if checks.failed_scenarios:
        print("Failed scenarios: " + ", ".join(checks.failed_scenarios))
    print(f"Wine end-to-end checks: {checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
