#!/usr/bin/env python3
"""The encoders of testdocs, decoded by qpdf and by zlib.

A mistake in an encoder would otherwise show only as a document that vellum
fails to decode, which looks like vellum's own fault. Every case is one
stream of one PDF that the library writes; qpdf decodes them all at once.
"""
import io
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from testdocs.encoders import (ascii85_encode, ascii_hex_encode, deflate_piece, lzw_encode,
                               run_length_encode, zlib_stream_of_pieces)
from testdocs.pdf import PdfWriter

QPDF_SUCCEEDED = 0
QPDF_SUCCEEDED_WITH_WARNINGS = 3

pick = random.Random(4711)
TEXT = b"BT /F1 12 Tf 72 712 Td (Hello, world) Tj ET\n" * 300
NOISE = pick.randbytes(6000)
RUNS = b"ab" * 100 + b"c" * 129 + b"d" * 2 + b"e" * 3 + b"f" * 128 + NOISE[:300] + b"g"

# LZW: every length around those where the table reaches 512, 1024 and 2048
# entries (with this seed, about 256, 771 and 1814 bytes of NOISE, 920 of
# TEXT) ends the data on either side of a widening, with either
# /EarlyChange; 6000 bytes of NOISE fill the table and clear it.
LZW_LENGTHS = {"noise": [0, 1, 2, *range(248, 264), *range(763, 779), *range(1806, 1822), 6000],
               "text": [*range(910, 936), len(TEXT)]}
CASES = [("lzw early_change=%d %s %d" % (early, name, length), b"/Filter/LZWDecode/DecodeParms<</EarlyChange %d>>"
          % early, data[:length], lzw_encode(data[:length], early))
         for early in (0, 1) for name, data in (("noise", NOISE), ("text", TEXT)) for length in LZW_LENGTHS[name]]
CASES += [("run length %s %r" % (name, form), b"/Filter/RunLengthDecode", data, run_length_encode(data, *form))
          for name, data in (("empty", b""), ("one byte", b"x"), ("runs", RUNS), ("noise", NOISE))
          for form in ((3, 128), (2, 1))]
CASES += [("ascii85 %s line %d" % (name, line), b"/Filter/ASCII85Decode", data, ascii85_encode(data, line))
          for name, data in (("empty", b""), ("zeros and tail", b"\0" * 8 + b"abc"), ("noise", NOISE[:999]))
          for line in (0, 76)]
CASES += [("ascii hex %s line %d" % (name, line), b"/Filter/ASCIIHexDecode", data, ascii_hex_encode(data, line))
          for name, data in (("empty", b""), ("noise", NOISE[:999])) for line in (0, 80)]


def decoded_by_qpdf(work, cases):
    """Label -> the bytes qpdf decodes from each case's stream."""
    out = io.BytesIO()
    pdf = PdfWriter(out)
    numbers = {}
    pages = pdf.reserve()
    for label, dictionary, _, encoded in cases:
        numbers[pdf.reserve()] = label
        pdf.stream(max(numbers), dictionary, encoded)
    pdf.object(pages, b"<</Type/Pages/Kids[]/Count 0>>")
    root = pdf.reserve()
    pdf.object(root, b"<</Type/Catalog/Pages %d 0 R>>" % pages)
    pdf.finish(root)
    path = os.path.join(work, "cases.pdf")
    with open(path, "wb") as file:
        file.write(out.getvalue())
    prefix = os.path.join(work, "s")
    found = subprocess.run(["qpdf", "--json", "--json-key=qpdf", "--json-stream-data=file",
                            "--json-stream-prefix=" + prefix, "--decode-level=specialized", path],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # qpdf warns of a stream it cannot decode and leaves it encoded; the case fails below.
    if found.returncode not in (QPDF_SUCCEEDED, QPDF_SUCCEEDED_WITH_WARNINGS):
        raise RuntimeError(found.stderr.decode(errors="replace"))
    decoded = {}
    for key, value in json.loads(found.stdout)["qpdf"][1].items():
        if not key.startswith("obj:") or "stream" not in value:
            continue
        stream = value["stream"]
        number = int(key[4:].split()[0])
        if "/Filter" in stream["dict"]:
            decoded[numbers[number]] = None  # qpdf could not decode it
        else:
            with open(stream["datafile"], "rb") as file:
                decoded[numbers[number]] = file.read()
    return decoded


class Encoders(unittest.TestCase):
    def test_qpdf_decodes_every_case_to_its_input(self):
        with tempfile.TemporaryDirectory() as work:
            decoded = decoded_by_qpdf(work, CASES)
        for label, _, data, _ in CASES:
            with self.subTest(label):
                self.assertEqual(decoded[label], data)

    def test_zlib_stream_of_pieces_inflates_to_the_pieces_in_order(self):
        pieces = [NOISE, TEXT, bytes(70000), b""]
        order = [2, 0, 1, 1, 3, 0, 2, 2]
        adler = zlib.adler32(b"")
        for i in order:
            adler = zlib.adler32(pieces[i], adler)
        stream = zlib_stream_of_pieces([deflate_piece(pieces[i], 6) for i in order], adler)
        self.assertEqual(zlib.decompress(b"".join(stream)), b"".join(pieces[i] for i in order))


if __name__ == "__main__":
    unittest.main()
