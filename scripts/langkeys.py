#!/usr/bin/env python3
"""Lists every caption key that Korvane looks up, with the English text at its place of use.

A key is a quoted decimal number of 5 or 6 digits in a caption block anywhere in the C++
sources: in a lookup call, in a table of key and text pairs, or returned by a function (the
status and reason words). The blocks are the first thousand numbers of each ten thousand from
10000 to 149999 (10000 to 10999, 20000 to 20999, ..., 140000 to 140999), and 270000 to 289999
for the messages, so numbers such as "32767" are not taken for keys. When a text literal follows
the key after a comma (through QStringLiteral, QLatin1String, QString::fromUtf8 and the like,
adjacent literals joined), that text is the key's English default. Comments are skipped.

    scripts/langkeys.py                  KEY<TAB>English text, one line per key and text
    scripts/langkeys.py --where          the same with the files and lines that use the key
    scripts/langkeys.py --check PACK...  the keys a pack lacks (as KEY=English text) and the
                                         keys it holds that the code never looks up; exit
                                         status 1 when any differ
    --src DIR                            the sources to read (default: src/ of this checkout)

A key whose place of use gives no text (a key built from a table of keys) is listed with an
empty text. A key used with different texts is listed once per text.
"""

import argparse
import os
import re
import sys

KEY = re.compile(r"^[0-9]{5,6}$")
SOURCE_SUFFIXES = (".cpp", ".h")
# Words that wrap a literal without changing it: QStringLiteral("x"), QString::fromUtf8("x").
WRAPPERS = {"QStringLiteral", "QLatin1String", "QLatin1StringView", "QString", "fromUtf8",
            "fromLatin1", "u8", "tr"}


def is_caption_key(text):
    if not KEY.match(text):
        return False
    number = int(text)
    return (10000 <= number <= 149999 and number % 10000 < 1000) or 270000 <= number <= 289999


ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "'": "'", "?": "?",
           "a": "\a", "b": "\b", "f": "\f", "v": "\v", "0": "\0"}


def unescape(body):
    """The text of a C++ string literal's body (UTF-8 source; \\x bytes taken as UTF-8)."""
    out = bytearray()
    i = 0
    while i < len(body):
        ch = body[i]
        if ch != "\\":
            out += ch.encode("utf-8")
            i += 1
            continue
        nxt = body[i + 1] if i + 1 < len(body) else ""
        if nxt == "x":
            m = re.match(r"[0-9a-fA-F]{1,2}", body[i + 2:])
            out.append(int(m.group(0), 16))
            i += 2 + len(m.group(0))
        elif nxt in ("u", "U"):
            width = 4 if nxt == "u" else 8
            out += chr(int(body[i + 2:i + 2 + width], 16)).encode("utf-8")
            i += 2 + width
        else:
            out += ESCAPES.get(nxt, nxt).encode("utf-8")
            i += 2
    return out.decode("utf-8", errors="replace")


TOKEN = re.compile(r'''
    (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<string>(?:u8|u|U|L)?"(?:[^"\\\n]|\\.)*")
  | (?P<char>'(?:[^'\\\n]|\\.)+')
  | (?P<word>[A-Za-z_][A-Za-z_0-9]*)
  | (?P<space>\s+)
  | (?P<other>::|.)
''', re.VERBOSE | re.DOTALL)


def tokens(text):
    """(kind, value, line) for each token outside comments; raw strings are rare enough to
    be read as plain ones."""
    line = 1
    for m in TOKEN.finditer(text):
        kind = m.lastgroup
        value = m.group(0)
        if kind == "string":
            yield "string", unescape(value[value.index('"') + 1:-1]), line
        elif kind in ("word", "other", "char"):
            yield kind, value, line
        line += value.count("\n")


def uses_in(path):
    """(key, English text or None, line) for every caption key in one source file."""
    with open(path, encoding="utf-8") as f:
        toks = list(tokens(f.read()))
    for i, (kind, value, line) in enumerate(toks):
        if kind != "string" or not is_caption_key(value):
            continue
        # A literal joined to the key would make it another text, not a key.
        if i + 1 < len(toks) and toks[i + 1][0] == "string":
            continue
        j = i + 1
        while j < len(toks) and (toks[j][1] == ")" or toks[j][1].startswith("_")):
            j += 1  # closing wrappers and literal suffixes such as "70001"_s
        text = None
        if j < len(toks) and toks[j][1] == ",":
            j += 1
            while j < len(toks) and (toks[j][1] in WRAPPERS or toks[j][1] in ("(", "::")):
                j += 1
            parts = []
            while j < len(toks) and toks[j][0] == "string":
                parts.append(toks[j][1])
                j += 1
                if j < len(toks) and toks[j][0] == "word" and toks[j][1].startswith("_"):
                    j += 1
            if parts:
                text = "".join(parts)
        yield value, text, line


def scan(src):
    """{key: {text or None: [file:line, ...]}} over every source file below src."""
    found = {}
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(root, name)
            where = os.path.relpath(path, os.path.dirname(os.path.abspath(src)))
            for key, text, line in uses_in(path):
                found.setdefault(key, {}).setdefault(text, []).append(f"{where}:{line}")
    return found


def listing(found):
    """(key, text, places) in key order; a key with texts does not list its text-less uses."""
    for key in sorted(found, key=int):
        texts = found[key]
        known = [t for t in texts if t is not None]
        if not known:
            yield key, "", texts[None]
        for text in known:
            yield key, text, texts[text]


def pack_keys(path):
    """The keys of the [Korvane] section of a pack, compared like the program does: section
    names without regard to case, the first section of that name only."""
    keys = []
    inside = done = False
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.strip()
            if line.startswith("[") and "]" in line:
                done = done or inside
                inside = not done and line[1:line.index("]")].strip().lower() == "korvane"
                continue
            if inside and "=" in line and not line.startswith(";"):
                keys.append(line.split("=", 1)[0].strip())
    return keys


def check(found, packs):
    differ = False
    for pack in packs:
        held = pack_keys(pack)
        missing = sorted(set(found) - set(held), key=int)
        extra = sorted(set(held) - set(found), key=lambda k: (not k.isdigit(), k))
        doubled = sorted({k for k in held if held.count(k) > 1})
        for title, keys in (("lacks (with the English text of the code):", missing),
                            ("holds keys the code never looks up:", extra),
                            ("holds twice", doubled)):
            if keys:
                differ = True
                print(f"{pack} {title}")
                for key in keys:
                    texts = [t for t in found.get(key, {}) if t]
                    print(f"  {key}={texts[0] if texts else ''}")
    if not differ:
        print(f"Every pack holds exactly the {len(found)} keys the code looks up.")
    return 1 if differ else 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--src", default=os.path.join(here, "..", "src"))
    parser.add_argument("--where", action="store_true")
    parser.add_argument("--check", nargs="+", metavar="PACK")
    args = parser.parse_args()
    found = scan(args.src)
    if args.check:
        return check(found, args.check)
    out = sys.stdout
    for key, text, places in listing(found):
        if "\n" in text or "\t" in text:
            print(f"warning: the text of {key} holds a line break or tab", file=sys.stderr)
        out.write(f"{key}\t{text}")
        if args.where:
            out.write("\t" + " ".join(places))
        out.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
