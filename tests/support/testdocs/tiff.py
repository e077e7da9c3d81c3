"""One-strip TIFF files, written from the TIFF 6.0 field definitions, and the
first image directory of a TIFF file another program wrote."""
import struct

SHORT = 3
LONG = 4
STRIP_OFFSETS = 273
STRIP_BYTE_COUNTS = 279
HEADER_SIZE = 8
DIRECTORY_ENTRY_SIZE = 12


def one_strip_tiff(fields, strip):
    """A little-endian TIFF of one directory and one strip. fields are
    (tag, type, value) in tag order, one value each (a LONG holds it modulo
    2**32); a value of None stands for the strip's offset, which follows the
    directory."""
    directory_size = 2 + DIRECTORY_ENTRY_SIZE * len(fields) + 4
    strip_offset = HEADER_SIZE + directory_size
    out = bytearray(b"II" + struct.pack("<HIH", 42, HEADER_SIZE, len(fields)))
    for tag, kind, value in fields:
        # A SHORT stands in the first two bytes of the value field, which is
        # where a little-endian LONG of the same value puts it.
        out += struct.pack("<HHII", tag, kind, 1, strip_offset if value is None else value & 0xFFFFFFFF)
    out += struct.pack("<I", 0)
    return bytes(out) + strip


def first_directory(tiff):
    """Tag -> value of the first directory's entries, in either byte order: a
    SHORT's value, or the four bytes of the value field read as a LONG (the
    value, or the offset of the values when they do not fit)."""
    order = "<" if tiff[:2] == b"II" else ">"
    (directory,) = struct.unpack(order + "I", tiff[4:8])
    (count,) = struct.unpack(order + "H", tiff[directory:directory + 2])
    tags = {}
    for i in range(count):
        entry = directory + 2 + DIRECTORY_ENTRY_SIZE * i
        tag, kind = struct.unpack(order + "HH", tiff[entry:entry + 4])
        (tags[tag],) = struct.unpack(order + ("H" if kind == SHORT else "I"),
                                     tiff[entry + 8:entry + (10 if kind == SHORT else 12)])
    return tags


def only_strip(tiff):
    """The bytes of a TIFF's one strip."""
    tags = first_directory(tiff)
    offset, length = tags[STRIP_OFFSETS], tags[STRIP_BYTE_COUNTS]
    return tiff[offset:offset + length]
