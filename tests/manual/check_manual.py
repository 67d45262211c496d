#!/usr/bin/env python3
"""Checks the rendered manual pages the shops get.

Usage: check_manual.py MANUAL_DIR TEXTS_H

MANUAL_DIR holds manual.fa.html and manual.en.html as the build renders them, with their
pictures; TEXTS_H is common/texts.h. Fails, naming every fault, when a page is missing, a picture
or link does not resolve (a local file, or an anchor in the page it points to), the two languages
do not have the same chapters and sections (the same ids, in the same order), the Persian page is
not right to left, or a Persian text of the program is not quoted exactly in both.
"""
import html.parser
import os
import re
import sys
import urllib.parse

PAGES = {"fa": {"lang": "fa", "dir": "rtl"}, "en": {"lang": "en", "dir": None}}
SECTION_ID = re.compile(r"^[a-z][a-z0-9-]*$")


class Page(html.parser.HTMLParser):
    """What the checks need of one page: its root's attributes, ids, headings and references."""

    def __init__(self):
        super().__init__()
        self.root = None
        self.ids = set()
        self.headings = []  # (level, id), in order, below the title
        self.refs = []  # (tag, attribute, value)
        self.text = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "html" and self.root is None:
            self.root = attrs
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag in ("h2", "h3") and attrs.get("id") != "toc-title":
            self.headings.append((tag, attrs.get("id", "")))
        for name in ("href", "src"):
            if name in attrs:
                self.refs.append((tag, name, attrs[name]))

    def handle_data(self, data):
        self.text.append(data)


def parse(path):
    page = Page()
    with open(path, encoding="utf-8") as f:
        page.feed(f.read())
    return page


def persian_texts(texts_h):
    """The program's own texts that are written in Arabic script, as the code spells them."""
    with open(texts_h, encoding="utf-8") as f:
        source = f.read()
    found = re.findall(r'(k\w+)\s*=\s*"([^"]*)"', source.replace("=\n   ", "= "))
    return [(name, text) for name, text in found if re.search("[\u0600-\u06ff]", text)]


def check(manual_dir, texts_h):
    faults = []
    pages = {}
    for lang in PAGES:
        path = os.path.join(manual_dir, f"manual.{lang}.html")
        if not os.path.isfile(path):
            faults.append(f"{path}: not rendered")
            continue
        pages[lang] = parse(path)
    if faults:
        return faults

    for lang, want in PAGES.items():
        page, name = pages[lang], f"manual.{lang}.html"
        root = page.root or {}
        if root.get("lang") != want["lang"]:
            faults.append(f'{name}: <html lang="{root.get("lang")}">, expected "{want["lang"]}"')
        if root.get("dir") != want["dir"]:
            faults.append(f'{name}: <html dir="{root.get("dir")}">, expected {want["dir"]}')
        for level, ident in page.headings:
            if not SECTION_ID.match(ident):
                faults.append(f"{name}: a <{level}> without an id of its own ({{#some-id}}), "
                              f"or with the id '{ident}'")
        for tag, attr, value in page.refs:
            faults += check_reference(manual_dir, name, pages, tag, attr, value)

    fa, en = pages["fa"].headings, pages["en"].headings
    if fa != en:
        only_fa = [h for h in fa if h not in en]
        only_en = [h for h in en if h not in fa]
        faults.append("the chapters differ between the languages: "
                      f"only in Persian {only_fa}, only in English {only_en}"
                      + ("" if only_fa or only_en else "; the same ids in another order"))

    for const, text in persian_texts(texts_h):
        for lang, page in pages.items():
            if text not in " ".join("".join(page.text).split()):
                faults.append(f"manual.{lang}.html does not quote {const} exactly: «{text}»")
    return faults


def check_reference(manual_dir, name, pages, tag, attr, value):
    url = urllib.parse.urlsplit(value)
    if url.scheme in ("http", "https", "mailto"):
        return [] if tag == "a" else [f"{name}: <{tag} {attr}> loads {value} from the network"]
    if url.scheme or url.netloc:
        return [f"{name}: <{tag} {attr}=\"{value}\">: not a file beside the manual"]
    target = name
    if url.path:
        target = urllib.parse.unquote(url.path)
        if not os.path.isfile(os.path.join(manual_dir, target)):
            return [f"{name}: <{tag} {attr}=\"{value}\">: no file {target}"]
    if url.fragment:
        lang = {f"manual.{l}.html": l for l in PAGES}.get(target)
        if lang is None:
            return [f"{name}: {value}: an anchor into {target}, which is not checked"]
        if url.fragment not in pages[lang].ids:
            return [f"{name}: {value}: no id '{url.fragment}' in {target}"]
    return []


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    faults = list(dict.fromkeys(check(sys.argv[1], sys.argv[2])))  # each fault once, in order
    for fault in faults:
        print(f"manual: {fault}", file=sys.stderr)
    if faults:
        return 1
    print("manual: both pages rendered; links, pictures, chapters and the program's texts check out")
    return 0


if __name__ == "__main__":
    sys.exit(main())
