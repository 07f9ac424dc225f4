#!/usr/bin/env python3
"""Adds a property box to the primary item of a HEIF file that heif-enc wrote (which writes no
irot, and no nclx colour box), shifting the iloc offsets into mdat by the bytes added.
Usage: IN OUT TYPE CONTENT, CONTENT in hex: "irot 03" turns three quarters to the left,
"colr 6e636c78000c000d000680" names Display P3 (primaries 12, sRGB curve 13, matrix 6, full range)."""
import struct
import sys


def boxes(data, start, end):
    """(type, start, size, header) of each box in data[start:end]."""
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack('>I4s', data[at:at + 8])
        header = 8
        if size == 1:
            size = struct.unpack('>Q', data[at + 8:at + 16])[0]
            header = 16
        elif size == 0:
            size = end - at
        yield kind.decode('latin-1'), at, size, header
        at += size


def child(data, parent, kind, full=False):
    _, start, size, header = parent
    first = start + header + (4 if full else 0)
    for box in boxes(data, first, start + size):
        if box[0] == kind:
            return box
    raise SystemExit(f'add_property: no {kind} box')


def grow(data, box, by):
    _, start, size, header = box
    assert header == 8, 'large boxes are not expected here'
    data[start:start + 4] = struct.pack('>I', size + by)


def main():
    data = bytearray(open(sys.argv[1], 'rb').read())
    kind, content = sys.argv[3].encode('latin-1'), bytes.fromhex(sys.argv[4])
    assert len(kind) == 4
    top = list(boxes(data, 0, len(data)))
    meta = next(b for b in top if b[0] == 'meta')
    pitm = child(data, meta, 'pitm', full=True)
    primary = struct.unpack('>H', data[pitm[1] + 12:pitm[1] + 14])[0]
    iprp = child(data, meta, 'iprp', full=True)
    ipco = child(data, iprp, 'ipco')
    ipma = child(data, iprp, 'ipma')
    iloc = child(data, meta, 'iloc', full=True)
    properties = len(list(boxes(data, ipco[1] + 8, ipco[1] + ipco[2])))

    # The item's association list in ipma: version 0, 1-byte property indices (flags bit 0 clear).
    version, flags = data[ipma[1] + 8], int.from_bytes(data[ipma[1] + 9:ipma[1] + 12], 'big')
    assert version == 0 and flags & 1 == 0, 'unexpected ipma layout'
    at = ipma[1] + 12
    count = struct.unpack('>I', data[at:at + 4])[0]
    at += 4
    insert_at = None
    for _ in range(count):
        item, n = struct.unpack('>HB', data[at:at + 3])
        if item == primary:
            data[at + 2] = n + 1
            insert_at = at + 3 + n
            break
        at += 3 + n
    assert insert_at is not None, 'primary item has no properties'
    association = bytes([0x80 | (properties + 1)])  # essential, 1-based index of the new box
    box = struct.pack('>I4s', 8 + len(content), kind) + content
    added = len(association) + len(box)

    # iloc offsets point into mdat, which moves by `added`.
    loc = iloc[1] + 12
    iloc_version = data[iloc[1] + 8]
    sizes = data[loc]
    offset_size, length_size = sizes >> 4, sizes & 15
    base_size = data[loc + 1] >> 4
    index_size = data[loc + 1] & 15 if iloc_version in (1, 2) else 0
    loc += 2
    if iloc_version < 2:
        items = struct.unpack('>H', data[loc:loc + 2])[0]
        loc += 2
    else:
        items = struct.unpack('>I', data[loc:loc + 4])[0]
        loc += 4

    def shift(at, size):
        if size == 0:
            return
        value = int.from_bytes(data[at:at + size], 'big')
        if value:
            data[at:at + size] = (value + added).to_bytes(size, 'big')

    for _ in range(items):
        loc += 2 if iloc_version < 2 else 4
        method = 0
        if iloc_version in (1, 2):
            method = struct.unpack('>H', data[loc:loc + 2])[0] & 15
            loc += 2
        loc += 2  # data reference index
        if method == 0:
            shift(loc, base_size)
        loc += base_size
        extents = struct.unpack('>H', data[loc:loc + 2])[0]
        loc += 2
        for _ in range(extents):
            loc += index_size
            if method == 0 and base_size == 0:
                shift(loc, offset_size)
            loc += offset_size + length_size

    # Inserted back to front, so the earlier positions stay valid.
    data[insert_at:insert_at] = association
    grow(data, ipma, len(association))
    ipco_end = ipco[1] + ipco[2]
    data[ipco_end:ipco_end] = box
    grow(data, ipco, len(box))
    grow(data, iprp, added)
    grow(data, meta, added)
    open(sys.argv[2], 'wb').write(data)


main()
