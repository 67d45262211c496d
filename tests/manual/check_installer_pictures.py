#!/usr/bin/env python3
"""Checks that the manual's pictures of the installer's pages were taken of today's pages.

Usage: check_installer_pictures.py SOURCE_DIR

The pictures (docs/manual/images/installer-*.png) are the screenshots the installer's end-to-end
test takes, copied by tools/update-manual-images, which also writes the digest of the files that
make the pages (docs/manual/images/installer-pages.sha256). Fails, naming the files, when one of
them has changed since: their texts or layout are no longer what the pictures show. Mend it by
running the installer's page cases and tools/update-manual-images (see its header).
"""
import hashlib
import os
import sys

# The files the pictured pages are made of: their texts in both languages and their layout.
PAGE_FILES = [
    "packaging/windows/qelto-callerid.nsi",
    "packaging/windows/texts_en.nsh",
    "packaging/windows/texts_fa.nsh",
    "packaging/windows/settings_page.nsh",
    "packaging/windows/modems_page.nsh",
]
STAMP = "docs/manual/images/installer-pages.sha256"


def digests(source):
    lines = {}
    for name in PAGE_FILES:
        with open(os.path.join(source, name), "rb") as f:
            lines[name] = hashlib.sha256(f.read()).hexdigest()
    return lines


def main():
    source = sys.argv[1]
    recorded = {}
    with open(os.path.join(source, STAMP), encoding="utf-8") as f:
        for line in f:
            digest, name = line.split()
            recorded[name] = digest
    changed = [n for n, d in digests(source).items() if recorded.get(n) != d]
    if changed:
        print("the installer's pages changed since the manual's pictures were taken: "
              + ", ".join(changed)
              + "; run the installer's page cases and tools/update-manual-images", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
