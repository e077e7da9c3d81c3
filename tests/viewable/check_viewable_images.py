"""The viewable mode against readers we did not write.

  check_viewable_images.py [--runner WINE-RUN] [--table] VELLUM [PDF...]

For the test documents of viewable_fixtures.py (every colour space, sample
size, filter and predictor the mode reads, of known samples) and every PDF of
tests/corpus (or the PDFs named), it runs `vellum extract` in the default
mode and with --viewable, and checks:

- both modes list the same objects in the same order, and every entry the
  mode does not write as an image holds the default mode's bytes;
- every PNG and TIFF the mode writes opens in PIL, and every TIFF in
  libtiff (tiffcp decodes it whole);
- their samples, as PIL, ImageMagick (16-bit PNG) or libtiff read them, are
  the image's own: for the fixtures the samples written, for the corpus
  qpdf's decoding of the stream (predictors undone), inverted where the
  image's /Decode swaps several colours; palettes and ICC profiles are the
  document's;
- what a viewer sees of them (PIL's reading) is what poppler's pdfimages
  writes of the same image, except where poppler converts (named in the
  table);
- fonts hold the bytes `mutool extract` writes of them.

With --table it prints, for the corpus, the images per colour space and
filter: how many, how many the mode makes viewable, how many hold the
image's samples, how many look as pdfimages's files do, and why any does
not. Exit status 1 when a check fails.
"""
import argparse
import collections
import glob
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

import pikepdf
from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
import viewable_fixtures  # noqa: E402

IMAGE_EXTENSIONS = (".png", ".tif")
FONT_EXTENSIONS = {"FontFile": ".pfa", "FontFile2": ".ttf"}
FONT_FILE3_EXTENSIONS = {"/Type1C": ".cff", "/CIDFontType0C": ".cff", "/OpenType": ".otf"}

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, file=sys.stderr)


class Vellum:
    def __init__(self, runner, program):
        self.prefix = [runner, program] if runner else [program]
        self.wine = bool(runner)

    def path(self, path):
        return "Z:" + path.replace("/", "\\") if self.wine else path

    def run(self, args, password):
        env = dict(os.environ)
        env.pop("VELLUM_VIEWABLE", None)
        if password:
            env["VELLUM_PASSWORD"] = password
        done = subprocess.run(self.prefix + args, env=env, capture_output=True)
        return done.returncode, done.stdout.decode("utf-8", "replace").replace("\r", "")

    def extract(self, pdf, folder, viewable, password):
        """Extracts every entry into the folder; answers the names written and
        the numbers of entries a later revision replaced, or None."""
        args = ["extract", "--json", "-f"] + (["--viewable"] if viewable else []) + [self.path(pdf), "-o", self.path(folder)]
        status, out = self.run(args, password)
        if status != 0:
            return None
        report = json.loads(out)
        return [entry["name"] for entry in report["entries"]], [entry["object"] for entry in report["replaced"]]


def number_of(name):
    return int(re.match(r"object-stream-(\d+)\.", name).group(1))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def pack(values, bits, per_row):
    out = bytearray()
    for start in range(0, len(values), per_row):
        accumulator, count = 0, 0
        for value in values[start:start + per_row]:
            accumulator = (accumulator << bits) | value
            count += bits
            while count >= 8:
                count -= 8
                out.append((accumulator >> count) & 0xFF)
        if count:
            out.append((accumulator << (8 - count)) & 0xFF)
    return bytes(out)


def tiff_strips(data):
    """The concatenated strips of an uncompressed TIFF, in either byte order."""
    order = "<" if data[:2] == b"II" else ">"
    (directory,) = struct.unpack(order + "I", data[4:8])
    (count,) = struct.unpack(order + "H", data[directory:directory + 2])
    fields = {}
    for i in range(count):
        entry = directory + 2 + 12 * i
        tag, kind, n = struct.unpack(order + "HHI", data[entry:entry + 8])
        size = {3: 2, 4: 4}.get(kind, 1)
        at = entry + 8 if n * size <= 4 else struct.unpack(order + "I", data[entry + 8:entry + 12])[0]
        fmt = {3: "H", 4: "I"}.get(kind, "B")
        fields[tag] = struct.unpack(order + fmt * n, data[at:at + n * size])
    return b"".join(data[o:o + c] for o, c in zip(fields[273], fields[279])), fields


def samples_in_file(path, width, height, work):
    """The samples of vellum's file as independent readers give them, packed as PDF packs them."""
    if path.endswith(".tif"):
        plain = os.path.join(work, "plain.tif")
        done = subprocess.run(["tiffcp", "-B", "-c", "none", "-r", str(height), path, plain], capture_output=True)
        if done.returncode != 0:
            raise ValueError("libtiff cannot read it: " + done.stderr.decode(errors="replace").strip())
        strips, _ = tiff_strips(read(plain))
        return strips
    data = read(path)
    depth, colour = data[24], data[25]
    if depth == 16:
        mode = "gray" if colour == 0 else "rgb"
        return subprocess.run(["convert", path, "-depth", "16", "-endian", "MSB", mode + ":-"], check=True,
                              capture_output=True).stdout
    image = Image.open(path)
    if image.mode == "1":
        return image.tobytes()
    values = image.tobytes()
    if image.mode == "L" and depth < 8:
        values = bytes(v * ((1 << depth) - 1) // 255 for v in values)
    if image.mode in ("L", "P") and depth < 8:
        return pack(values, depth, width)
    return values


def opens_in_pil(path):
    image = Image.open(path)
    image.load()
    return image


def check_file(path, width, height, expected, label, work, palette=None, profile=None, want_tiff=None):
    """Checks one image file of vellum's; answers whether its samples are the expected ones."""
    try:
        opened = opens_in_pil(path)
    except Exception as error:  # PIL raises many kinds
        fail("%s: PIL cannot open it: %s" % (label, error))
        return False
    if opened.size != (width, height):
        fail("%s: PIL reads %s, the image is %dx%d" % (label, opened.size, width, height))
        return False
    if want_tiff is not None and path.endswith(".tif") != want_tiff:
        fail("%s: written as %s, expected %s" % (label, path[-3:], "TIFF" if want_tiff else "PNG"))
    try:
        samples = samples_in_file(path, width, height, work)
    except Exception as error:
        fail("%s: %s" % (label, error))
        return False
    # Data past the image's last row is no part of it.
    equal = len(samples) % height == 0 and len(expected) >= len(samples) and samples == expected[:len(samples)]
    if not equal:
        fail("%s: samples differ from the image's (%d bytes read, %d expected)" % (label, len(samples), len(expected)))
    if palette is not None:
        got = bytes(opened.getpalette()[:len(palette)]) if opened.mode == "P" else b""
        if got != palette:
            fail("%s: palette %s, expected %s" % (label, got.hex(), palette.hex()))
    if profile is not None and opened.info.get("icc_profile") != profile:
        fail("%s: the ICC profile is not the document's" % label)
    return equal


# --- pdfimages, mutool and the document's own objects

def pdfimages_files(pdf, password, document, work, kinds):
    """Object number -> {kind: file} of what pdfimages writes of each image
    in the given kinds ("png", "tiff"). pdfimages lists a soft mask or a
    mask under its image's object: the image's /SMask or /Mask names it."""
    args = ["-opw", password, "-upw", password] if password else []
    listing = subprocess.run(["pdfimages", "-list"] + args + [pdf], capture_output=True, text=True).stdout.splitlines()[2:]
    for kind in kinds:
        subprocess.run(["pdfimages", "-" + kind] + args + [pdf, os.path.join(work, "pdfimages-" + kind)], capture_output=True)
    files = {}
    for line in listing:
        fields = line.split()
        if len(fields) < 12 or not fields[10].isdigit():
            continue  # an inline image has no object
        index, number, kind = int(fields[1]), int(fields[10]), fields[2]
        if kind in ("smask", "mask"):
            key = "/SMask" if kind == "smask" else "/Mask"
            mask = document.get_object(number, 0).get(key)
            if not isinstance(mask, pikepdf.Stream):
                continue
            number = mask.objgen[0]
        for kind in kinds:
            for found in glob.glob(os.path.join(work, "pdfimages-%s-%03d.*" % (kind, index))):
                files.setdefault(number, {})[kind] = found
    return files


def pdfimages_file(poppler, number, ours):
    """pdfimages's file of the image: a TIFF beside vellum's TIFF where it wrote one, else its PNG."""
    files = poppler.get(number, {})
    return files.get("tiff" if ours.endswith(".tif") else "png") or files.get("png")


def seen_alike(ours, theirs):
    """Whether two files look alike to a viewer reading them with PIL."""
    try:
        a, b = opens_in_pil(ours), opens_in_pil(theirs)
    except Exception:
        return False
    if a.size != b.size:
        return False
    for mode in (a.mode, "RGB"):
        try:
            if a.convert(mode).tobytes() == b.convert(mode).tobytes():
                return True
        except ValueError:
            continue
    return False


def mutool_fonts(pdf, password, document, work):
    """Stream object number -> (mutool's extension, bytes) of every font
    `mutool extract` writes; it is asked for the font descriptors alone."""
    descriptors = {}
    for obj in document.objects:
        if isinstance(obj, pikepdf.Dictionary) and obj.get("/Type") == "/FontDescriptor" and obj.is_indirect:
            for key in ("/FontFile", "/FontFile2", "/FontFile3"):
                if isinstance(obj.get(key), pikepdf.Stream):
                    descriptors[obj.objgen[0]] = obj[key].objgen[0]
    if not descriptors:
        return {}
    folder = os.path.join(work, "mutool")
    os.makedirs(folder, exist_ok=True)
    args = ["-p", password] if password else []
    subprocess.run(["mutool", "extract"] + args + [os.path.abspath(pdf)] + [str(n) for n in sorted(descriptors)],
                   cwd=folder, capture_output=True)
    fonts = {}
    for path in glob.glob(os.path.join(folder, "font-*")):
        descriptor = int(re.search(r"font-0*(\d+)", path).group(1))
        if descriptor in descriptors:
            fonts[descriptors[descriptor]] = (os.path.splitext(path)[1], read(path))
    return fonts


def family_of(space):
    if space is None:
        return "none"
    if isinstance(space, pikepdf.Name):
        return str(space)[1:]
    name = str(space[0])[1:]
    if name == "ICCBased":
        return "ICCBased %d" % int(space[1].get("/N"))
    if name in ("Indexed", "I"):
        return "Indexed %s" % family_of(space[1])
    if name == "DeviceN":
        return "DeviceN %d" % len(space[1])
    return name


def filters_of(stream):
    filters = stream.get("/Filter")
    names = [str(f)[1:] for f in filters] if isinstance(filters, pikepdf.Array) else \
        ([str(filters)[1:]] if filters is not None else ["none"])
    parameters = stream.get("/DecodeParms")
    if isinstance(parameters, pikepdf.Array):
        parameters = parameters[-1] if len(parameters) else None
    if isinstance(parameters, pikepdf.Dictionary) and int(parameters.get("/Predictor", 1)) > 1:
        names[-1] += " predictor %d" % int(parameters.Predictor)
    return " + ".join(names)


def swapped_colours(stream, components):
    decode = stream.get("/Decode")
    if decode is None or components < 2 or bool(stream.get("/ImageMask", False)):
        return False
    return all(float(decode[2 * c]) > float(decode[2 * c + 1]) for c in range(components))


# Why poppler's files may differ from vellum's for an image, by what the image is.
def poppler_reason(family, bits):
    if family == "image mask":
        return "pdfimages writes a mask's 1 bits black, whatever its /Decode; vellum writes black what the mask paints"
    if bits == 16:
        return "pdfimages keeps 8 bits of each sample of 16"
    if family in ("CalGray", "CalRGB"):
        return "pdfimages applies the %s's gamma" % family
    if family in ("Lab", "Separation", "DeviceCMYK", "ICCBased 4") or family.startswith("DeviceN") or \
            family.startswith("Indexed"):
        return "pdfimages converts %s to RGB or grey" % family
    return None


# --- the checks

def check_document(vellum, pdf, password, images, work, table):
    name = os.path.basename(pdf)
    folders = {mode: os.path.join(work, mode) for mode in ("default", "viewable")}
    default = vellum.extract(pdf, folders["default"], False, password)
    viewable = vellum.extract(pdf, folders["viewable"], True, password)
    if default is None or viewable is None:
        fail("%s: extract failed" % name)
        return
    (default_names, default_replaced), (viewable_names, viewable_replaced) = default, viewable
    if [number_of(n) for n in default_names] != [number_of(n) for n in viewable_names] or \
            default_replaced != viewable_replaced:
        fail("%s: the modes list different objects" % name)
        return
    default_files = {number_of(n): n for n in default_names}
    viewable_files = {number_of(n): n for n in viewable_names}
    document = pikepdf.open(pdf, password=password or "")
    fonts = mutool_fonts(pdf, password, document, work)
    written = {}
    for number, viewable_name in viewable_files.items():
        ours = os.path.join(folders["viewable"], viewable_name)
        default_name = default_files[number]
        extension = os.path.splitext(viewable_name)[1]
        if extension in IMAGE_EXTENSIONS and viewable_name != default_name:
            written[number] = ours
        elif read(ours) != read(os.path.join(folders["default"], default_name)):
            fail("%s: %s holds other bytes than %s" % (name, viewable_name, default_name))
        if number in fonts:
            mutool_extension, mutool_bytes = fonts[number]
            if read(ours) != mutool_bytes:
                fail("%s: %s differs from mutool's font%s" % (name, viewable_name, mutool_extension))
            table["fonts"][(extension, mutool_extension)] += 1

    kinds = ["png"] + (["tiff"] if any(path.endswith(".tif") for path in written.values()) else [])
    poppler = pdfimages_files(pdf, password, document, work, kinds)
    with document:
        for obj in document.objects:
            if not isinstance(obj, pikepdf.Stream) or obj.get("/Subtype") != "/Image":
                continue
            number = obj.objgen[0]
            if number not in viewable_files:
                continue
            mask = bool(obj.get("/ImageMask", False))
            family = "image mask" if mask else family_of(obj.get("/ColorSpace"))
            bits = 1 if mask else int(obj.get("/BitsPerComponent", 8))
            row = table["images"][(family, bits, filters_of(obj))]
            row["images"] += 1
            viewable_name = viewable_files[number]
            label = "%s: %s (%s, %d bits, %s)" % (name, viewable_name, family, bits, filters_of(obj))
            if number not in written:
                if os.path.splitext(viewable_name)[1] in (".jpg", ".tif", ".jp2", ".j2c"):
                    row["viewable"] += 1
                    row["as stored"] += 1
                else:
                    row["exceptions"].add("left as the default mode lists it")
                continue
            row["viewable"] += 1
            width, height = int(obj.Width), int(obj.Height)
            components = 1 if mask else len(obj.get("/Decode", [])) // 2 or None
            known = next((i for i in images if i.number == number), None) if images is not None else None
            if known is not None:
                expected = bytes(255 - b for b in known.samples) if known.inverted else known.samples
                if known.signed:
                    expected = bytes(b ^ 0x80 if i % 3 else b for i, b in enumerate(expected))
                equal = check_file(written[number], width, height, expected, label, work,
                                   palette=known.palette or None, profile=known.profile or None, want_tiff=known.tiff)
            elif "CCITTFaxDecode" in filters_of(obj):
                # qpdf does not decode fax data; libtiff reads it, and what it
                # shows must be what poppler decodes.
                theirs = pdfimages_file(poppler, number, written[number])
                try:
                    samples_in_file(written[number], width, height, work)
                    equal = theirs is not None and seen_alike(written[number], theirs)
                except ValueError as error:
                    equal = False
                    fail("%s: %s" % (label, error))
                if not equal:
                    fail("%s: libtiff does not read what pdfimages decodes" % label)
            else:
                decoded = subprocess.run(["qpdf", "--show-object=%d" % number, "--filtered-stream-data",
                                          "--decode-level=generalized"] + (["--password=" + password] if password else [])
                                         + [pdf], capture_output=True).stdout
                if components and swapped_colours(obj, components):
                    decoded = bytes(255 - b for b in decoded)
                equal = check_file(written[number], width, height, decoded, label, work)
            row["equal"] += equal
            theirs = pdfimages_file(poppler, number, written[number])
            if theirs is None:
                row["exceptions"].add("pdfimages writes no file of it (drawn on no page)")
            elif seen_alike(written[number], theirs):
                row["as pdfimages"] += 1
            else:
                reason = poppler_reason(family, bits)
                if reason is None:
                    fail("%s: looks unlike pdfimages's file" % label)
                    reason = "unexplained"
                row["exceptions"].add(reason)


def print_table(table):
    print("\nimages per colour space and filter (tests/corpus):")
    print("| colour space | bits | filters | images | viewable | samples equal | as pdfimages | exceptions |")
    print("|---|---|---|---|---|---|---|---|")
    for (family, bits, filters), row in sorted(table["images"].items()):
        # JPEG and CCITT fax images come out as the default mode writes them.
        equal = "as stored" if row["as stored"] else str(row["equal"])
        print("| %s | %d | %s | %d | %d | %s | %d | %s |" % (
            family, bits, filters, row["images"], row["viewable"], equal,
            row["as pdfimages"] + row["as stored"], "; ".join(sorted(row["exceptions"])) or ""))
    print("\nfonts (vellum's extension, mutool's): count, byte for byte equal to mutool's")
    for (ours, theirs), count in sorted(table["fonts"].items()):
        print("  %s %s: %d" % (ours, theirs, count))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", default="")
    parser.add_argument("--table", action="store_true")
    parser.add_argument("vellum")
    parser.add_argument("pdfs", nargs="*")
    options = parser.parse_args()
    vellum = Vellum(os.path.abspath(options.runner) if options.runner else "", os.path.abspath(options.vellum))
    passwords = {}
    for line in open(os.path.join(ROOT, "tests", "corpus", "passwords.txt")):
        fields = line.split()
        if len(fields) >= 2 and not fields[0].startswith("#"):
            passwords[fields[0] + ".pdf"] = fields[1]
    with tempfile.TemporaryDirectory() as work:
        documents = []
        if not options.pdfs:
            for fixture in viewable_fixtures.write_fixtures(work):
                documents.append((fixture.path, fixture.images))
            documents += [(pdf, None) for pdf in sorted(glob.glob(os.path.join(ROOT, "tests", "corpus", "*.pdf")))]
        else:
            documents = [(os.path.abspath(pdf), None) for pdf in options.pdfs]
        fixture_table = {"images": collections.defaultdict(lambda: collections.defaultdict(int)),
                         "fonts": collections.Counter()}
        corpus_table = {"images": collections.defaultdict(lambda: collections.defaultdict(int)),
                        "fonts": collections.Counter()}
        for table in (fixture_table, corpus_table):
            table["images"] = collections.defaultdict(lambda: collections.defaultdict(int, {"exceptions": set()}))
        for pdf, images in documents:
            with tempfile.TemporaryDirectory(dir=work) as folder:
                table = fixture_table if images is not None else corpus_table
                check_document(vellum, pdf, passwords.get(os.path.basename(pdf)), images, folder, table)
        if options.table:
            print_table(corpus_table)
    if failures:
        print("%d failure(s)" % len(failures), file=sys.stderr)
        return 1
    print("viewable images: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
