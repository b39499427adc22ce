#!/usr/bin/env python3
"""picture_facts.py FILE [OTHER]: a PNG (every filter, CRCs checked) or 24-bit BMP read without the
program's code; prints as JSON its size, PNG text chunks and pHYs, the SHA-256 of its RGB pixels
and, given OTHER, the mean difference per channel and the box where the two differ."""
import hashlib, json, struct, sys, zlib  # noqa: E401


def png(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat, facts = 8, b"", {"text": {}, "phys": None}
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        assert zlib.crc32(kind + body) == struct.unpack(">I", data[at + 8 + n:at + 12 + n])[0], "bad CRC"
        key, _, value = body.partition(b"\0")
        if kind == b"IHDR":
            w, h, depth, colour = struct.unpack(">IIBB", body[:10])
            assert (depth, colour) == (8, 2), "not 8-bit RGB"
        elif kind == b"pHYs":
            facts["phys"] = list(struct.unpack(">IIB", body))
        elif kind == b"tEXt":
            facts["text"][key.decode("latin-1")] = value.decode("latin-1")
        elif kind == b"iTXt":
            text = value[2:].split(b"\0", 2)[2]
            facts["text"][key.decode("latin-1")] = (zlib.decompress(text) if value[0] else text).decode("utf-8")
        idat += body if kind == b"IDAT" else b""
        at += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), w * 3, [], bytearray(w * 3)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride if f else 0):
            a, b, c = line[x - 3] if x >= 3 else 0, prev[x], prev[x - 3] if x >= 3 else 0
            if f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                a = a if pa <= pb and pa <= pc else b if pb <= pc else c
            line[x] = (line[x] + (0, a, b, (a + b) // 2, a)[f]) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, b"".join(rows), facts


def bmp(data):
    (size,), (offset,) = struct.unpack("<I", data[2:6]), struct.unpack("<I", data[10:14])
    w, h, _planes, bits = struct.unpack("<iiHH", data[18:30])
    stride = (w * 3 + 3) & ~3
    assert bits == 24 and h > 0 and len(data) == size == offset + stride * h, "not a padded bottom-up 24-bit BMP"
    rows = [data[offset + (h - 1 - y) * stride:][:w * 3] for y in range(h)]
    return w, h, b"".join(bytes(v for k in range(0, w * 3, 3) for v in row[k:k + 3][::-1]) for row in rows), {}


def facts_of(path):
    data = open(path, "rb").read()
    w, h, pixels, facts = (png if data[:4] == b"\x89PNG" else bmp)(data)
    facts.update(width=w, height=h, pixels=hashlib.sha256(pixels).hexdigest())
    return pixels, facts


pixels, facts = facts_of(sys.argv[1])
if len(sys.argv) > 2:
    other, row = facts_of(sys.argv[2])[0], facts["width"] * 3
    assert len(other) == len(pixels), "sizes differ"
    diff = [k for k in range(len(pixels)) if pixels[k] != other[k]]
    ys, xs = [k // row for k in diff], [k % row // 3 for k in diff]
    box = [min(xs), ys[0], max(xs), ys[-1]] if diff else None
    total = sum(abs(p - q) for p, q in zip(pixels, other))
    facts.update(mean_difference=total / len(pixels), differing_box=box)
print(json.dumps(facts))
