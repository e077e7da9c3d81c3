"""Test documents for the viewable mode: one page of images in every colour
space, sample size, filter and predictor the mode reads, each of known
samples, so that what a PNG or TIFF reader finds in vellum's files can be
held against the samples themselves.

  write_fixtures(folder) -> [Fixture]

Each Fixture names its PDF and, per image object, the samples it holds (rows
as PDF packs them), how a reader of vellum's file must see them, and the
palette or profile it must carry. The same call writes the same bytes.
"""
import dataclasses
import os
import random
import subprocess
import sys
import zlib
from dataclasses import dataclass, field

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from testdocs.encoders import ascii85_encode, ascii_hex_encode, lzw_encode, run_length_encode  # noqa: E402
from testdocs.pdf import PdfWriter  # noqa: E402

GHOSTSCRIPT_PROFILES = "/usr/share/color/icc/ghostscript"


@dataclass
class Image:
    label: str
    number: int                # the image's object number
    width: int
    height: int
    bits: int
    components: int
    samples: bytes             # rows as PDF packs them
    inverted: bool = False     # a reader of vellum's file finds every sample inverted (swapped /Decode of several colours)
    signed: bool = False       # the file holds a* and b* of Lab as signed bytes
    palette: bytes = b""       # RGB triplets the file must carry
    profile: bytes = b""       # the ICC profile the file must carry
    tiff: bool = False         # the file must be a TIFF, not a PNG; None: either


@dataclass
class Fixture:
    name: str
    path: str
    images: list = field(default_factory=list)


def row_bytes(width, components, bits):
    return (width * components * bits + 7) // 8


def samples_of(rng, width, height, components, bits, highest=None):
    """Rows of random samples, the padding bits of each row zero."""
    out = bytearray()
    for _ in range(height):
        values = [rng.randrange((highest or (1 << bits) - 1) + 1) for _ in range(width * components)]
        accumulator, count, row = 0, 0, bytearray()
        for value in values:
            accumulator = (accumulator << bits) | value
            count += bits
            while count >= 8:
                count -= 8
                row.append((accumulator >> count) & 0xFF)
        if count:
            row.append((accumulator << (8 - count)) & 0xFF)
        out += row
    return bytes(out)


def png_predicted(samples, width, components, bits, filter_of_row):
    """Rows behind PNG filter bytes, each row's filter chosen by filter_of_row(index)."""
    stride = row_bytes(width, components, bits)
    pixel = max(1, components * bits // 8)
    out, previous = bytearray(), bytes(stride)
    for r in range(len(samples) // stride):
        row = samples[r * stride:(r + 1) * stride]
        kind = filter_of_row(r)
        encoded = bytearray()
        for i, x in enumerate(row):
            a = row[i - pixel] if i >= pixel else 0
            b = previous[i]
            c = previous[i - pixel] if i >= pixel else 0
            if kind == 0:
                p = 0
            elif kind == 1:
                p = a
            elif kind == 2:
                p = b
            elif kind == 3:
                p = (a + b) // 2
            else:
                estimate = a + b - c
                pa, pb, pc = abs(estimate - a), abs(estimate - b), abs(estimate - c)
                p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            encoded.append((x - p) & 0xFF)
        out += bytes([kind]) + encoded
        previous = row
    return bytes(out)


def tiff_predicted(samples, width, components, bits):
    """TIFF's horizontal differencing of rows of 8 or 16-bit samples."""
    stride = row_bytes(width, components, bits)
    size = bits // 8
    out = bytearray()
    for r in range(len(samples) // stride):
        row = samples[r * stride:(r + 1) * stride]
        values = [int.from_bytes(row[i:i + size], "big") for i in range(0, stride, size)]
        diffs = values[:components] + [(values[i] - values[i - components]) % (1 << bits)
                                        for i in range(components, len(values))]
        out += b"".join(v.to_bytes(size, "big") for v in diffs)
    return bytes(out)


def profile(name):
    with open(os.path.join(GHOSTSCRIPT_PROFILES, name), "rb") as f:
        return f.read()


class Page:
    """One page drawing every image added, each a stream object of its own."""

    def __init__(self, path):
        self.path = path
        self.file = open(path, "wb")
        self.writer = PdfWriter(self.file)
        self.catalog, self.pages, self.page, self.content = (self.writer.reserve() for _ in range(4))
        self.names = []

    def number(self):
        return self.writer.reserve()

    def object(self, body):
        number = self.writer.reserve()
        self.writer.object(number, body)
        return number

    def stream(self, dictionary, data, number=None):
        number = number or self.writer.reserve()
        self.writer.stream(number, dictionary, data)
        return number

    def image(self, number, dictionary, data):
        self.stream(b"/Type/XObject/Subtype/Image" + dictionary, data, number)
        self.names.append(number)

    def finish(self):
        w = self.writer
        draw = b"".join(b"q 10 0 0 10 %d 0 cm /Im%d Do Q\n" % (12 * i, n) for i, n in enumerate(self.names))
        w.stream(self.content, b"", draw)
        xobjects = b"".join(b"/Im%d %d 0 R" % (n, n) for n in self.names)
        w.object(self.page, b"<</Type/Page/Parent %d 0 R/MediaBox[0 0 %d 20]/Contents %d 0 R"
                            b"/Resources<</XObject<<%s>>>>>>" % (self.pages, 12 * len(self.names) + 10, self.content, xobjects))
        w.object(self.pages, b"<</Type/Pages/Kids[%d 0 R]/Count 1>>" % self.page)
        w.object(self.catalog, b"<</Type/Catalog/Pages %d 0 R>>" % self.pages)
        w.finish(self.catalog)
        self.file.close()


def write_fixtures(folder):
    rng = random.Random(26)
    fixtures = []

    def add(name, build):
        path = os.path.join(folder, name + ".pdf")
        page = Page(path)
        fixture = Fixture(name, path)
        build(page, fixture)
        page.finish()
        fixtures.append(fixture)
        return fixture

    def plain(page, fixture, label, space, components, bits, width=13, height=7, filters=(), parameters=b"",
              decode=b"", extra=b"", predictor=None, tiff=False, inverted=False, profile_bytes=b"", palette=b"",
              highest=None, mask=False, predictor_colors=None, signed=False):
        samples = samples_of(rng, width, height, components, bits, highest)
        data = samples
        if predictor == "png":
            colors = predictor_colors or components
            data = png_predicted(samples, width * components // colors, colors, bits, lambda r: r % 5)
        elif predictor == "tiff":
            data = tiff_predicted(samples, width, components, bits)
        for f in reversed(filters):
            data = {b"/FlateDecode": zlib.compress, b"/LZWDecode": lzw_encode, b"/RunLengthDecode": run_length_encode,
                    b"/ASCII85Decode": ascii85_encode, b"/ASCIIHexDecode": ascii_hex_encode}[f](data)
        filter_entry = b""
        if len(filters) == 1:
            filter_entry = b"/Filter" + filters[0]
        elif filters:
            filter_entry = b"/Filter[" + b" ".join(filters) + b"]"
        if parameters:
            filter_entry += b"/DecodeParms" + parameters
        number = page.number()
        colour = b"/ImageMask true" if mask else b"/ColorSpace " + space
        page.image(number, b"/Width %d/Height %d/BitsPerComponent %d%s%s%s%s" % (
            width, height, bits, colour, filter_entry, decode, extra), data)
        fixture.images.append(Image(label, number, width, height, bits, components, samples, inverted=inverted, signed=signed,
                                    palette=palette, profile=profile_bytes, tiff=tiff))

    def greys(page, fixture):
        for bits in (1, 2, 4, 8, 16):
            plain(page, fixture, "DeviceGray %d bits" % bits, b"/DeviceGray", 1, bits)
        plain(page, fixture, "CalGray", b"[/CalGray<</WhitePoint[0.9505 1 1.089]/Gamma 2.2>>]", 1, 8)
        plain(page, fixture, "DeviceGray, /Decode [1 0]", b"/DeviceGray", 1, 8, decode=b"/Decode[1 0]", tiff=True)
        plain(page, fixture, "DeviceGray 1 bit, /Decode [1.0 0.0]", b"/DeviceGray", 1, 1, decode=b"/Decode[1.0 0.0]",
              tiff=True)
        plain(page, fixture, "image mask", None, 1, 1, mask=True)
        plain(page, fixture, "image mask, /Decode [1 0]", None, 1, 1, mask=True, decode=b"/Decode[1 0]", tiff=True)
        tint = b"<</FunctionType 2/Domain[0 1]/C0[1]/C1[0]/N 1>>"
        plain(page, fixture, "Separation", b"[/Separation/Spot/DeviceGray%s]" % tint, 1, 8, tiff=True)
        plain(page, fixture, "DeviceN of one ink", b"[/DeviceN[/Spot]/DeviceGray%s]" % tint, 1, 8, tiff=True)

    def colours(page, fixture):
        for bits in (8, 16):
            plain(page, fixture, "DeviceRGB %d bits" % bits, b"/DeviceRGB", 3, bits)
        plain(page, fixture, "DeviceCMYK", b"/DeviceCMYK", 4, 8, tiff=True)
        plain(page, fixture, "CalRGB", b"[/CalRGB<</WhitePoint[0.9505 1 1.089]>>]", 3, 8)
        plain(page, fixture, "Lab", b"[/Lab<</WhitePoint[0.9505 1 1.089]/Range[-128 127 -128 127]>>]", 3, 8, tiff=True,
              signed=True)
        plain(page, fixture, "DeviceRGB, /Decode swapped", b"/DeviceRGB", 3, 8, decode=b"/Decode[1 0 1 0 1 0]",
              inverted=True)
        plain(page, fixture, "DeviceCMYK, /Decode swapped", b"/DeviceCMYK", 4, 8,
              decode=b"/Decode[1 0 1 0 1 0 1 0]", inverted=True, tiff=True)
        tint = page.stream(b"/FunctionType 4/Domain[0 1 0 1 0 1 0 1]/Range[0 1 0 1 0 1 0 1]", b"{}")
        plain(page, fixture, "DeviceN of four inks", b"[/DeviceN[/Cyan/Magenta/Yellow/Black]/DeviceCMYK %d 0 R]" % tint,
              4, 8, tiff=True)

    def profiles(page, fixture):
        for name, components in (("default_gray.icc", 1), ("default_rgb.icc", 3), ("default_cmyk.icc", 4)):
            data = profile(name)
            stream = page.stream(b"/N %d/Filter/FlateDecode" % components, zlib.compress(data))
            plain(page, fixture, "ICCBased %d, Flate: TIFF" % components, b"[/ICCBased %d 0 R]" % stream, components,
                  8, filters=(b"/FlateDecode",), tiff=True, profile_bytes=data)
        # /N by reference, the colour space itself by reference
        data = profile("default_rgb.icc")
        n = page.object(b"3")
        stream = page.stream(b"/N %d 0 R" % n, data)
        space = page.object(b"[/ICCBased %d 0 R]" % stream)
        plain(page, fixture, "ICCBased by reference", b"%d 0 R" % space, 3, 8, profile_bytes=data)

    def palettes(page, fixture):
        rgb = bytes(rng.randrange(256) for _ in range(3 * 16))
        plain(page, fixture, "Indexed RGB, hex lookup, 4 bits", b"[/Indexed/DeviceRGB 15<%s>]" % rgb.hex().encode(), 1, 4,
              palette=rgb, highest=15)
        escaped = rgb.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)")
        plain(page, fixture, "Indexed RGB, literal lookup, 8 bits", b"[/Indexed/DeviceRGB 15(%s)]" % escaped, 1, 8,
              palette=rgb, highest=15)
        lookup = page.stream(b"/Filter/FlateDecode", zlib.compress(rgb))
        plain(page, fixture, "Indexed RGB, lookup stream, 2 bits", b"[/I/RGB 3 %d 0 R]" % lookup, 1, 2,
              palette=rgb[:12], highest=3)
        grey = bytes(rng.randrange(256) for _ in range(2))
        plain(page, fixture, "Indexed grey, 1 bit", b"[/Indexed/DeviceGray 1<%s>]" % grey.hex().encode(), 1, 1,
              palette=bytes(v for g in grey for v in (g, g, g)), highest=1)
        cmyk = bytes(rng.randrange(128) for _ in range(4 * 4))
        converted = bytes(max(0, 255 - cmyk[4 * i + c] - cmyk[4 * i + 3]) for i in range(4) for c in range(3))
        plain(page, fixture, "Indexed CMYK", b"[/Indexed/DeviceCMYK 3<%s>]" % cmyk.hex().encode(), 1, 8,
              palette=converted, highest=3)
        plain(page, fixture, "Indexed, Flate, PNG predictor", b"[/Indexed/DeviceRGB 15<%s>]" % rgb.hex().encode(), 1, 8,
              filters=(b"/FlateDecode",), parameters=b"<</Predictor 15/Columns 13>>", predictor="png", palette=rgb,
              highest=15)
        plain(page, fixture, "Indexed, Flate, TIFF palette", b"[/Indexed/DeviceRGB 15<%s>]" % rgb.hex().encode(), 1, 8,
              filters=(b"/FlateDecode",), palette=rgb, highest=15, tiff=True)

    def filters(page, fixture):
        rgb = b"/DeviceRGB"
        png = b"<</Predictor 15/Colors 3/Columns 13>>"
        plain(page, fixture, "Flate, PNG predictor: IDAT as stored", rgb, 3, 8, filters=(b"/FlateDecode",),
              parameters=png, predictor="png")
        plain(page, fixture, "Flate, PNG predictor, 16 bits", b"/DeviceGray", 1, 16, filters=(b"/FlateDecode",),
              parameters=b"<</Predictor 12/BitsPerComponent 16/Columns 13>>", predictor="png")
        plain(page, fixture, "Flate, PNG predictor of other colours: undone", rgb, 3, 8, filters=(b"/FlateDecode",),
              parameters=b"<</Predictor 15/Colors 1/Columns 39>>", predictor="png", predictor_colors=1)
        plain(page, fixture, "Flate: TIFF Deflate", rgb, 3, 8, filters=(b"/FlateDecode",), tiff=True)
        plain(page, fixture, "Flate, TIFF predictor", rgb, 3, 8, filters=(b"/FlateDecode",),
              parameters=b"<</Predictor 2/Colors 3/Columns 13>>", predictor="tiff", tiff=True)
        plain(page, fixture, "Flate, TIFF predictor, 16 bits", rgb, 3, 16, filters=(b"/FlateDecode",),
              parameters=b"<</Predictor 2/Colors 3/BitsPerComponent 16/Columns 13>>", predictor="tiff", tiff=True)
        plain(page, fixture, "LZW: TIFF LZW", rgb, 3, 8, filters=(b"/LZWDecode",), tiff=True)
        plain(page, fixture, "LZW of early change 0: decoded", rgb, 3, 8, filters=(b"/LZWDecode",),
              parameters=b"<</EarlyChange 0>>", extra=b"")
        plain(page, fixture, "LZW, PNG predictor: undone", b"/DeviceGray", 1, 8, filters=(b"/LZWDecode",),
              parameters=b"<</Predictor 15/Columns 13>>", predictor="png")
        plain(page, fixture, "RunLength", rgb, 3, 8, filters=(b"/RunLengthDecode",))
        plain(page, fixture, "ASCII85 then Flate", rgb, 3, 8, filters=(b"/ASCII85Decode", b"/FlateDecode"))
        plain(page, fixture, "ASCIIHex", b"/DeviceGray", 1, 4, filters=(b"/ASCIIHexDecode",))
        plain(page, fixture, "large: many blocks and chunks", rgb, 3, 8, width=700, height=600)

    add("vf-greys", greys)
    add("vf-colours", colours)
    add("vf-profiles", profiles)
    add("vf-palettes", palettes)
    add("vf-filters", filters)
    # The same colour spaces by reference, from inside object streams.
    source = add("vf-palettes-source", palettes)
    objstm = os.path.join(folder, "vf-palettes-objstm.pdf")
    subprocess.run(["qpdf", "--object-streams=generate", source.path, objstm], check=True)
    # qpdf compresses what was stored plain, so which format each becomes is not this fixture's point.
    fixtures.append(Fixture("vf-palettes-objstm", objstm,
                            [dataclasses.replace(image, tiff=None) for image in renumbered(objstm, source.images)]))
    return fixtures


def renumbered(path, images):
    """The images with the numbers qpdf gave them: the page's resource names keep the old ones."""
    import pikepdf
    with pikepdf.open(path) as pdf:
        resources = pdf.pages[0].Resources.XObject
        numbers = {int(str(name)[3:]): resources[name].objgen[0] for name in resources.keys()}
    return [dataclasses.replace(image, number=numbers[image.number]) for image in images]
