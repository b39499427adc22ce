#!/usr/bin/env python3
"""Reads the pictures the command line writes without the program's own code, and
prints what the tests check as one JSON object.

  picture_facts.py FILE             chunks and text of a PNG, size, pixel digest
  picture_facts.py FILE OTHER       also how the two pictures' pixels differ

PNG (every filter type, CRCs checked), 24-bit BMP and binary PPM (what
ImageMagick decodes a JPEG to) are read; pixels are compared as RGB.
"""
import hashlib
import json
import struct
import sys
import zlib


def png(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, chunks, text, idat, phys = 8, [], {}, b"", None
    while at < len(data):
        (n,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + n]
        (crc,) = struct.unpack(">I", data[at + 8 + n:at + 12 + n])
        assert zlib.crc32(kind + body) == crc, "bad CRC in " + kind.decode()
        chunks.append(kind.decode())
        if kind == b"IHDR":
            w, h, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 2), "not 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        elif kind == b"pHYs":
            phys = list(struct.unpack(">IIB", body))
        elif kind == b"tEXt":
            key, value = body.split(b"\0", 1)
            text[key.decode("latin-1")] = value.decode("latin-1")
        elif kind == b"iTXt":
            key, rest = body.split(b"\0", 1)
            compressed, rest = rest[0], rest[2:]
            _lang, _translated, value = rest.split(b"\0", 2)
            text[key.decode("latin-1")] = (zlib.decompress(value) if compressed else value).decode("utf-8")
        at += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), w * 3, [], bytearray(w * 3)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride if f else 0):
            a = line[x - 3] if x >= 3 else 0
            b, c = prev[x], prev[x - 3] if x >= 3 else 0
            if f == 1:
                line[x] = (line[x] + a) & 255
            elif f == 2:
                line[x] = (line[x] + b) & 255
            elif f == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, b"".join(rows), {"chunks": chunks, "text": text, "phys": phys}


def bmp(data):
    assert data[:2] == b"BM", "not a BMP"
    offset, = struct.unpack("<I", data[10:14])
    w, h, _planes, bits = struct.unpack("<iiHH", data[18:30])
    assert bits == 24 and h > 0, "not a bottom-up 24-bit BMP"
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h):
        row = data[offset + (h - 1 - y) * stride:offset + (h - 1 - y) * stride + w * 3]
        rows.append(bytes(v for k in range(0, len(row), 3) for v in (row[k + 2], row[k + 1], row[k])))
    return w, h, b"".join(rows), {}


def ppm(data):
    parts = data.split(maxsplit=4)
    assert parts[0] == b"P6" and parts[3] == b"255", "not a binary 8-bit PPM"
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][:w * h * 3], {}


def read(path):
    data = open(path, "rb").read()
    reader = png if data[:4] == b"\x89PNG" else bmp if data[:2] == b"BM" else ppm
    return reader(data)


def main():
    w, h, pixels, facts = read(sys.argv[1])
    facts.update(width=w, height=h, pixels=hashlib.sha256(pixels).hexdigest())
    if len(sys.argv) > 2:
        w2, h2, other, _ = read(sys.argv[2])
        assert (w, h) == (w2, h2), "sizes differ"
        total, box, row = 0, None, w * 3
        for y in range(h):
            ra, rb = pixels[y * row:(y + 1) * row], other[y * row:(y + 1) * row]
            if ra == rb:
                continue
            total += sum(abs(p - q) for p, q in zip(ra, rb))
            xs = [k // 3 for k in range(row) if ra[k] != rb[k]]
            box = [min(xs), y, max(xs), y] if box is None else [min(box[0], xs[0]), box[1], max(box[2], xs[-1]), y]
        facts.update(mean_difference=total / len(pixels), differing_box=box)
    print(json.dumps(facts))


if __name__ == "__main__":
    main()
