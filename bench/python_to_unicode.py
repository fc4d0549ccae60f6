#!/usr/bin/python3
"""CCSID.to_unicode from Python against the C++ call CCSID::ToUnicode on the same records.

    bench/python_to_unicode.py BUILD [MIB]     (default 100 MiB of ibm-37 records)

Both convert the same 80-byte records of source-like text (English, then with Latin-1 letters,
which Python stores in the same one byte a character) with the table of ICU's ibm-37 converter
and return fresh text (a str, a std::u16string); each time is the processor time of the fastest
of five calls, the two sides measured in turn for three rounds. The ratio is what to read:
Python's time over the C++ call's.
"""
import os
import random
import subprocess
import sys
import tempfile
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
mib = int(sys.argv[2]) if len(sys.argv) > 2 else 100
sys.path.insert(0, os.path.join(build, "python", "package"))
import svregistration  # noqa: E402

table = svregistration.CCSID.from_icu("ibm-37", 37)
SAMPLES = {
    "English text (ASCII)": "       IDENTIFICATION DIVISION. PROGRAM-ID. PAYROLL. 0123456789 "
                            "MOVE WS-AMOUNT TO OUT-AMOUNT (1:12). ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnop",
    "with Latin-1 letters": "       DISPLAY 'CAF\u00c9 \u00a2 R\u00c9SUM\u00c9 \u00e0 \u00e7a'. "
                            "MOVE WS-AMOUNT TO OUT-AMOUNT (1:12). ABCDEFGHIJKLMNOPQRSTUVWXYZ",
}


def make_records(text):
    sample = table.to_ebcdic(text)
    rng = random.Random(80)
    pool = [bytes(rng.choice(sample) for _ in range(80)) for _ in range(4096)]
    return b"".join(pool[rng.randrange(len(pool))] for _ in range(record_count))


def python_seconds(records, rounds=5):
    fastest = float("inf")
    for _ in range(rounds):
        start = time.process_time()
        text = table.to_unicode(records)
        fastest = min(fastest, time.process_time() - start)
        del text
    return fastest


def compare(what, records):
    with tempfile.NamedTemporaryFile(suffix=".ebc") as file:
        file.write(records)
        file.flush()
        cpp, py = [], []
        for _ in range(3):
            out = subprocess.run([os.path.join(build, "bench", "to_unicode_time"), file.name,
                                  "ibm-37", "5"], check=True, capture_output=True, text=True).stdout.split()
            cpp.append(float(out[0]))
            py.append(python_seconds(records))
        length = len(table.to_unicode(records))
        assert length == int(out[1]), (length, out[1])
    c, p = min(cpp), min(py)
    print(f"{mib} MiB of ibm-37 records, {what}: {length} characters")
    print(f"  C++ CCSID::ToUnicode     {c * 1000:8.1f} ms  (rounds: {', '.join(f'{x * 1000:.1f}' for x in cpp)})")
    print(f"  Python CCSID.to_unicode  {p * 1000:8.1f} ms  (rounds: {', '.join(f'{x * 1000:.1f}' for x in py)})")
    print(f"  Python / C++: {p / c:.2f} (goal: at most 1.2)")


record_count = (mib << 20) // 80
for what, text in SAMPLES.items():
    compare(what, make_records(text))
