"""A PDF writer that writes objects front to back and keeps their offsets."""

HEADER = b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"
XREF_ENTRY_FREE = b"0000000000 65535 f \n"


class PdfWriter:
    """Writes to a binary file object (a file, or io.BytesIO for bytes in
    memory). Object numbers come from reserve() or from the caller; an object
    written twice keeps its later offset. Nothing is written past finish()."""

    def __init__(self, file):
        self.file = file
        self.position = 0           # bytes written so far
        self.offsets = {}           # object number -> offset of its "N 0 obj" line
        self.next_number = 1        # what reserve() gives next
        self.write(HEADER)

    def write(self, data):
        """Bytes as they are: comments, padding, a trailer of the caller's own."""
        self.file.write(data)
        self.position += len(data)

    def reserve(self):
        self.next_number += 1
        return self.next_number - 1

    def object(self, number, body):
        self.offsets[number] = self.position
        self.write(b"%d 0 obj\n%s\nendobj\n" % (number, body))

    def stream(self, number, dictionary, data):
        """A stream object: dictionary holds the entries before /Length, which
        is added. data is bytes, or a list of byte strings written one after
        the other (one string may stand in it many times, so that a stream of
        repeated pieces takes no more memory than its distinct pieces).
        Returns the offset of the stream's first data byte."""
        pieces = data if isinstance(data, list) else [data]
        self.offsets[number] = self.position
        self.write(b"%d 0 obj\n<<%s/Length %d>>\nstream\n" % (number, dictionary, sum(len(p) for p in pieces)))
        start = self.position
        for piece in pieces:
            self.write(piece)
        self.write(b"\nendstream\nendobj\n")
        return start

    def unended_stream(self, number, dictionary, data):
        """A stream object with neither /Length nor "endstream"."""
        self.offsets[number] = self.position
        self.write(b"%d 0 obj\n<<%s>>\nstream\n%s\nendobj\n" % (number, dictionary, data))

    def finish(self, root):
        """The cross-reference table of every number below next_number (free
        where no object was written), the trailer and startxref."""
        count = self.next_number
        start = self.position
        lines = [b"xref\n0 %d\n" % count, XREF_ENTRY_FREE]
        for number in range(1, count):
            offset = self.offsets.get(number)
            lines.append(b"%010d 00000 n \n" % offset if offset is not None else XREF_ENTRY_FREE)
        self.write(b"".join(lines))
        self.write(b"trailer\n<</Size %d/Root %d 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (count, root, start))
