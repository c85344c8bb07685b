#!/usr/bin/env python3
"""Writes the tables of the hostile-input benchmark.

Usage: gen_hostile.py organ OUTPUT_PATH ROWS     keys rising then falling (the sort's worst case)
       gen_hostile.py wide OUTPUT_PATH COLUMNS   a header row and one data row, COLUMNS fields each,
                                                 and the column files pack reads for it, numbered
                                                 and named, in the folder beside the table
       gen_hostile.py floor FOLDER COUNT         what writing COUNT small files costs here: each
                                                 one to a temporary name, then renamed into place
"""
import os
import sys
import time


def organ(path, rows):
    half = rows // 2
    with open(path, "w", newline="") as out:
        for i in range(rows):
            key = i if i < half else rows - i
            out.write(f"k{key},row {i}\r\n")


def wide(path, columns):
    with open(path, "w", newline="") as out:
        out.write(",".join(f"c{c}" for c in range(columns)) + "\r\n")
        out.write(",".join(f"v{c}" for c in range(columns)) + "\r\n")
    base = os.path.splitext(path)[0]
    os.makedirs(base, exist_ok=True)
    name = os.path.basename(base)
    for c in range(columns):
        for file_name in (f"{name}_{c}.txt", f"c{c}.txt"):
            with open(os.path.join(base, file_name), "w", newline="") as out:
                out.write(f"c{c}\r\nv{c}\r\n")


def floor(folder, count):
    os.makedirs(folder, exist_ok=True)
    start = time.time()
    for c in range(count):
        path = os.path.join(folder, f"f_{c}.txt")
        with open(path + ".tmp", "w", newline="") as out:
            out.write(f"c{c}\r\nv{c}\r\n")
        os.rename(path + ".tmp", path)
    print(f"{time.time() - start:.2f}")


if __name__ == "__main__":
    kind, path, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    {"organ": organ, "wide": wide, "floor": floor}[kind](path, count)
