"""Encodings of the PDF filters that Python's library lacks or writes in
another form. Each returns the whole encoded data, end marker included."""
import base64
import struct
import zlib

LZW_CLEAR = 256
LZW_END = 257
LZW_FIRST_FREE = 258
LZW_FIRST_WIDTH = 9
LZW_LAST_WIDTH = 12
RUN_LENGTH_LONGEST = 128            # the longest run or literal one length byte describes
RUN_LENGTH_END = 128
ZLIB_HEADER = b"\x78\x9c"           # deflate with a 32 KiB window, default level
FINAL_EMPTY_BLOCK = b"\x03\x00"     # a last block of fixed codes that holds only its end code


def lzw_encode(data, early_change=1):
    """LZW as PDF's LZWDecode reads it with the given /EarlyChange: 9 to 12-bit
    codes, most significant bit first, a clear code first and whenever the
    table fills, the end code last."""
    codes = []  # (code, width)
    table = {bytes([i]): i for i in range(256)}
    next_code, width = LZW_FIRST_FREE, LZW_FIRST_WIDTH
    codes.append((LZW_CLEAR, width))
    word = b""
    for byte in data:
        candidate = word + bytes([byte])
        if candidate in table:
            word = candidate
            continue
        codes.append((table[word], width))
        table[candidate] = next_code
        next_code += 1
        # The reader adds its entry one code later than we do; with early
        # change it also widens one code early.
        if next_code + early_change > (1 << width) and width < LZW_LAST_WIDTH:
            width += 1
        if next_code >= (1 << LZW_LAST_WIDTH) - 2:
            codes.append((LZW_CLEAR, width))
            table = {bytes([i]): i for i in range(256)}
            next_code, width = LZW_FIRST_FREE, LZW_FIRST_WIDTH
        word = bytes([byte])
    if word:
        codes.append((table[word], width))
        # The reader adds an entry for the last code too, and may widen before the end code.
        if next_code + early_change == (1 << width) and width < LZW_LAST_WIDTH:
            width += 1
    codes.append((LZW_END, width))
    out = bytearray()
    accumulator, bits = 0, 0
    for code, code_width in codes:
        accumulator = (accumulator << code_width) | code
        bits += code_width
        while bits >= 8:
            bits -= 8
            out.append((accumulator >> bits) & 0xFF)
    if bits:
        out.append((accumulator << (8 - bits)) & 0xFF)
    return bytes(out)


def run_length_encode(data, shortest_run=3, longest_literal=RUN_LENGTH_LONGEST):
    """RunLength: runs of shortest_run or more equal bytes as repeats, the
    bytes between them as literals of at most longest_literal bytes.
    shortest_run=2, longest_literal=1 gives the plainest form a reader meets,
    every byte outside a run a literal of its own."""
    out = bytearray()
    i, size = 0, len(data)
    literal_start = 0
    while i < size:
        run = 1
        while i + run < size and run < RUN_LENGTH_LONGEST and data[i + run] == data[i]:
            run += 1
        if run >= shortest_run:
            _literals(out, data, literal_start, i, longest_literal)
            out += bytes([257 - run, data[i]])
            i += run
            literal_start = i
        else:
            i += run
    _literals(out, data, literal_start, size, longest_literal)
    out.append(RUN_LENGTH_END)
    return bytes(out)


def _literals(out, data, start, stop, longest):
    while start < stop:
        count = min(longest, stop - start)
        out.append(count - 1)
        out += data[start:start + count]
        start += count


def ascii85_encode(data, line_length=76):
    """ASCII85 with "z" for four zero bytes, in lines of line_length
    characters (one line if 0), and the "~>" end marker."""
    return base64.a85encode(data, wrapcol=line_length) + b"~>"


def ascii_hex_encode(data, line_length=80):
    """Lower-case hex digits in lines of line_length (one line if 0), and the ">" end marker."""
    text = data.hex().encode()
    if not line_length:
        return text + b">"
    return b"\n".join(text[i:i + line_length] for i in range(0, len(text), line_length)) + b">"


def deflate_piece(data, level):
    """Raw deflate data of `data` that refers to nothing before it and ends on
    a byte boundary, so that such pieces follow one another in one zlib
    stream in any order, any number of times (zlib_stream_of_pieces)."""
    compressor = zlib.compressobj(level, zlib.DEFLATED, -zlib.MAX_WBITS)
    return compressor.compress(data) + compressor.flush(zlib.Z_SYNC_FLUSH)


def zlib_stream_of_pieces(pieces, adler):
    """A zlib stream, as a list of byte strings, of pieces from deflate_piece
    in the order given; adler is the Adler-32 (zlib.adler32) of everything
    they decode to, in that order."""
    return [ZLIB_HEADER, *pieces, FINAL_EMPTY_BLOCK + struct.pack(">I", adler)]
