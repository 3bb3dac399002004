#!/usr/bin/env python3
"""Reads tools/mutation/faults.tsv for run.sh.

  fault.py list [id-regex]   one line per fault: id<TAB>file<TAB>gtest filter
  fault.py apply <id>        puts the fault into its file (the text must occur exactly once)
  fault.py check             lists the faults whose original text is not found exactly once
"""
import re
import sys
from pathlib import Path

TABLE = Path(__file__).with_name("faults.tsv")


def unescape(text):
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), text)


def faults():
    for line in TABLE.read_text().splitlines():
        if not line or line.startswith("#"):
            continue
        fid, path, before, after, gfilter, what = line.split("\t")
        yield fid, path, unescape(before), unescape(after), gfilter, what


def main(argv):
    if argv[1] == "list":
        pattern = re.compile(argv[2] if len(argv) > 2 else ".")
        for fid, path, _, _, gfilter, _ in faults():
            if pattern.search(fid):
                print(f"{fid}\t{path}\t{gfilter}")
        return 0
    if argv[1] == "check":
        stale = [f for f, path, before, *_ in faults() if Path(path).read_text().count(before) != 1]
        print("\n".join(stale) or "all faults apply")
        return 1 if stale else 0
    fid = argv[2]
    for f, path, before, after, _, _ in faults():
        if f != fid:
            continue
        text = Path(path).read_text()
        if text.count(before) != 1:
            print(f"{fid}: the original text occurs {text.count(before)} times in {path}", file=sys.stderr)
            return 2
        Path(path).write_text(text.replace(before, after, 1))
        return 0
    print(f"{fid}: no such fault", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
