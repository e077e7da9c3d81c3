#!/usr/bin/env python3
"""The documents of the whole-job benchmark (scripts/bench), made from fixed
seeds; this program writes one of them:

  bench_documents.py NAME [--scale F] [--seed N]

It writes build/bench/NAME-scaleF-seedN-vVERSION.pdf, beside it the manifest
the floor programs read (PDF.manifest, a line "OFFSET LENGTH DECODED KIND" per
stream: where its data stands, its decoded size, and "flate" or "copy") and
a summary (PDF.json: entries, decoded bytes, file size, what qpdf --check
says, and for the big-entry documents the size and SHA-256 of their largest
entry). scripts/bench runs it in a child process when a document is missing,
so that the generator's memory never counts in the benchmark's figures.

The same NAME, scale and seed give the same bytes; a change to a recipe must
bump GENERATOR_VERSION, which is part of the file name. text-aes256 is the
exception: qpdf encrypts it with keys of its own choosing each time.
"""
import argparse
import hashlib
import json
import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from testdocs.encoders import (ascii85_encode, ascii_hex_encode, deflate_piece, lzw_encode,
                               run_length_encode, zlib_stream_of_pieces)
from testdocs.pdf import PdfWriter
from testdocs.tiff import only_strip

CACHE = os.path.join(ROOT, "build", "bench")
# Part of every cache key: a change to a generator must bump it.
GENERATOR_VERSION = 1
DEFAULT_SEED = 1
MB = 1_000_000
MIB = 1 << 20
GIB = 1 << 30
CHUNK = 1 << 20
ZLIB_LEVEL = 6

# ---- What each document holds at scale 1. --------------------------------

TEXT_STREAMS = 15_001
TEXT_DECODED = 491 * MB
TEXT_POOL = 8 * MB                  # distinct text lines that page contents are cut from
TEXT_SPREAD = (0.6, 1.4)            # a page's decoded size against the mean

JPEG_IMAGES = 43
JPEG_BASES = 4                      # distinct photos, repeated (ImageMagick is slow)
JPEG_SIZE = (3000, 2000)
JPEG_QUALITY = 92
RGB_IMAGES = 22
RGB_SIZE = (1600, 1200)
RGB_NOISE = 0.31                    # share of each row that is noise: sets the Flate ratio near 3
RGB_NOISE_POOL = 16 * MIB
FAX_PAGES = 270
FAX_BASES = 8
FAX_SIZE = (2480, 3508)             # A4 at 300 dpi

# What vellum writes in front of CCITT data to make it a TIFF file.
TIFF_HEADER_SIZE = 110

SMALL_STREAMS = 200_000
SMALL_PAYLOAD = (30, 220)           # decoded bytes of one small stream
SMALL_IMAGE_BASES = 16

BIG_DECODED = 122 * MB

ZERO_STREAMS = 500
ZERO_STREAM_SIZE = 4 * MIB

EMPTY_STREAMS = 1_000_000           # the entries document: a table of a million rows

SCAN_OBJECTS = 85_000
SCAN_PAYLOAD = (60, 150)

EIGHT_STREAMS = 8
EIGHT_STREAM_SIZE = 256 * MIB       # zeros, each

FAX_STREAMS = 16
FAX_ZEROS = 16 * MIB                # one-dimensional fax data of zeros, each: fill that never ends

PIECE_SIZE = 1 * MIB                # the decoded size of one deflate piece of huge and past4g
HUGE_DECODED = 2 * GIB
HUGE_PIECES = 16                    # distinct text pieces, each compressed once
PAST4G_DECODED = 4 * GIB + 512 * MIB
PAST4G_PIECES = 7                   # taken in turn: 4 GiB is no whole number of turns
PAST4G_PERIOD = 997                 # bytes of random data that each piece repeats

PAGES = 25_000                      # each a page object and a small content stream: 50,000 objects
PAGE_CONTENT = (80, 200)            # decoded bytes of one page's content

# ---- The PDF writer with the manifest for the floor program. ----------------


class BenchPdf:
    """A PdfWriter into PATH that also writes PATH.manifest; both appear under
    their names only when finished."""

    def __init__(self, path):
        self.path = path
        self.file = open(path + ".part", "wb")
        self.manifest = open(path + ".manifest.part", "w")
        self.pdf = PdfWriter(self.file)

    def reserve(self):
        return self.pdf.reserve()

    def object(self, number, body):
        self.pdf.object(number, body)

    def stream(self, number, dictionary, data, decoded_size, kind):
        """A stream object (data as PdfWriter.stream takes it); decoded_size is
        what vellum extracts, kind how the floor program makes it."""
        start = self.pdf.stream(number, dictionary, data)
        length = sum(len(piece) for piece in data) if isinstance(data, list) else len(data)
        self.manifest.write("%d %d %d %s\n" % (start, length, decoded_size, kind))

    def unended_stream(self, number, dictionary, data):
        self.pdf.unended_stream(number, dictionary, data)

    def finish(self, root):
        self.pdf.finish(root)
        self.file.close()
        self.manifest.close()
        os.replace(self.path + ".part", self.path)
        os.replace(self.path + ".manifest.part", self.path + ".manifest")


def pages_tree(pdf, pages_number, page_numbers):
    kids = b" ".join(b"%d 0 R" % n for n in page_numbers)
    pdf.object(pages_number, b"<</Type/Pages/Kids[%s]/Count %d>>" % (kids, len(page_numbers)))


def catalog(pdf, pages_number):
    number = pdf.reserve()
    pdf.object(number, b"<</Type/Catalog/Pages %d 0 R>>" % pages_number)
    return number


def page(pdf, number, pages_number, content_number, resources):
    pdf.object(number, b"<</Type/Page/Parent %d 0 R/MediaBox[0 0 612 792]/Resources %s/Contents %d 0 R>>"
               % (pages_number, resources, content_number))


# ---- Content: text lines, RGB rows, JPEG photos and G4 pages. ---------------

LETTERS = "etaoinshrdlcumwfgypbvkjxqz"
LETTER_WEIGHTS = [12.7, 9.1, 8.2, 7.5, 7.0, 6.7, 6.3, 6.1, 6.0, 4.3, 4.0, 2.8, 2.8, 2.4, 2.4, 2.2, 2.0,
                  2.0, 1.9, 1.5, 1.0, 0.8, 0.15, 0.15, 0.1, 0.07]
VOCABULARY = 5000
LEADINGS = (11.955, 10.909, 13.549)


def text_pool(rng, size):
    """Lines of a page's text operators: Zipf-distributed made-up words, kerned as TeX does."""
    words = []
    for _ in range(VOCABULARY):
        length = max(1, min(14, int(rng.gauss(5, 2.5))))
        words.append("".join(rng.choices(LETTERS, LETTER_WEIGHTS, k=length)))
    cumulative, total = [], 0.0
    for rank in range(VOCABULARY):
        total += 1.0 / (rank + 1)
        cumulative.append(total)
    lines, produced = [], 0
    while produced < size:
        parts = []
        for word in rng.choices(words, cum_weights=cumulative, k=rng.randint(8, 14)):
            if len(word) > 3 and rng.random() < 0.5:
                cut = rng.randint(1, len(word) - 1)
                parts.append("(%s)%d(%s)" % (word[:cut], rng.randint(-60, 90), word[cut:]))
            else:
                parts.append("(%s)" % word)
        space = "-%d" % rng.randint(250, 420)
        line = "0 -%.3f Td\n[%s]TJ\n" % (rng.choice(LEADINGS), space.join(parts))
        lines.append(line)
        produced += len(line)
    return "".join(lines).encode()


def cut_text(rng, pool, size, whole_lines=False):
    """size bytes of text from a random line of the pool, or with whole_lines a little more, up to a line end."""
    start = pool.find(b"\n", rng.randrange(max(1, len(pool) - 2 * size))) + 1
    if not whole_lines:
        return pool[start:start + size]
    stop = pool.find(b"\n", min(len(pool) - 1, start + size)) + 1
    return pool[start:stop or len(pool)]


def page_content(rng, pool, size):
    header = b"BT\n/F1 9.9626 Tf\n72 %d Td\n" % rng.randint(700, 740)
    return header + cut_text(rng, pool, size - len(header) - 3, whole_lines=True) + b"ET\n"


def rgb_image(rng, noise, width, height):
    """Rows of two flat colours around a stretch of noise, as a screenshot with photos."""
    row_bytes = width * 3
    rows = []
    for _ in range(height):
        stretch = int(row_bytes * RGB_NOISE * rng.uniform(0.5, 1.5)) // 3 * 3
        left = rng.randrange(0, row_bytes - stretch + 1) // 3 * 3
        start = rng.randrange(len(noise) - stretch)
        rows.append(rng.randbytes(3) * (left // 3) + noise[start:start + stretch]
                    + rng.randbytes(3) * ((row_bytes - left - stretch) // 3))
    return b"".join(rows)


def imagemagick(arguments):
    subprocess.run(["convert", *arguments], check=True, stdout=subprocess.DEVNULL)


def jpeg_photo(work, seed, width, height, quality, gray=False):
    path = os.path.join(work, "photo-%d-%dx%d.jpg" % (seed, width, height))
    colour = ["-colorspace", "gray"] if gray else []
    imagemagick(["-seed", str(seed), "-size", "%dx%d" % (width, height), "plasma:fractal", "-blur", "0x1",
                 *colour, "-strip", "-quality", str(quality), path])
    with open(path, "rb") as file:
        return file.read()


def glyph_set(rng, count):
    """Bitmaps of 16 x 30 pixels made of a few strokes, letter-like enough for G4."""
    glyphs = []
    for _ in range(count):
        strokes = []
        for _ in range(rng.randint(2, 4)):
            if rng.random() < 0.5:
                strokes.append(("v", rng.randint(1, 11), rng.randint(2, 4), rng.randint(0, 8), rng.randint(18, 26)))
            else:
                strokes.append(("h", rng.randint(4, 24), rng.randint(2, 4), rng.randint(1, 4), rng.randint(9, 14)))
        rows = []
        for y in range(30):
            bits = 0
            for kind, a, thickness, b, c in strokes:
                if kind == "v" and b <= y < c:
                    xs = range(a, min(16, a + thickness))
                elif kind == "h" and a <= y < a + thickness:
                    xs = range(b, c)
                else:
                    continue
                for x in xs:
                    bits |= 1 << (15 - x)
            rows.append(struct.pack(">H", bits))
        glyphs.append(rows)
    return glyphs


def bilevel_page(rng, glyphs, width, height):
    """A PBM of lines of glyphs on a white page, as a scanned text page."""
    row_bytes = width // 8
    line_height, gap = 30, 14
    margin = max(1, row_bytes // 12)  # in bytes across, in eight times as many rows down
    glyphs_per_line = (row_bytes - 2 * margin) // 2
    blank = [b"\0\0"] * line_height
    out = bytearray(bytes(row_bytes) * margin * 8)
    y = margin * 8
    while y + line_height + gap < height - margin * 8:
        line = [blank if rng.random() < 0.17 else rng.choice(glyphs) for _ in range(glyphs_per_line)]
        tail = bytes(row_bytes - margin - 2 * glyphs_per_line)
        for r in range(line_height):
            out += bytes(margin) + b"".join(g[r] for g in line) + tail
        out += bytes(row_bytes) * gap
        y += line_height + gap
    out += bytes(row_bytes * (height - y))
    return b"P4\n%d %d\n" % (width, height) + bytes(out)


def g4_strip(work, name, pbm):
    """The G4 data of a one-strip TIFF that ImageMagick makes of the PBM."""
    pbm_path = os.path.join(work, name + ".pbm")
    tiff_path = os.path.join(work, name + ".tif")
    with open(pbm_path, "wb") as file:
        file.write(pbm)
    height = int(pbm.split(b"\n")[1].split()[1])
    imagemagick([pbm_path, "-compress", "Group4", "-define", "tiff:rows-per-strip=%d" % height, tiff_path])
    with open(tiff_path, "rb") as file:
        return only_strip(file.read())


# ---- The documents. --------------------------------------------------------


def scaled(count, scale):
    return max(1, round(count * scale))


def make_text(path, scale, seed, work):
    rng = random.Random(seed)
    streams = scaled(TEXT_STREAMS, scale)
    mean = TEXT_DECODED // TEXT_STREAMS
    pool = text_pool(rng, min(TEXT_POOL, streams * mean * 2))
    pdf = BenchPdf(path)
    pages_number, font = pdf.reserve(), pdf.reserve()
    pdf.object(font, b"<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
    resources = b"<</Font<</F1 %d 0 R>>>>" % font
    pages = []
    for _ in range(streams):
        content = page_content(rng, pool, int(mean * rng.uniform(*TEXT_SPREAD)))
        content_number, page_number = pdf.reserve(), pdf.reserve()
        pdf.stream(content_number, b"/Filter/FlateDecode", zlib.compress(content, ZLIB_LEVEL), len(content), "flate")
        page(pdf, page_number, pages_number, content_number, resources)
        pages.append(page_number)
    pages_tree(pdf, pages_number, pages)
    pdf.finish(catalog(pdf, pages_number))


def image_page(pdf, pages_number, pages, image_number, width, height):
    content = b"q %d 0 0 %d 0 0 cm /Im0 Do Q\n" % (min(width, 612), min(height, 792))
    content_number, page_number = pdf.reserve(), pdf.reserve()
    pdf.stream(content_number, b"", content, len(content), "copy")
    page(pdf, page_number, pages_number, content_number, b"<</XObject<</Im0 %d 0 R>>>>" % image_number)
    pages.append(page_number)


def make_images(path, scale, seed, work):
    rng = random.Random(seed)
    pdf = BenchPdf(path)
    pages_number = pdf.reserve()
    pages = []
    jpeg_count = scaled(JPEG_IMAGES, scale)
    photos = [jpeg_photo(work, seed * 100 + i, *JPEG_SIZE, JPEG_QUALITY) for i in range(min(JPEG_BASES, jpeg_count))]
    for i in range(jpeg_count):
        number = pdf.reserve()
        photo = photos[i % len(photos)]
        pdf.stream(number, b"/Type/XObject/Subtype/Image/Width %d/Height %d/ColorSpace/DeviceRGB/BitsPerComponent 8"
                   b"/Filter/DCTDecode" % JPEG_SIZE, photo, len(photo), "copy")
        image_page(pdf, pages_number, pages, number, *JPEG_SIZE)
    noise = rng.randbytes(RGB_NOISE_POOL)
    for _ in range(scaled(RGB_IMAGES, scale)):
        number = pdf.reserve()
        pixels = rgb_image(rng, noise, *RGB_SIZE)
        pdf.stream(number, b"/Type/XObject/Subtype/Image/Width %d/Height %d/ColorSpace/DeviceRGB/BitsPerComponent 8"
                   b"/Filter/FlateDecode" % RGB_SIZE, zlib.compress(pixels, ZLIB_LEVEL), len(pixels), "flate")
        image_page(pdf, pages_number, pages, number, *RGB_SIZE)
    del noise
    fax_count = scaled(FAX_PAGES, scale)
    glyphs = glyph_set(rng, 60)
    strips = [g4_strip(work, "page%d" % i, bilevel_page(rng, glyphs, *FAX_SIZE)) for i in range(min(FAX_BASES, fax_count))]
    for i in range(fax_count):
        number = pdf.reserve()
        strip = strips[i % len(strips)]
        pdf.stream(number, b"/Type/XObject/Subtype/Image/Width %d/Height %d/ColorSpace/DeviceGray/BitsPerComponent 1"
                   b"/Filter/CCITTFaxDecode/DecodeParms<</K -1/Columns %d/Rows %d/BlackIs1 true>>"
                   % (FAX_SIZE + FAX_SIZE), strip, len(strip) + TIFF_HEADER_SIZE, "copy")
        image_page(pdf, pages_number, pages, number, *FAX_SIZE)
    pages_tree(pdf, pages_number, pages)
    pdf.finish(catalog(pdf, pages_number))

XMP_TEMPLATE = (b'<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
                b'<rdf:Description rdf:about="" dc:title="%s"/></rdf:RDF></x:xmpmeta>\n')


def bitmap_rows(rng, size):
    """Bytes with runs, as image rows that RunLength suits."""
    out = bytearray()
    while len(out) < size:
        out += bytes([rng.randrange(256)]) * rng.choice((1, 1, 2, 5, 9, 17, 40))
    return bytes(out[:size])


def make_small(path, scale, seed, work):
    rng = random.Random(seed)
    streams = scaled(SMALL_STREAMS, scale)
    pool = text_pool(rng, min(TEXT_POOL, streams * SMALL_PAYLOAD[1]))
    jpegs = [jpeg_photo(work, seed * 100 + i, 8 + i % 4 * 4, 8 + i // 4 * 4, 75, gray=True)
             for i in range(SMALL_IMAGE_BASES)]
    glyphs = glyph_set(rng, 20)
    fax_sizes = [(64 + 64 * (i % 4), 64 + 16 * (i // 4)) for i in range(SMALL_IMAGE_BASES)]
    faxes = [(g4_strip(work, "tiny%d" % i, bilevel_page(rng, glyphs, *size)), *size) for i, size in enumerate(fax_sizes)]

    def text():
        return cut_text(rng, pool, rng.randint(*SMALL_PAYLOAD))

    def flate_run_length():
        data = bitmap_rows(rng, rng.randint(*SMALL_PAYLOAD))
        return b"/Filter[/FlateDecode/RunLengthDecode]", zlib.compress(run_length_encode(data), ZLIB_LEVEL), len(data), "copy"

    def run_length():
        data = bitmap_rows(rng, rng.randint(*SMALL_PAYLOAD))
        return b"/Filter/RunLengthDecode", run_length_encode(data), len(data), "copy"

    def jpeg():
        data = rng.choice(jpegs)
        return b"/Type/XObject/Subtype/Image/Filter/DCTDecode", data, len(data), "copy"

    def fax():
        data, width, height = rng.choice(faxes)
        return (b"/Type/XObject/Subtype/Image/Filter/CCITTFaxDecode/DecodeParms<</K -1/Columns %d/Rows %d>>"
                % (width, height), data, len(data) + TIFF_HEADER_SIZE, "copy")

    def xml():
        data = XMP_TEMPLATE % text().replace(b"(", b"").replace(b")", b"").replace(b"\n", b" ")
        return b"/Type/Metadata/Subtype/XML", data, len(data), "copy"

    def encoded(filters, encode, kind="copy"):
        def make():
            data = text()
            return filters, encode(data), len(data), kind
        return make

    kinds = [
        encoded(b"/Filter/FlateDecode", lambda d: zlib.compress(d, ZLIB_LEVEL), "flate"),
        encoded(b"/Filter/LZWDecode", lzw_encode),
        encoded(b"/Filter/ASCII85Decode", ascii85_encode),
        encoded(b"/Filter/ASCIIHexDecode", ascii_hex_encode),
        run_length, jpeg, fax, xml,
        encoded(b"/Filter[/ASCII85Decode/FlateDecode]", lambda d: ascii85_encode(zlib.compress(d, ZLIB_LEVEL))),
        encoded(b"/Filter[/ASCIIHexDecode/LZWDecode]", lambda d: ascii_hex_encode(lzw_encode(d))),
        flate_run_length,
    ]
    pdf = BenchPdf(path)
    pages_number = pdf.reserve()
    for _ in range(streams):
        dictionary, data, decoded, kind = rng.choice(kinds)()
        pdf.stream(pdf.reserve(), dictionary, data, decoded, kind)
    blank = b"q Q\n"
    content_number, page_number = pdf.reserve(), pdf.reserve()
    pdf.stream(content_number, b"", blank, len(blank), "copy")
    page(pdf, page_number, pages_number, content_number, b"<<>>")
    pages_tree(pdf, pages_number, [page_number])
    pdf.finish(catalog(pdf, pages_number))


def single_page(pdf):
    pages_number = pdf.reserve()
    content = b"q Q\n"
    content_number, page_number = pdf.reserve(), pdf.reserve()
    pdf.stream(content_number, b"", content, len(content), "copy")
    page(pdf, page_number, pages_number, content_number, b"<<>>")
    pages_tree(pdf, pages_number, [page_number])
    return pages_number


def make_big(path, scale, seed, work):
    rng = random.Random(seed)
    size = scaled(BIG_DECODED, scale)
    pool = text_pool(rng, min(TEXT_POOL, size))
    compressor = zlib.compressobj(ZLIB_LEVEL)
    packed, produced = [], 0
    while produced < size:
        piece = cut_text(rng, pool, min(CHUNK, size - produced))
        packed.append(compressor.compress(piece))
        produced += len(piece)
    packed.append(compressor.flush())
    pdf = BenchPdf(path)
    pdf.stream(pdf.reserve(), b"/Type/EmbeddedFile/Filter/FlateDecode", b"".join(packed), size, "flate")
    pdf.finish(catalog(pdf, single_page(pdf)))


def make_zeros(path, scale, seed, work):
    packed = zlib.compress(bytes(ZERO_STREAM_SIZE), ZLIB_LEVEL)
    pdf = BenchPdf(path)
    for _ in range(scaled(ZERO_STREAMS, scale)):
        pdf.stream(pdf.reserve(), b"/Filter/FlateDecode", packed, ZERO_STREAM_SIZE, "flate")
    pdf.finish(catalog(pdf, single_page(pdf)))


def make_scan(path, scale, seed, work):
    rng = random.Random(seed)
    objects = scaled(SCAN_OBJECTS, scale)
    pool = text_pool(rng, min(TEXT_POOL, objects * SCAN_PAYLOAD[1]))
    pdf = BenchPdf(path)
    # An empty page, so that "endstream" appears nowhere in the file.
    pages_number, page_number = pdf.reserve(), pdf.reserve()
    pdf.object(page_number, b"<</Type/Page/Parent %d 0 R/MediaBox[0 0 612 792]>>" % pages_number)
    pages_tree(pdf, pages_number, [page_number])
    root = catalog(pdf, pages_number)
    for _ in range(objects):
        pdf.unended_stream(pdf.reserve(), b"/Type/XObject/Subtype/Form/BBox[0 0 612 792]",
                           cut_text(rng, pool, rng.randint(*SCAN_PAYLOAD)))
    pdf.finish(root)




def make_entries(path, scale, seed, work):
    """A million empty streams: what the table of entries costs, with no
    decoded byte to hold."""
    pdf = BenchPdf(path)
    for _ in range(scaled(EMPTY_STREAMS, scale)):
        pdf.stream(pdf.reserve(), b"", b"", 0, "copy")
    pdf.finish(catalog(pdf, single_page(pdf)))


def make_eight(path, scale, seed, work):
    """Eight streams of zeros, compressed once: far more decoded bytes than
    the memory budget, in a file of a few MB."""
    size = scaled(EIGHT_STREAM_SIZE, scale)
    compressor = zlib.compressobj(ZLIB_LEVEL)
    zeros = bytes(CHUNK)
    packed = [compressor.compress(zeros[:min(CHUNK, size - start)]) for start in range(0, size, CHUNK)]
    packed.append(compressor.flush())
    data = b"".join(packed)
    pdf = BenchPdf(path)
    for _ in range(EIGHT_STREAMS):
        pdf.stream(pdf.reserve(), b"/Filter/FlateDecode", data, size, "flate")
    pdf.finish(catalog(pdf, single_page(pdf)))
    return {"zeros_size": size}


def make_fax(path, scale, seed, work):
    """Streams of one-dimensional fax data that is all zeros, behind Flate:
    every fax step surveys fill that never ends, in a file of a few hundred
    KB. Zeros hold no row, so each comes out as stored behind a TIFF header."""
    size = scaled(FAX_ZEROS, scale)
    packed = zlib.compress(bytes(size), ZLIB_LEVEL)
    pdf = BenchPdf(path)
    for _ in range(FAX_STREAMS):
        pdf.stream(pdf.reserve(), b"/Filter[/FlateDecode/CCITTFaxDecode]/DecodeParms[null<</K 0/Columns 1728>>]",
                   packed, TIFF_HEADER_SIZE + size, "fax")
    pdf.finish(catalog(pdf, single_page(pdf)))


def one_stream_of_pieces(path, pieces, order):
    """A document of one Flate stream that decodes to the pieces in the given
    order, each piece compressed once; returns the summary's record of it."""
    packed = [deflate_piece(piece, ZLIB_LEVEL) for piece in pieces]
    adler, digest, size = zlib.adler32(b""), hashlib.sha256(), 0
    for i in order:
        adler = zlib.adler32(pieces[i], adler)
        digest.update(pieces[i])
        size += len(pieces[i])
    pdf = BenchPdf(path)
    pdf.stream(pdf.reserve(), b"/Type/EmbeddedFile/Filter/FlateDecode",
               zlib_stream_of_pieces([packed[i] for i in order], adler), size, "flate")
    pdf.finish(catalog(pdf, single_page(pdf)))
    return {"largest": {"size": size, "sha256": digest.hexdigest()}}


def make_huge(path, scale, seed, work):
    """One stream of text pieces in a random order."""
    rng = random.Random(seed)
    count = scaled(HUGE_DECODED // PIECE_SIZE, scale)
    pool = text_pool(rng, TEXT_POOL)
    pieces = [cut_text(rng, pool, PIECE_SIZE) for _ in range(HUGE_PIECES)]
    return one_stream_of_pieces(path, pieces, [rng.randrange(HUGE_PIECES) for _ in range(count)])


def make_past4g(path, scale, seed, work):
    """One stream of pieces of repeated random bytes, taken in turn, so that
    the data past 4 GiB differs from the data at its start."""
    rng = random.Random(seed)
    count = scaled(PAST4G_DECODED // PIECE_SIZE, scale)
    pieces = [(rng.randbytes(PAST4G_PERIOD) * (PIECE_SIZE // PAST4G_PERIOD + 1))[:PIECE_SIZE]
              for _ in range(PAST4G_PIECES)]
    return one_stream_of_pieces(path, pieces, [i % PAST4G_PIECES for i in range(count)])


def stream_objects(path):
    """How many stream objects qpdf finds in the file."""
    found = subprocess.run(["qpdf", "--json", "--json-key=qpdf", path], stdout=subprocess.PIPE, check=True)
    return sum(1 for key, value in json.loads(found.stdout)["qpdf"][1].items()
               if key.startswith("obj:") and "stream" in value)


def make_text_aes256(path, scale, seed, work):
    """The text document encrypted by qpdf with AES-256 and an empty user password."""
    source = document_path(DERIVED["text-aes256"], scale, seed)
    subprocess.run(["qpdf", "--encrypt", "", "", "256", "--", source, path + ".part"], check=True)
    # qpdf writes only the objects it reaches from the trailer; every stream of the text document is a page's.
    if stream_objects(path + ".part") != stream_objects(source):
        sys.exit("%s: qpdf's encrypted copy has other streams than %s" % (path, source))
    os.replace(path + ".part", path)


def make_pages(path, scale, seed, work):
    """Many small objects: a page and its content stream, over and over."""
    rng = random.Random(seed)
    count = scaled(PAGES, scale)
    pool = text_pool(rng, min(TEXT_POOL, count * PAGE_CONTENT[1]))
    pdf = BenchPdf(path)
    pages_number = pdf.reserve()
    pages = []
    for _ in range(count):
        content = page_content(rng, pool, rng.randint(*PAGE_CONTENT))
        content_number, page_number = pdf.reserve(), pdf.reserve()
        pdf.stream(content_number, b"/Filter/FlateDecode", zlib.compress(content, ZLIB_LEVEL), len(content), "flate")
        page(pdf, page_number, pages_number, content_number, b"<<>>")
        pages.append(page_number)
    pages_tree(pdf, pages_number, pages)
    pdf.finish(catalog(pdf, pages_number))


def encrypt_pages(path, scale, seed, extra_arguments):
    """The pages document encrypted by qpdf with AES-256 and an empty user password."""
    source = document_path("pages", scale, seed)
    subprocess.run(["qpdf", *extra_arguments, "--encrypt", "", "", "256", "--", source, path + ".part"], check=True)
    os.replace(path + ".part", path)


def make_pages_aes256(path, scale, seed, work):
    encrypt_pages(path, scale, seed, [])


def make_linearized(path, scale, seed, work):
    """As pages-aes256, linearized: its encryption dictionary stands near the
    start and its last trailer names neither the catalog nor the encryption."""
    encrypt_pages(path, scale, seed, ["--linearize"])


GENERATORS = {"text": make_text, "images": make_images, "small": make_small, "big": make_big,
              "zeros": make_zeros, "scan": make_scan, "entries": make_entries, "eight": make_eight, "huge": make_huge,
              "past4g": make_past4g, "text-aes256": make_text_aes256, "pages": make_pages,
              "pages-aes256": make_pages_aes256, "linearized": make_linearized,
              "fax": make_fax}
# Documents made from another document of the same scale and seed: their
# entries are the other's, and they have no manifest.
DERIVED = {"text-aes256": "text", "pages-aes256": "pages", "linearized": "pages"}


def document_path(name, scale, seed):
    return os.path.join(CACHE, "%s-scale%g-seed%d-v%d.pdf" % (name, scale, seed, GENERATOR_VERSION))


def read_summary(path):
    with open(path + ".json") as file:
        return json.load(file)


def generate(name, scale, seed):
    """Writes the document, its manifest and its summary."""
    path = document_path(name, scale, seed)
    source = DERIVED.get(name)
    if source and not os.path.exists(document_path(source, scale, seed) + ".json"):
        generate(source, scale, seed)
    with tempfile.TemporaryDirectory(prefix="vellum-bench-gen-") as work:
        extra = GENERATORS[name](path, scale, seed, work) or {}
    check = subprocess.run(["qpdf", "--check", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if source:
        source_summary = read_summary(document_path(source, scale, seed))
        entries, decoded = source_summary["entries"], source_summary["decoded"]
    else:
        entries = decoded = 0
        with open(path + ".manifest") as manifest:
            for line in manifest:
                entries += 1
                decoded += int(line.split()[2])
    qpdf_check = {0: "ok", 3: "warnings"}.get(check.returncode, "errors")
    first_problem = next((line for line in check.stdout.splitlines() if "WARNING" in line or "ERROR" in line
                          or "error" in line), "")
    summary = {"entries": entries, "decoded": decoded, "file": os.path.getsize(path), "qpdf_check": qpdf_check,
               "qpdf_check_first": first_problem[:200], **extra}
    with open(path + ".json.part", "w") as file:
        json.dump(summary, file)
    os.replace(path + ".json.part", path + ".json")


def main():
    parser = argparse.ArgumentParser(description="Writes one document of the whole-job benchmark into build/bench/.")
    parser.add_argument("name", choices=list(GENERATORS))
    parser.add_argument("--scale", type=float, default=1.0, help="shrinks the document, e.g. 0.1")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    args = parser.parse_args()
    os.makedirs(CACHE, exist_ok=True)
    generate(args.name, args.scale, args.seed)


if __name__ == "__main__":
    main()
