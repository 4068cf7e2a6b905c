#!/usr/bin/env python3
"""german_translation_test.py <source dir>: every text key the sources look up has a German entry
that keeps the %N% placeholders and markup tags of the English default beside the key."""
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

root = pathlib.Path(sys.argv[1])
german = {entry.get("base"): entry.get("translated")
          for entry in ET.parse(root / "share/translations/de_DE.xml").iter("string")}

# A key literal (web addresses keep their built-in defaults) and, when it follows, its English
# default: adjacent string literals that may go on over lines, as in Translate("key",\n "a " "b").
LOOKUP = re.compile(r'"(sonvel_(?!url_)\w+)"(?:\s*,\s*((?:"(?:[^"\\]|\\.)*"\s*)+))?')
MARKS = re.compile(r"%\d+%|<[^<>]*>")

problems = []
sources = sorted(p for folder in ("core", "downloader") for p in (root / folder).rglob("*") if p.suffix in (".cpp", ".h"))
for source in sources:
    for key, default in LOOKUP.findall(source.read_text(encoding="utf-8")):
        text, marks = german.get(key), sorted(MARKS.findall(default))
        if not text:
            problems.append(f"{source.relative_to(root)}: no German text for {key}")
        elif default and marks != sorted(MARKS.findall(text)):
            problems.append(f"{key}: German {MARKS.findall(text)} but English {marks}")

print("\n".join(problems) or f"{len(german)} German texts cover every key of {len(sources)} files")
sys.exit(1 if problems else 0)
