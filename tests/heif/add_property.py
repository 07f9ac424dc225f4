#!/usr/bin/env python3
"""Adds a property box to the primary item of a HEIF file that heif-enc wrote (it writes no irot
and no nclx colour box), moving the iloc offsets into mdat by the bytes added.
Usage: IN OUT TYPE CONTENT (hex): "irot 03" turns three quarters to the left,
"colr 6e636c78000c000d000680" names Display P3 (primaries 12, sRGB curve 13, matrix 6, full range)."""
import struct
import sys


def children(data, start, end):
    """{type: (start, size)} of the boxes in data[start:end] (heif-enc writes no large boxes)."""
    found = {}
    while start + 8 <= end:
        size, kind = struct.unpack('>I4s', data[start:start + 8])
        found.setdefault(kind.decode('latin-1'), (start, size))
        start += size
    return found


def main():
    data = bytearray(open(sys.argv[1], 'rb').read())
    box = struct.pack('>I4s', 8 + len(bytes.fromhex(sys.argv[4])), sys.argv[3].encode()) + bytes.fromhex(sys.argv[4])
    meta = children(data, 0, len(data))['meta']
    inside = children(data, meta[0] + 12, sum(meta))
    primary = struct.unpack('>H', data[inside['pitm'][0] + 12:inside['pitm'][0] + 14])[0]
    iprp = inside['iprp']
    ipco, ipma = (children(data, iprp[0] + 8, sum(iprp))[k] for k in ('ipco', 'ipma'))
    count = len(children(data, ipco[0] + 8, sum(ipco)))
    assert data[ipma[0] + 8] == 0 and data[ipma[0] + 11] & 1 == 0, 'ipma version 0, 1-byte indices expected'

    # The primary's association list gains the new box, essential, by its 1-based index.
    at, insert_at = ipma[0] + 16, None
    for _ in range(struct.unpack('>I', data[ipma[0] + 12:ipma[0] + 16])[0]):
        item, n = struct.unpack('>HB', data[at:at + 3])
        if item == primary:
            data[at + 2], insert_at = n + 1, at + 3 + n
            break
        at += 3 + n
    assert insert_at is not None, 'the primary item has no properties'
    added = 1 + len(box)

    # iloc (version 0 or 1): every offset into the file moves by `added`.
    iloc = inside['iloc'][0]
    version, loc = data[iloc + 8], iloc + 12
    offset_size, length_size = data[loc] >> 4, data[loc] & 15
    base_size, index_size = data[loc + 1] >> 4, (data[loc + 1] & 15) if version == 1 else 0
    items, loc = struct.unpack('>H', data[loc + 2:loc + 4])[0], loc + 4

    def move(at, size):
        value = int.from_bytes(data[at:at + size], 'big')
        if size and value:
            data[at:at + size] = (value + added).to_bytes(size, 'big')

    for _ in range(items):
        method = struct.unpack('>H', data[loc + 2:loc + 4])[0] & 15 if version == 1 else 0
        loc += 2 + (2 if version == 1 else 0) + 2
        if method == 0:
            move(loc, base_size)
        extents, loc = struct.unpack('>H', data[loc + base_size:loc + base_size + 2])[0], loc + base_size + 2
        for _ in range(extents):
            if method == 0 and base_size == 0:
                move(loc + index_size, offset_size)
            loc += index_size + offset_size + length_size

    # Each enclosing box grows first, then the bytes go in back to front, so every position holds.
    for (start, size), by in ((ipma, 1), (ipco, len(box)), (iprp, added), (meta, added)):
        data[start:start + 4] = struct.pack('>I', size + by)
    data[insert_at:insert_at] = bytes([0x80 | (count + 1)])
    data[sum(ipco):sum(ipco)] = box
    open(sys.argv[2], 'wb').write(data)


main()
