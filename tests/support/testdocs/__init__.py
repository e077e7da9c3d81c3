"""Writers of the test documents: PDF files, the PDF filters' encodings that
Python's library lacks, and one-strip TIFF files.

  pdf       PdfWriter: objects and streams written front to back, the
            cross-reference table and trailer at the end
  encoders  LZW, RunLength, ASCII85 and ASCIIHex encodings, as PDF's filters
            read them
  tiff      one-strip little-endian TIFF files, and the first directory and
            strip of a TIFF file another program wrote

Programs put this package's folder (tests/support) on sys.path from their own
location and import the modules by name.
"""
