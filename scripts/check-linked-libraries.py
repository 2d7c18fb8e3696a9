#!/usr/bin/env python3
"""Checks which shared libraries programs load, through ldd (so the
libraries' own dependencies count too).

  check-linked-libraries.py --without NAME PROGRAM ...
      fails when a program loads a library whose file name starts with NAME
  check-linked-libraries.py --with NAME PROGRAM ...
      fails when a program does not (shows that the check sees the library)

Prints each program that fails, with the library, and exits 1; 0 otherwise.
"""
import argparse
import os
import subprocess
import sys


def loaded_libraries(program):
    out = subprocess.run(["ldd", program], check=True, capture_output=True, text=True).stdout
    names = []
    for line in out.splitlines():
        first = line.strip().split(" ", 1)[0]
        if first:
            names.append(os.path.basename(first))
    return names


def main():
    parser = argparse.ArgumentParser()
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--without")
    group.add_argument("--with", dest="with_")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    failed = False
    for program in args.programs:
        libs = loaded_libraries(program)
        if args.without:
            found = [lib for lib in libs if lib.startswith(args.without)]
            if found:
                print(f"{program}: loads {', '.join(found)}")
                failed = True
        elif not any(lib.startswith(args.with_) for lib in libs):
            print(f"{program}: does not load {args.with_}*")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
