#!/usr/bin/env python3
"""Writes samples/sample.zip, the small archive that scripts/run-sample.sh unpacks.

The archive is the same byte for byte on every run: fixed contents, order, times and
attributes (deflate through Python's zlib).
"""
import pathlib
import sys
import zipfile

FILES = [
    ("Nocturnis-Daten/liesmich.txt",
     "Beispieldaten für NocUnzip.\n"
     "Dieses Archiv wurde von scripts/make-sample.py erzeugt.\n"),
    ("Nocturnis-Daten/sterne.csv",
     "name;helligkeit;sternbild\n"
     "Sirius;-1.46;Großer Hund\n"
     "Canopus;-0.74;Kiel des Schiffs\n"
     "Arktur;-0.05;Bärenhüter\n"
     "Wega;0.03;Leier\n"),
    ("Nocturnis-Daten/notizen/beobachtung.txt",
     "2026-12-08 22:40 klarer Himmel, Orion im Osten.\n"
     "2026-12-08 23:15 Plejaden mit bloßem Auge: sieben Sterne gezählt.\n"),
]
DATE_TIME = (2026, 12, 8, 12, 0, 0)


def main() -> int:
    root = pathlib.Path(__file__).resolve().parent.parent
    out = root / "samples" / "sample.zip"
    out.parent.mkdir(exist_ok=True)
    with zipfile.ZipFile(out, "w") as archive:
        for name, text in FILES:
            info = zipfile.ZipInfo(name, DATE_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the permission bits below count
            info.external_attr = 0o100644 << 16
            archive.writestr(info, text.encode("utf-8"), compresslevel=9)
    print(out.relative_to(root))
    return 0


if __name__ == "__main__":
    sys.exit(main())
