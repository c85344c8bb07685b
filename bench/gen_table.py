#!/usr/bin/env python3
"""Writes a deterministic comma-separated benchmark table of about the given size.

Usage: gen_table.py OUTPUT_PATH [SIZE_MB]   (default 200)

A header row, then rows of 12 columns (about 220 bytes each, so about 900k rows for 200 MB).
Column 1 is a natural key "item" + number; about 40% of the rows repeat an earlier key. Some
fields are quoted and hold commas and doubled quotes, some hold a line break (CR LF) inside the
quotes, so a row spans two lines; some hold non-ASCII UTF-8. A few rows are shorter than the
header. Rows end with CR LF.
"""
import random
import sys

HEADER = "id,key,name,price,date,note,city,tag,qty,email,status,comment"
WORDS = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
         "juliet", "kilo", "lima", "mike", "november", "oscar", "papa", "quebec", "romeo"]
CITIES = ["Berlin", "Zürich", "København", "Montréal", "São Paulo", "Kraków", "Oslo",
          "Tōkyō", "Αθήνα", "Москва", "Lyon", "Porto"]
STATUS = ["open", "closed", "pending", "shipped", "returned"]
KEY_SPACE = 10_000_000
KEY_STRIDE = 7_368_787  # odd and not a multiple of 5: new keys never repeat within KEY_SPACE


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


def words(rng, low, high):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(low, high)))


def name_field(rng):
    text = words(rng, 1, 4)
    kind = rng.random()
    if kind < 0.10:
        return quoted(text + ", " + rng.choice(WORDS))  # a comma inside quotes
    if kind < 0.15:
        return quoted('the "' + text + '" edition')  # doubled quotes
    return text


def note_field(rng):
    text = words(rng, 3, 9)
    if rng.random() < 0.05:
        return quoted(text + "\r\n" + words(rng, 1, 4))  # the record spans two lines
    return text


def row(rng, index, key):
    city = rng.choice(CITIES)
    fields = [
        str(index),
        "item%d" % key,
        name_field(rng),
        "%d.%02d" % (rng.randint(0, 9999), rng.randint(0, 99)),
        "20%02d-%02d-%02d" % (rng.randint(0, 24), rng.randint(1, 12), rng.randint(1, 28)),
        note_field(rng),
        quoted(city + ", " + rng.choice(CITIES)) if rng.random() < 0.1 else city,
        rng.choice(WORDS)[:3].upper() + str(rng.randint(0, 99)),
        str(rng.randint(1, 500)),
        "%s.%s@example.com" % (rng.choice(WORDS), rng.choice(WORDS)),
        rng.choice(STATUS),
        words(rng, 6, 14),
    ]
    if rng.random() < 0.01:
        del fields[rng.randint(6, 11):]  # a short row
    return ",".join(fields)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip())
    path = sys.argv[1]
    target = int(float(sys.argv[2] if len(sys.argv) == 3 else 200) * 1_000_000)
    rng = random.Random(20240611)
    keys = []
    written = 0
    index = 0
    with open(path, "wb") as out:
        chunk = [HEADER]
        while written < target:
            if keys and rng.random() < 0.4:
                key = rng.choice(keys)
            else:
                key = (len(keys) * KEY_STRIDE) % KEY_SPACE
                keys.append(key)
            chunk.append(row(rng, index, key))
            index += 1
            if len(chunk) >= 10_000:
                data = ("\r\n".join(chunk) + "\r\n").encode("utf-8")
                out.write(data)
                written += len(data)
                chunk = []
        if chunk:
            out.write(("\r\n".join(chunk) + "\r\n").encode("utf-8"))


if __name__ == "__main__":
    main()
