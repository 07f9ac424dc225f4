#!/usr/bin/env python3
"""Writes the EXIF reader fuzzer's seed inputs into fuzz/corpus/exif: small JPEG marker
structures with EXIF blocks that reach every part of the reader. Run again after changing it;
the seeds are kept in the repository so a fuzz run needs nothing else. (The JPEG row decoder's
seeds in fuzz/corpus/jpeg_rows come from make_jpeg_corpus.cpp.)"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def segment(marker, body):
    return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body


def tiff(entries_ifd0, big_endian=False, ifd1=None, exif=None, gap=0):
    """A TIFF block. Entries are (tag, format, count, value bytes); the Exif IFD and IFD1
    are laid out after IFD0 and linked."""
    e = ">" if big_endian else "<"
    out = bytearray(b"MM" if big_endian else b"II")
    out += struct.pack(e + "HI", 42, 8 + gap) + bytes(gap)

    def layout(entries, link_to=None):
        at = len(out)
        out.extend(struct.pack(e + "H", len(entries)))
        fields = []
        for tag, fmt, count, value in entries:
            out.extend(struct.pack(e + "HHI", tag, fmt, count))
            fields.append((len(out), value))
            out.extend(value.ljust(4, b"\0") if len(value) <= 4 else bytes(4))
        link_at = len(out)
        out.extend(bytes(4))
        for field_at, value in fields:
            if len(value) > 4:
                struct.pack_into(e + "I", out, field_at, len(out))
                out.extend(value)
        return at, link_at, fields

    def short(v):
        return struct.pack(e + "H", v)

    def long(v):
        return struct.pack(e + "I", v)

    ifd0 = list(entries_ifd0(short, long, e))
    if exif is not None:
        ifd0.append((0x8769, 4, 1, long(0)))
    at0, link0, fields0 = layout(ifd0)
    if exif is not None:
        sub_at, _, _ = layout(list(exif(short, long, e)))
        struct.pack_into(e + "I", out, fields0[-1][0], sub_at)
    if ifd1 is not None:
        at1, _, fields1 = layout(list(ifd1(short, long, e)))
        struct.pack_into(e + "I", out, link0, at1)
    return bytes(out)


def exif_segment(block):
    return segment(0xE1, b"Exif\0\0" + block)


FRAME = segment(0xC0, bytes([8, 0, 16, 0, 16, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1]))
DQT = segment(0xDB, bytes([0]) + bytes(range(1, 65)))
SCAN = segment(0xDA, bytes([3, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0]))


def jpeg(*segments):
    return b"\xFF\xD8" + b"".join(segments) + FRAME + SCAN + b"\x12\x34\xFF\x00\x56\xFF\xD9"


def camera_ifd0(short, long, e):
    yield (0x010F, 2, 6, b"Maker\0")
    yield (0x0110, 2, 8, b"Model 1\0")
    yield (0x0112, 3, 1, short(6))
    yield (0x011A, 5, 1, long(72) + long(1))
    yield (0x011B, 5, 1, long(72) + long(1))
    yield (0x0128, 3, 1, short(2))


def camera_exif(short, long, e):
    yield (0x829A, 5, 1, long(1) + long(125))
    yield (0x829D, 5, 1, long(28) + long(10))
    yield (0x8822, 3, 1, short(2))
    yield (0x8827, 3, 1, short(200))
    yield (0x9000, 7, 4, b"0230")
    yield (0x9003, 2, 20, b"2024:01:02 03:04:05\0")
    yield (0x9102, 5, 1, long(2) + long(1))
    yield (0x9201, 10, 1, long(7) + long(1))
    yield (0x9202, 5, 1, long(3) + long(1))
    yield (0x9203, 10, 1, long(0xFFFFFFFF) + long(2))
    yield (0x9204, 10, 1, long(0) + long(3))
    yield (0x9205, 5, 1, long(3) + long(1))
    yield (0x9206, 5, 1, long(5) + long(2))
    yield (0x9207, 3, 1, short(5))
    yield (0x9208, 3, 1, short(0))
    yield (0x9209, 3, 1, short(0x19))
    yield (0x920A, 5, 1, long(50) + long(1))
    yield (0x9286, 7, 16, b"ASCII\0\0\0comment ")
    yield (0xA002, 4, 1, long(4000))
    yield (0xA003, 3, 1, short(3000))
    yield (0xA005, 4, 1, long(8))
    yield (0xA20E, 5, 1, long(4000) + long(22))
    yield (0xA20F, 11, 1, struct.pack(e + "f", 180.0))
    yield (0xA210, 3, 1, short(4))


def thumbnail_ifd1(short, long, e):
    yield (0x0112, 3, 1, short(8))
    yield (0x0201, 4, 1, long(8))
    yield (0x0202, 4, 1, long(16))


def orientation_only(short, long, e):
    yield (0x0112, 3, 1, short(3))


def odd_formats(short, long, e):
    yield (0x0112, 12, 1, struct.pack(e + "d", 5.0))
    yield (0x8827, 9, 1, long(0xFFFFFFF0))
    yield (0x011A, 5, 1, long(1) + long(0))
    yield (0x9286, 7, 3, b"a  ")


SEEDS = {
    "camera-ii.jpg": jpeg(segment(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0"),
                          exif_segment(tiff(camera_ifd0, False, thumbnail_ifd1, camera_exif)),
                          DQT),
    "camera-mm.jpg": jpeg(exif_segment(tiff(camera_ifd0, True, thumbnail_ifd1, camera_exif)), DQT),
    "orientation-gap.jpg": jpeg(exif_segment(tiff(orientation_only, True, gap=8))),
    "odd-formats.jpg": jpeg(exif_segment(tiff(odd_formats))),
    "comments.jpg": jpeg(segment(0xFE, b"first\r\nline\rtab\t\x01"),
                         exif_segment(tiff(orientation_only)),
                         segment(0xFE, b"second"),
                         segment(0xE1, b"http://ns.adobe.com/xap/1.0/\0<x/>")),
    "padding.jpg": b"\xFF\xD8\xFF\xFF\xFF\xFF\xFF" + exif_segment(tiff(orientation_only))[1:]
                   + FRAME + SCAN,
    "no-exif.jpg": jpeg(DQT),
    "end-of-image.jpg": b"\xFF\xD8" + DQT + b"\xFF\xD9\x00\x02",
}


def main():
    corpus = os.path.join(HERE, "corpus", "exif")
    os.makedirs(corpus, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
