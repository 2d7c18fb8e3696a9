#!/usr/bin/env python3
"""Writes the small files whose headers claim pictures far larger than
their data: each decoder must refuse them before it allocates what the
header claims. Run from this folder; the files are kept in the repository."""
import struct
import zlib


def tiff_lzw(data):
    """data as a TIFF LZW strip: codes of 9 to 12 bits, most significant bit
    first, the code width growing one code early."""
    out = bytearray()
    acc = bits = 0

    def put(code, width):
        nonlocal acc, bits
        acc = (acc << width) | code
        bits += width
        while bits >= 8:
            bits -= 8
            out.append((acc >> bits) & 0xFF)

    table = {bytes([i]): i for i in range(256)}
    next_code, width = 258, 9
    put(256, width)  # clear
    word = b''
    for c in data:
        longer = word + bytes([c])
        if longer in table:
            word = longer
            continue
        put(table[word], width)
        table[longer] = next_code
        next_code += 1
        if next_code + 1 >= (1 << width) and width < 12:
            width += 1
        word = bytes([c])
    if word:
        put(table[word], width)
    put(257, width)  # end of information
    if bits:
        out.append((acc << (8 - bits)) & 0xFF)
    return bytes(out)


def tiff(width, height, samples, bits, compression, photometric, strip):
    """A little-endian TIFF of one strip."""
    entries = sorted([
        (256, 4, width), (257, 4, height), (258, 3, bits), (259, 3, compression),
        (262, 3, photometric), (273, 4, None), (277, 3, samples), (278, 4, height),
        (279, 4, len(strip)), (284, 3, 1),
    ])
    strip_at = 8 + 2 + 12 * len(entries) + 4
    out = bytearray(b'II*\0' + struct.pack('<IH', 8, len(entries)))
    for tag, kind, value in entries:
        value = strip_at if value is None else value
        out += struct.pack('<HHIHH', tag, kind, 1, value, 0) if kind == 3 else struct.pack('<HHII', tag, kind, 1, value)
    return bytes(out + struct.pack('<I', 0) + strip)


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


# 160 x 120 RGB with 65534 samples a pixel: one strip of 1.26 GB, in 573 bytes.
with open('tiff-65534-samples-per-pixel.tif', 'wb') as f:
    f.write(tiff(160, 120, 65534, 8, 5, 2, tiff_lzw(bytes(512)) + bytes(400)))

# A 16384 x 16384 screen and frame whose compressed pixels are a few bytes.
with open('gif-16384-square-frame-without-its-data.gif', 'wb') as f:
    f.write(b'GIF89a' + struct.pack('<HHBBB', 16384, 16384, 0, 0, 0) +
            b',' + struct.pack('<HHHHB', 0, 0, 16384, 16384, 0) + b'\x08\x04\x00\x01\x02\x03\x00;')

# 8192 x 8192 RGBA (256 MiB of samples) in 8 KB: enough for a picture of one
# bit a pixel, far too little for four bytes.
with open('png-8192-square-rgba-in-8k.png', 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', struct.pack('>IIBBBBB', 8192, 8192, 8, 6, 0, 0, 0)) +
            png_chunk(b'IDAT', zlib.compress(bytes(range(256)) * 32, 0)) + png_chunk(b'IEND', b''))
