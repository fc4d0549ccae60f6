"""CCSID: tables from ICU and character maps, files, and the conversions to str and back."""
import sys
import threading
import time

import pytest

import svregistration
from svregistration import CCSID, SOSI


@pytest.fixture(scope="module")
def ibm37():
    return CCSID.from_icu("ibm-37", 37)


def records(table, lines):
    """80-byte records of the lines, blank-padded."""
    return b"".join(table.to_ebcdic(line.ljust(80)) for line in lines)


def test_records_convert_to_lines_joined_by_crlf_and_back(ibm37):
    data = records(ibm37, ["       IDENTIFICATION DIVISION.", "       PROGRAM-ID. PAY."])
    assert len(data) == 160
    text = ibm37.to_unicode(data)
    assert text == "       IDENTIFICATION DIVISION.".ljust(80) + "\r\n" + "       PROGRAM-ID. PAY.".ljust(80)
    assert ibm37.to_ebcdic(text) == data


@pytest.mark.parametrize("line", [
    "ASCII ONLY",
    "caf\u00e9 \u00a2 \u00ac",     # Latin-1: the str widens once
    "",
])
def test_a_large_buffer_gives_what_its_records_give_one_by_one(ibm37, line):
    # Many pieces of the conversion, and a record that widens the str far into the buffer: the
    # whole must be the records' texts joined, each character as Python itself would store it.
    plain = records(ibm37, ["MOVE A TO B."])
    odd = records(ibm37, [line])
    data = plain * 5000 + odd + plain * 10
    whole = ibm37.to_unicode(data)
    expected = "\r\n".join([ibm37.to_unicode(plain)] * 5000 + [ibm37.to_unicode(odd)] +
                           [ibm37.to_unicode(plain)] * 10)
    assert whole == expected
    assert sys.getsizeof(whole) == sys.getsizeof("".join(list(expected)))  # canonical form


def test_any_bytes_like_object_is_read_in_place(ibm37):
    data = records(ibm37, ["HELLO"])
    assert ibm37.to_unicode(bytearray(data)) == ibm37.to_unicode(memoryview(data)) == ibm37.to_unicode(data)
    assert ibm37.to_unicode(b"") == ""
    with pytest.raises(TypeError):
        ibm37.to_unicode("not bytes")


def test_double_byte_runs_and_the_shift_choices(fixtures, monkeypatch):
    monkeypatch.setenv("LANG", "ja_JP.UTF-8")
    table = CCSID.import_map(fixtures / "ucm" / "ibm-930_P120-1999.ucm", 930)
    assert table.ccsid == 930
    kanji = "\u65e5\u672c"
    data = table.to_ebcdic(("A" + kanji + "B").ljust(40))
    assert b"\x0e" in data and b"\x0f" in data
    assert kanji in table.to_unicode(data, sosi=SOSI.REMOVE_ALL)
    kept = table.to_unicode(data, sosi=SOSI.KEEP_ALL)
    removed = table.to_unicode(data, sosi=SOSI.REMOVE_ALL)
    assert len(kept) == len(removed) + 2
    # In a locale whose code page has no double-byte characters only Unicode text holds them.
    monkeypatch.setenv("LANG", "C")
    assert kanji not in table.to_unicode(data, sosi=SOSI.REMOVE_ALL)
    assert kanji in table.to_unicode(data, sosi=SOSI.REMOVE_ALL, code_page=CCSID.UNICODE_TEXT)


def test_a_table_saved_and_loaded_converts_alike(ibm37, tmp_path):
    path = tmp_path / "037.tbl"
    ibm37.save(path)
    loaded = CCSID.load(path, 37)
    assert loaded.file_name == str(path) and loaded.ccsid == 37
    data = records(ibm37, ["SAVED AND LOADED \u00a2"])
    assert loaded.to_unicode(data) == ibm37.to_unicode(data)


def written(path, text):
    path.write_text(text)
    return path


@pytest.mark.parametrize("make, number", [
    (lambda tmp: CCSID.from_icu("no-such-converter"), 5),
    (lambda tmp: CCSID.load(tmp / "missing.tbl", 37), 53),
    (lambda tmp: CCSID.import_map(tmp / "missing.ucm", 37), 53),
    (lambda tmp: CCSID.import_map(written(tmp / "passwd", "root:x:0:0::/bin/sh\n"), 37), 5),
])
def test_failures_raise_the_library_error(tmp_path, make, number):
    with pytest.raises(svregistration.Error) as raised:
        make(tmp_path)
    error = raised.value
    assert error.number == number
    assert error.source and error.description
    assert str(error) == error.description
    assert isinstance(error, RuntimeError)


@pytest.fixture(scope="module")
def big_records(ibm37):
    return records(ibm37, ["       MOVE WS-AMOUNT TO OUT-AMOUNT. \u00a2"]) * 800_000  # 64 MB


def test_two_threads_convert_at_once(ibm37, big_records):
    # One table shared by two threads and a table of its own in a third.
    expected = ibm37.to_unicode(big_records[:80 * 1000]) * 1
    results = []

    def convert(table):
        results.append(table.to_unicode(big_records)[:len(expected)])

    threads = [threading.Thread(target=convert, args=(t,))
               for t in (ibm37, ibm37, CCSID.from_icu("ibm-37", 37))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * 3


def test_a_conversion_lets_other_threads_run(ibm37, big_records):
    # With the GIL released another thread's Python code runs while the conversion works; with
    # the GIL held it could run only at the edges, where the GIL is handed over.
    stamps, done = [], threading.Event()

    def tick():
        while not done.is_set():
            stamps.append(time.perf_counter())
            time.sleep(0.0002)

    ticker = threading.Thread(target=tick)
    ticker.start()
    spans = []
    for _ in range(3):
        start = time.perf_counter()
        text = ibm37.to_unicode(big_records)
        spans.append((start, time.perf_counter()))
        del text  # freeing it is not part of the span
    done.set()
    ticker.join()
    assert any(start + (end - start) / 4 < stamp < end - (end - start) / 4
               for start, end in spans for stamp in stamps)
