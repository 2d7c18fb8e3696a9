#!/usr/bin/env python3
"""Opens an image with pycdlib and checks it against the folder it was made
from: every file's contents must be found in the ISO 9660 tree (names there
are shortened, so contents are compared as a multiset), and, with --joliet,
every file and folder under its own name in the Joliet tree.

usage: check_image.py IMAGE SOURCE [--joliet]
Prints what differs and exits 1; exits 0 when the image matches."""
import hashlib
import io
import os
import sys

import pycdlib


def source_tree(root):
    files, dirs = {}, set()
    for base, dnames, fnames in os.walk(root):
        rel = os.path.relpath(base, root)
        rel = "" if rel == "." else rel
        for d in dnames:
            dirs.add("/" + os.path.join(rel, d))
        for f in fnames:
            with open(os.path.join(base, f), "rb") as fh:
                files["/" + os.path.join(rel, f)] = fh.read()
    return files, dirs


def read(iso, **path):
    out = io.BytesIO()
    iso.get_file_from_iso_fp(out, **path)
    return out.getvalue()


def main():
    image, source = sys.argv[1], sys.argv[2]
    joliet = "--joliet" in sys.argv[3:]
    files, dirs = source_tree(source)
    problems = []
    iso = pycdlib.PyCdlib()
    iso.open(image)
    try:
        found = []
        for base, dnames, fnames in iso.walk(iso_path="/"):
            for f in fnames:
                p = (base.rstrip("/") + "/" + f)
                found.append(hashlib.sha1(read(iso, iso_path=p)).hexdigest())
        want = sorted(hashlib.sha1(d).hexdigest() for d in files.values())
        if sorted(found) != want:
            problems.append("ISO 9660 tree: file contents differ (%d found, %d expected)"
                            % (len(found), len(want)))
        if joliet:
            seen_files, seen_dirs = {}, set()
            for base, dnames, fnames in iso.walk(joliet_path="/"):
                b = base.rstrip("/")
                for d in dnames:
                    seen_dirs.add(b + "/" + d)
                for f in fnames:
                    name = f[:-2] if f.endswith(";1") else f
                    seen_files[b + "/" + name] = read(iso, joliet_path=b + "/" + f)
            if seen_dirs != dirs:
                problems.append("Joliet folders differ: %s" % sorted(seen_dirs ^ dirs))
            if set(seen_files) != set(files):
                problems.append("Joliet files differ: %s" % sorted(set(seen_files) ^ set(files)))
            for p, data in seen_files.items():
                if p in files and files[p] != data:
                    problems.append("Joliet file %s: contents differ" % p)
    finally:
        iso.close()
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
