#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz corpora (tests/fuzz/corpus/).

Seeds are small, valid or nearly valid inputs for each target, made with
zlib and the encoders of tests/support/testdocs; the fuzzer mutates them from
there. Run again after changing it; files found by fuzzing are kept beside
these. Named targets (make_seeds.py security) get theirs alone."""
import io
import os
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
from testdocs.encoders import ascii85_encode, ascii_hex_encode, lzw_encode, run_length_encode
from testdocs.pdf import PdfWriter


TEXT = b"BT /F1 12 Tf 72 712 Td (Hello, world) Tj ET\n" * 8
JPEG = bytes.fromhex("FFD8FFE000104A46494600010100000100010000FFD9")


def pdf(objects):
    """A PDF of the given (number, dictionary, data) stream objects, padded
    to well over the minimum size with a comment line, without a
    cross-reference table."""
    out = io.BytesIO()
    writer = PdfWriter(out)
    writer.object(1, b"<</Type /Catalog /Pages 2 0 R>>")
    for number, dictionary, data in objects:
        writer.stream(number, dictionary + b" ", data)
    writer.write(b"%" + b"x" * 700 + b"\n")
    writer.write(b"trailer\n<</Root 1 0 R>>\n%%EOF\n")
    return out.getvalue()


def ascii85(data):
    return ascii85_encode(data, line_length=0)


def run_length(data):
    """Every byte outside a run a literal of its own: the plainest form."""
    return run_length_encode(data, shortest_run=2, longest_literal=1)


def encrypted(plain, user, bits, *options, qpdf_options=()):
    """`plain` encrypted by qpdf with this user password, the owner password
    "owner" and the given options (qpdf is a tool, not a small encoder, but
    the ciphers are not worth writing here)."""
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "plain.pdf")
        out = os.path.join(work, "encrypted.pdf")
        with open(source, "wb") as f:
            f.write(plain)
        subprocess.run(["qpdf", "--allow-weak-crypto", *qpdf_options, source, "--encrypt", user, "owner", bits, *options,
                        "--", out], check=True)
        with open(out, "rb") as f:
            return f.read()


def pdf_with_page(objects):
    """A PDF of a catalog, a page whose contents are the first stream, and the
    given streams, with a cross-reference table, as qpdf needs to read it."""
    body = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}

    def add(number, text):
        offsets[number] = len(body)
        body.extend(b"%d 0 obj\n" % number + text + b"\nendobj\n")

    add(1, b"<</Type /Catalog /Pages 2 0 R /Metadata 5 0 R>>")
    add(2, b"<</Type /Pages /Kids [3 0 R] /Count 1>>")
    add(3, b"<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R>>")
    for number, dictionary, data in objects:
        add(number, b"<<%s /Length %d>>\nstream\n" % (dictionary, len(data)) + data + b"\nendstream")
    body += b"%" + b"x" * 700 + b"\n"
    table = len(body)
    body += b"xref\n0 %d\n0000000000 65535 f \n" % (len(offsets) + 1)
    for number in sorted(offsets):
        body += b"%010d 00000 n \n" % offsets[number]
    body += b"trailer\n<</Size %d /Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (len(offsets) + 1, table)
    return bytes(body)


def pdf_syntax():
    """Objects whose dictionaries and lengths take PDF's own syntax to read:
    an empty line and a comment before "<<" (as pdftk writes), strings and
    hex strings holding brackets, a comment holding ">>", a dictionary that
    never closes (as GraphicsMagick writes), and indirect lengths whose
    objects stand before and after their streams."""
    holding_keyword = b"ab\nendstream\ncd"
    objects = [
        b"2 0 obj\n\n% made by hand\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n",
        b"3 0 obj\n<</Dest (Rfn.<<.Rdash.) /T (operator<< \\) Next >>)>>\nendobj\n",
        b"4 0 obj\n<</Length 3/Foo <ABCD>>>\nstream\nxyz\nendstream\nendobj\n",
        b"5 0 obj\n<</Length 3 % >> not yet\n>>\nstream\nxyz\nendstream\nendobj\n",
        b"6 0 obj\n<<\n\nendstream\nendobj\n",
        b"7 0 obj\n<</Length 8 0 R>>\nstream\n" + holding_keyword + b"\nendstream\nendobj\n",
        b"8 0 obj\n%d\nendobj\n" % len(holding_keyword),
        b"9 0 obj 4 endobj\n",
        b"10 0 obj\n<</Length 9 0 R/Filter/AHx>>\nstream\n41 \n\nendstream\nendobj\n",
    ]
    return b"%PDF-1.7\n" + b"".join(objects) + b"%" + b"x" * 700 + b"\n%%EOF\n"
# The targets whose seeds are written: every one, or those named on the
# command line (qpdf draws new keys each run, so rewriting a target's
# encrypted seeds changes their bytes).
chosen = set(sys.argv[1:])


def write(target, name, data):
    if chosen and target not in chosen:
        return
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    write("decode_flate", "text", zlib.compress(TEXT))
    write("decode_flate", "expands", zlib.compress(b"\0" * 100000, 9))
    write("decode_flate", "cut_short", zlib.compress(TEXT)[:40])
    write("decode_flate", "trailing_bytes", zlib.compress(TEXT) + b"\r\nendstream")
    write("decode_flate", "stored_block", zlib.compress(TEXT, 0))

    write("decode_ascii85", "text", ascii85(TEXT))
    write("decode_ascii85", "zeros_and_tail", ascii85(b"\0\0\0\0abc"))
    write("decode_ascii85", "spaces", b"<~ 87cURD]i,\"Ebo80 ~>")
    write("decode_ascii_hex", "text", ascii_hex_encode(TEXT, line_length=0))
    write("decode_ascii_hex", "odd_digit", b"48 65 6c\n6C 6>")
    write("decode_run_length", "text", run_length(b"aaaaaaaabcdefgggggggggg" + TEXT))
    write("decode_run_length", "cut_repeat", b"\x02abc\xfd")

    write("decode_lzw", "early_change", b"\x01" + lzw_encode(TEXT * 4, 1))
    write("decode_lzw", "late_change", b"\x00" + lzw_encode(TEXT * 4, 0))
    write("decode_lzw", "table_reset", b"\x01" + lzw_encode(bytes(range(256)) * 40, 1))

    fax = bytes(range(0, 256, 3)) * 4
    write("wrap_ccitt_fax", "group4", b"<</K -1 /Columns 1728 /Rows 20 /BlackIs1 true>>\0" + fax)
    write("wrap_ccitt_fax", "group3", b"<</DecodeParms<</K 0/Columns 800/EncodedByteAlign true>>>>\0" + fax)
    write("wrap_ccitt_fax", "image_mask", b"<</ImageMask true/Width 8/Height 8>>\0" + fax)

    # Long fax data as pieces (shift, count, length, bytes): repeated
    # (count + 1) << shift times.
    def piece(data, shift=0, count=0):
        return bytes([shift, count, len(data)]) + data

    def bits(text):
        text = text.replace(" ", "")
        text += "0" * (-len(text) % 8)
        return int(text, 2).to_bytes(len(text) // 8, "big") if text else b""

    row = "1000 11 1000"                                  # 8 pixels: white 3, black 2, white 3
    zero_runs = bits("00110101 0000110111" * 4)           # white 0 and black 0, four times: 9 bytes
    page_row = bits("010011011 00110101" * 8)             # eight white rows of 1728 pixels: 17 bytes
    one_d = b"<</DecodeParms<</K 0/Columns 8>>>>\0"
    write("wrap_ccitt_fax_long", "long_row",
          one_d + piece(zero_runs, 12, 60) + piece(bits(row + " " + row)))
    write("wrap_ccitt_fax_long", "long_fill",
          one_d + piece(bits(row)) + piece(b"\0", 16, 255) + piece(bits("0000001 " + row)))
    write("wrap_ccitt_fax_long", "end_of_page_after_fill",
          one_d + piece(bits(row)) + piece(b"\0", 10, 255) + piece(b"\x01") + piece(b"\0", 10, 255)
          + piece(b"\x01\xff"))
    write("wrap_ccitt_fax_long", "fill_to_the_end", one_d + piece(bits(row)) + piece(b"\0", 8, 255))
    write("wrap_ccitt_fax_long", "many_rows",
          b"<</DecodeParms<</K 0/Columns 1728/Rows 10000>>>>\0" + piece(page_row, 7, 9))
    write("wrap_ccitt_fax_long", "byte_aligned_rows",
          b"<</DecodeParms<</K 0/Columns 8/EncodedByteAlign true>>>>\0" + piece(bits(row), 10, 63))

    write("dictionary", "stream", b"<</Length 12 0 R/Filter[/ASCII85Decode /FlateDecode]/Length1 10>>")
    write("dictionary", "nested", b"<</DecodeParms<</EarlyChange 0/K -1/Columns 1728>>/Subtype/XML>>\0/Columns")
    write("dictionary", "booleans", b"<</BlackIs1 TRUE /ImageMask falsehood /Rows\r\n5>>\0/Rows")

    write("filter_chain", "flate_dct", b"<</Filter[/FlateDecode /DCTDecode]>>\0" + zlib.compress(JPEG))
    write("filter_chain", "hex_flate", b"<</Filter[/AHx/Fl]>>\0" + ascii_hex_encode(zlib.compress(TEXT), line_length=0))
    write("filter_chain", "a85_rl", b"<</Filter[/A85/RL]>>\0" + ascii85(run_length(TEXT)))
    write("filter_chain", "lzw", b"<</Filter/LZWDecode/DecodeParms<</EarlyChange 0>>>>\0" + lzw_encode(TEXT, 0))
    write("filter_chain", "ccitt", b"<</Filter/CCF/DecodeParms<</K -1/Columns 16>>>>\0" + bytes(64))
    write("filter_chain", "xml", b"<</Type/Metadata/Subtype/XML/Filter/FlateDecode>>\0<?xpacket?><x/>")

    write("document", "every_filter", pdf([
        (3, b"/Filter /FlateDecode", zlib.compress(TEXT)),
        (4, b"/Filter /DCTDecode", JPEG),
        (5, b"/Filter [/ASCIIHexDecode /FlateDecode]", ascii_hex_encode(zlib.compress(TEXT), line_length=0)),
        (6, b"/Filter /ASCII85Decode", ascii85(TEXT)),
        (7, b"/Filter /RunLengthDecode", run_length(TEXT)),
        (8, b"/Filter /LZWDecode", lzw_encode(TEXT)),
        (9, b"/Filter /CCITTFaxDecode /DecodeParms <</K -1 /Columns 64 /Rows 4>>", bytes(32)),
        (10, b"/Type /Metadata /Subtype /XML", b"<?xpacket begin?><x:xmpmeta/>"),
        (11, b"/Filter /FlateDecode", b"not zlib data"),
        (3, b"", b"%PDF-1.4 embedded"),
    ]))
    body = pdf([(12, b"/Filter /FlateDecode", zlib.compress(TEXT))])
    write("document", "wrong_length", body.replace(b"/Length %d" % len(zlib.compress(TEXT)), b"/Length 12 0 R"))
    write("document", "crlf_lines", pdf([(2, b"", b"HELLO")]).replace(b"\n", b"\r\n"))
    write("document", "pdf_syntax", pdf_syntax())

    # Encrypted documents of every revision; "fuzz" is the user password the
    # document target gives, and "wrong" one it does not. The plain document
    # has a catalog and a page so that qpdf keeps its streams.
    plain = pdf_with_page([(4, b"/Filter /FlateDecode", zlib.compress(TEXT)),
                           (5, b"/Type /Metadata /Subtype /XML", b"<?xpacket begin?><x:xmpmeta/>")])
    write("document", "rc4_40", encrypted(plain, "", "40"))
    write("document", "rc4_128_user", encrypted(plain, "fuzz", "128", "--use-aes=n"))
    write("document", "aes128_crypt_filter", encrypted(plain, "", "128", "--use-aes=y", "--cleartext-metadata"))
    write("document", "aes256_r5", encrypted(plain, "fuzz", "256", "--force-R5"))
    write("document", "aes256_r6_objstm", encrypted(plain, "", "256", qpdf_options=("--object-streams=generate",)))
    write("document", "aes256_wrong_password", encrypted(plain, "wrong", "256"))

    # The security handler: a password, a NUL, and a body that qpdf (or
    # Ghostscript, for the corpus file) encrypted with it.
    def security(name, password, body):
        write("security", name, password.encode() + b"\0" + body)

    if not chosen or "security" in chosen:
        security("r2_rc4_40", "fuzz", encrypted(plain, "fuzz", "40"))
        security("r3_rc4_128_owner", "owner", encrypted(plain, "fuzz", "128", "--use-aes=n"))
        security("r4_aes128_clear_metadata", "fuzz", encrypted(plain, "fuzz", "128", "--use-aes=y",
                                                                "--cleartext-metadata"))
        security("r4_euro_sign", "\u20ac", encrypted(plain, "\u20ac", "128", "--use-aes=y"))
        security("r5_aes256", "fuzz", encrypted(plain, "fuzz", "256", "--force-R5"))
        security("r6_decomposed", "A\u030angstro\u0308m", encrypted(plain, "\u00c5ngstr\u00f6m", "256"))
        security("r6_xref_stream", "", encrypted(plain, "", "256", qpdf_options=("--object-streams=generate",)))
        security("r6_linearized", "wrong", encrypted(plain, "", "256", qpdf_options=("--linearize",)))
        with open(os.path.join(os.path.dirname(HERE), "corpus", "gs-rc4-r3-40.pdf"), "rb") as f:
            security("ghostscript_r3_literal_strings", "", f.read())

    if not chosen or "document" in chosen:
        viewable_seeds()


def viewable_seeds():
    """Documents of images the viewable mode writes (tests/viewable): every
    colour space it reads, palettes from strings and streams, colour spaces
    inside object streams, and the palettes again encrypted."""
    sys.path.insert(0, os.path.join(os.path.dirname(HERE), "viewable"))
    import viewable_fixtures
    with tempfile.TemporaryDirectory() as work:
        for fixture in viewable_fixtures.write_fixtures(work):
            if fixture.name not in ("vf-greys", "vf-colours", "vf-palettes", "vf-palettes-objstm"):
                continue
            with open(fixture.path, "rb") as f:
                data = f.read()
            write("document", fixture.name, data)
            if fixture.name == "vf-palettes":
                write("document", "vf-palettes-aes256", encrypted(data, "", "256"))


if __name__ == "__main__":
    main()
