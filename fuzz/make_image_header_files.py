#!/usr/bin/env python3
"""Writes the header reader's fuzz seeds into fuzz/corpus/image_header (one small valid file
per header kind) and its regression inputs into fuzz/regressions/image_header (one hostile
header per kind, whose expected reading tests/native/view_image_header_test.cpp checks).
Run again after changing it; the files are kept in the repository."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def segment(marker, body):
    return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body


def jpeg(width, height, sof=0xC0, before=b""):
    frame = struct.pack(">BHHB", 8, height, width, 3) + bytes([1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1])
    return (b"\xFF\xD8" + segment(0xE0, b"JFIF\0\x01\x01\0\0\x01\0\x01\0\0") + before +
            segment(0xDB, bytes(65)) + segment(sof, frame) + segment(0xDA, bytes(10)) +
            b"\x12\x34\xFF\x00\x56" + b"\xFF\xD9")


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, depth=8, colour=2):
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    rows = b"".join(b"\0" + bytes(width * 3) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", zlib.compress(rows)) +
            png_chunk(b"IEND", b""))


def gif(screen, frames):
    out = bytearray(b"GIF89a" + struct.pack("<HHBBB", screen[0], screen[1], 0x80, 0, 0) + bytes(6))
    out += b"\x21\xF9\x04\x00\x00\x00\x00\x00"  # graphic control extension
    for left, top, w, h in frames:
        out += b"\x2C" + struct.pack("<HHHHB", left, top, w, h, 0) + b"\x02\x02\x4C\x01\x00"
    return bytes(out + b"\x3B")


def bmp(width, height, core=False):
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, 24)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 2835, 2835, 0, 0)
    pixels = bytes(((abs(width) * 3 + 3) // 4 * 4) * abs(height)) if abs(width) * abs(height) < 4096 else b""
    offset = 14 + len(info)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + pixels


def tiff(width, height, big_endian=False, width_type=3, bits=(8, 8, 8)):
    e = ">" if big_endian else "<"
    entries = [(256, width_type, 1, width), (257, 4, 1, height)]
    out = bytearray((b"MM" if big_endian else b"II") + struct.pack(e + "HI", 42, 8))
    body = bytearray(struct.pack(e + "H", len(entries) + 1))
    for tag, kind, count, value in entries:
        field = struct.pack(e + ("H2x" if kind == 3 else "I"), value)
        body += struct.pack(e + "HHI", tag, kind, count) + field
    bits_at = 8 + len(body) + 12 + 4
    body += struct.pack(e + "HHII", 258, 3, len(bits), bits_at) + bytes(4)
    return bytes(out + body + struct.pack(e + str(len(bits)) + "H", *bits))


SEEDS = {
    "baseline.jpg": jpeg(40, 30),
    "progressive.jpg": jpeg(64, 48, sof=0xC2, before=segment(0xE1, b"Exif\0\0" + bytes(300))),
    "rgb.png": png(4, 3),
    "two-frames.gif": gif((10, 8), [(0, 0, 10, 8), (6, 2, 12, 9)]),
    "info.bmp": bmp(5, -3),
    "core.bmp": bmp(7, 2, core=True),
    "little.tif": tiff(300, 200),
    "big.tif": tiff(301, 201, big_endian=True, width_type=4, bits=(16, 16, 16)),
}

# One hostile header per kind. The expected reading of each is in the native test.
huge_sof = segment(0xC2, struct.pack(">BHHB", 8, 65535, 65535, 3))
REGRESSIONS = {
    # A length below 2, stray bytes, a fill-byte run, a stuffed zero and a restart marker before
    # a 65535 x 65535 progressive frame.
    "jpeg-garbage-before-huge-frame.jpg":
        b"\xFF\xD8\xFF\xE0\x00\x01junk\xFF\x00\xFF\xD3" + b"\xFF" * 40 + huge_sof[1:],
    # An APP1 segment claiming more bytes than the file has: no frame header is ever reached.
    "jpeg-segment-past-end.jpg": b"\xFF\xD8" + b"\xFF\xE1\xFF\xF0Exif\0\0" + huge_sof,
    # 2^31 - 1 square at 16 bits, cut right after the colour type.
    "png-huge-cut-ihdr.png": b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" +
        struct.pack(">IIBB", 0x7FFFFFFF, 0x7FFFFFFF, 16, 6),
    # A small screen, a frame at the far corner, then an extension whose sub-blocks run off the end.
    "gif-far-frame-open-blocks.gif": gif((10, 10), [(65535, 65535, 65535, 65535)])[:-1] +
        b"\x21\xFE" + b"\xFF" + bytes(255) + b"\xFF" + bytes(20),
    # The most negative height: its magnitude does not fit a signed 32-bit value.
    "bmp-most-negative-height.bmp": bmp(30000, -2**31),
    # The first directory's offset points far outside the file.
    "tiff-ifd-out-of-range.tif": b"II*\0" + struct.pack("<I", 0xFFFFFFF0) + bytes(16),
}


def write_all(folder, files):
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


write_all(os.path.join(HERE, "corpus", "image_header"), SEEDS)
write_all(os.path.join(HERE, "regressions", "image_header"), REGRESSIONS)
