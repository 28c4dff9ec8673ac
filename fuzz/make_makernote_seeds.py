#!/usr/bin/env python3
"""Writes the starting corpora of the maker-note fuzz targets: small notes of
each maker built from scratch (first byte: fuzz flags, bit 0 = little-endian
Exif block). Run from the repository root."""
import os
import struct


def ifd(entries, le, base, next_link=False):
    """entries: (tag, type, count, value bytes); offsets count from base
    (where the IFD stands from the offset origin)."""
    e = '<' if le else '>'
    head = struct.pack(e + 'H', len(entries))
    data = b''
    start = base + 2 + 12 * len(entries) + (4 if next_link else 0)
    body = b''
    for tag, typ, count, value in entries:
        body += struct.pack(e + 'HHI', tag, typ, count)
        if len(value) <= 4:
            body += value.ljust(4, b'\0')
        else:
            body += struct.pack(e + 'I', start + len(data))
            data += value + (b'\0' if len(value) % 2 else b'')
    return head + body + (b'\0' * 4 if next_link else b'') + data


def shorts(le, *v):
    return struct.pack(('<' if le else '>') + 'H' * len(v), *v)


def longs(le, *v):
    return struct.pack(('<' if le else '>') + 'I' * len(v), *v)


NOTE = 8  # the fuzz harness puts the note 8 bytes after the TIFF header


def canon(exif_le):
    s = lambda *v: shorts(True, *v)
    settings = [0] * 43
    settings[0] = 86
    settings[1:5] = [1, 100, 3, 17]
    settings[11] = 31
    settings[13] = 65535
    settings[16] = 0x4064
    settings[22] = 0x1A2B
    settings[23:26] = [55, 18, 1]
    settings[29] = 0x2003
    shot = [0] * 34
    shot[0] = 68
    shot[1:8] = [160, 160, 65504, 128, 256, 65520, 13]
    shot[14] = 0x3003
    shot[15] = 65520
    shot[22] = 65472
    entries = [
        (1, 3, 43, s(*settings)),
        (2, 3, 4, s(2, 0, 236, 160)),
        (4, 3, 34, s(*shot)),
        (5, 3, 6, s(0, 0, 3, 0, 0, 4)),
        (6, 2, 8, b'IMG:JPG\0'),
        (7, 2, 12, b'\x83\x4c\x83\x84\x83\x6d\x83\x93 1.0\0'),
        (9, 2, 1, b'\0'),
        (12, 4, 1, longs(True, 123456)),
        (18, 3, 8, s(0, 0, 0, 0, 0, 0, 151, 151)),
        (21, 4, 1, longs(True, 0x90000000)),
        (26, 3, 1, s(1)),
        (29, 3, 3, s(6, 0, 10)),
        (95, 2, 12, b'EF-S18-55mm\0'),
        (160, 3, 14, s(28, 1, 3, 3, 0, 0, 0, 0, 0, 65535, 134, 0, 5, 65530)),
    ]
    return bytes([1 if exif_le else 0]) + ifd(entries, True, NOTE)


def panasonic(le):
    s = lambda *v: shorts(le, *v)
    l = lambda *v: longs(le, *v)
    face = struct.pack('<I', 2)
    for name in (b'Hanako', b''):
        face += name.ljust(20, b'\0') + struct.pack('<4H', 1, 2, 3, 4) + b'0003:01:00 00:00:00\0'
    entries = [
        (1, 3, 1, s(2)), (2, 7, 4, b'0121'), (3, 3, 1, s(17)), (15, 1, 2, b'\x10\x10'),
        (31, 3, 1, s(37)), (35, 8, 1, s(65533)), (37, 7, 16, b'F541207100001\0\0\0'),
        (38, 7, 4, b'0310'), (41, 4, 1, l(12345)), (43, 4, 1, l(0)), (54, 3, 1, s(65535)),
        (57, 3, 1, s(65535)), (60, 3, 1, s(65534)), (68, 3, 1, s(0)),
        (77, 5, 2, l(1, 2, 1, 2)), (81, 2, 10, b' LENS TYPE\0'), (97, 7, len(face), face),
        (109, 2, 7, '東京'.encode() + b'\0'), (32768, 7, 4, b'0120'), (32772, 3, 1, s(412)),
    ]
    body = ifd(entries, le, NOTE + 12)
    if not le:
        body = body[1::-1] + body[2:]  # the entry count is stored little-endian
    return bytes([1 if le else 0]) + b'Panasonic\0\0\0' + body


def nikon(inner_le, exif_le):
    s = lambda *v: shorts(inner_le, *v)
    l = lambda *v: longs(inner_le, *v)
    entries = [
        (1, 7, 4, b'0210'), (2, 3, 2, s(200, 400)), (4, 2, 8, b'FINE   \0'),
        (11, 8, 2, s(65535, 2)), (12, 5, 4, l(1, 3, 2, 1, 5, 4, 1, 1)), (17, 4, 1, l(0x100)),
        (25, 10, 1, l(0xFFFFFFFE, 3)), (26, 7, 6, b' Edit\0'), (27, 3, 7, s(1, 2, 3, 4, 5, 6, 7)),
        (32, 1, 1, b'\x02'), (34, 3, 1, s(65535)), (63, 10, 2, l(0xFFFFFFFF, 1, 2, 1)),
        (0x50, 6, 5, b'\xff\x02\x03\x04\x05'), (0x66, 5, 2, l(1, 2, 3, 0)), (131, 1, 1, b'\x0e'),
        (132, 5, 4, l(18, 1, 55, 1, 35, 10, 56, 10)), (135, 1, 1, b'\x09'), (137, 3, 1, s(0x821)),
        (152, 7, 33, bytes(range(33))), (154, 5, 2, l(4288, 1, 2848, 1)),
        (158, 3, 12, s(3, 4, 5, 2, 54, 6, 7, 8, 9, 10, 11, 0)), (0xAB, 3, 6, s(1, 2, 3, 4, 5, 6)),
        (167, 4, 1, l(12345)), (0x78, 9, 1, l(0xFFFFFFFF)),
    ]
    order = b'II' if inner_le else b'MM'
    header = order + (struct.pack('<HI', 42, 8) if inner_le else struct.pack('>HI', 42, 8))
    return bytes([1 if exif_le else 0]) + b'Nikon\0\x02\x10\0\0' + header + ifd(entries, inner_le, 8)


def write(name, seeds):
    folder = os.path.join('fuzz', 'corpus', name)
    os.makedirs(folder, exist_ok=True)
    for i, seed in enumerate(seeds):
        with open(os.path.join(folder, 'seed_%02d' % i), 'wb') as f:
            f.write(seed)


write('fuzz_canon_note', [canon(True), canon(False), b'\x01\x00\x00'])
write('fuzz_panasonic_note', [panasonic(True), panasonic(False), b'\x01Panasonic\0\0\0\0\0'])
write('fuzz_nikon_note', [nikon(a, b) for a in (False, True) for b in (False, True)]
      + [b'\x00Nikon\0\x02\x10\0\0MM\0*\0\0\0\x08\0\0'])
