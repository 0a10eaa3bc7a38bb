#!/usr/bin/env python3
"""Packs wendrel-<n>.png into a Windows .ico: 32-bit BMP entries below 256 px
(every Windows version reads those), the 256 px one as PNG as Windows expects.

usage: make-ico.py OUT.ico SIZE...   (standard library only)
"""
import struct
import sys
import zlib


def read_png(path):
    """Returns (width, height, rows of RGBA bytes) of an 8-bit RGBA or RGB PNG."""
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError(f'{path}: not a PNG')
    pos, idat, width = 8, b'', 0
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            width, height, depth, ctype, _, _, interlace = struct.unpack('>IIBBBBB', body)
            if depth != 8 or ctype not in (2, 6) or interlace:
                raise ValueError(f'{path}: only 8-bit RGB/RGBA, not interlaced')
        elif kind == b'IDAT':
            idat += body
        elif kind == b'IEND':
            break
    bpp = 4 if ctype == 6 else 3
    raw, stride = zlib.decompress(idat), width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        base = y * (stride + 1)
        ftype, line = raw[base], bytearray(raw[base + 1:base + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        if bpp == 3:
            line = bytearray(b''.join(bytes(line[i:i + 3]) + b'\xff' for i in range(0, stride, 3)))
        rows.append(bytes(line))
    return width, height, rows


def bmp_entry(width, height, rows):
    # DIB inside an .ico: height counts the XOR image and the AND mask, rows bottom-up.
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(p for i in range(0, len(r), 4) for p in (r[i + 2], r[i + 1], r[i], r[i + 3]))
                      for r in reversed(rows))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytearray()
    for r in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(width):
            if r[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    out, sizes = sys.argv[1], [int(s) for s in sys.argv[2:]]
    images = []
    for n in sizes:
        path = f'wendrel-{n}.png'
        w, h, rows = read_png(path)
        if (w, h) != (n, n):
            raise ValueError(f'{path}: {w}x{h}, expected {n}x{n}')
        images.append((n, open(path, 'rb').read() if n >= 256 else bmp_entry(w, h, rows)))
    blob = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, body in images:
        blob += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    blob += b''.join(body for _, body in images)
    with open(out, 'wb') as f:
        f.write(blob)


if __name__ == '__main__':
    main()
