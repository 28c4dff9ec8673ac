#!/usr/bin/env python3
"""Writes the starting corpus of fuzz_jpeg_read: small JPEG files with Exif
blocks in both byte orders that reach every tag rule of the reader and the
three maker-note decoders. Run from anywhere:
    python3 fuzz/make_jpeg_read_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_jpeg_read")

ASCII, SHORT, LONG, RATIONAL, UNDEF, SRATIONAL, BYTE = 2, 3, 4, 5, 7, 10, 1


def asc(tag, text):
    return (tag, ASCII, text.encode("latin-1") + b"\0")


def sh(tag, *values):
    return (tag, SHORT, list(values))


def rat(tag, *pairs, kind=RATIONAL):
    return (tag, kind, list(pairs))


def raw(tag, kind, data):
    return (tag, kind, data)


def tiff(le, ifds):
    """ifds: list of (entries, link) in walk order; IFD 0 gets pointers
    34665 and 34853 to IFDs 1 and 2 when they exist."""
    e = "<" if le else ">"
    ifds = [list(x) for x in ifds]
    if len(ifds) > 1:
        ifds[0].append((34665, LONG, "ifd1"))
    if len(ifds) > 2:
        ifds[0].append((34853, LONG, "ifd2"))
    starts, pos = [], 8
    for entries in ifds:
        starts.append(pos)
        pos += 2 + 12 * len(entries) + 4
    head = bytearray((b"II" if le else b"MM") + struct.pack(e + "HI", 42, 8))
    data = bytearray()
    body = bytearray()
    for k, entries in enumerate(ifds):
        body += struct.pack(e + "H", len(entries))
        for tag, kind, value in entries:
            if value == "ifd1" or value == "ifd2":
                body += struct.pack(e + "HHII", tag, kind, 1, starts[int(value[-1])])
                continue
            if kind == SHORT:
                blob, count = b"".join(struct.pack(e + "H", v) for v in value), len(value)
            elif kind in (RATIONAL, SRATIONAL):
                fmt = e + ("II" if kind == RATIONAL else "ii")
                blob, count = b"".join(struct.pack(fmt, n, d) for n, d in value), len(value)
            elif kind == LONG:
                blob, count = b"".join(struct.pack(e + "I", v) for v in value), len(value)
            else:
                blob, count = bytes(value), len(value)
            if len(blob) <= 4:
                body += struct.pack(e + "HHI", tag, kind, count) + blob.ljust(4, b"\0")
            else:
                body += struct.pack(e + "HHII", tag, kind, count, pos + len(data))
                data += blob + (b"\0" if len(blob) % 2 else b"")
        body += struct.pack(e + "I", starts[3] if k == 0 and len(ifds) > 3 else 0)
    return bytes(head + body + data)


def segment(marker, payload):
    return struct.pack(">HH", marker, len(payload) + 2) + payload


def jpeg(*segments):
    body = b"\xFF\xD8" + b"".join(segments) + segment(0xFFDB, bytes(65)) + b"\xFF\xD9"
    return body.ljust(100, b"\0")


def exif(block):
    return segment(0xFFE1, b"Exif\0\0" + block)


def makernote_ifd(le, entries):
    return tiff(le, [entries])[8:]


STANDARD = [
    rat(33434, (1, 250)), rat(33437, (28, 10)), sh(34850, 2), sh(34855, 200), sh(34864, 2),
    (34867, LONG, [400]), asc(36867, "2011:04:30 09:15:22"), asc(36868, "2011:04:30 09:15:22"),
    rat(37379, (0xFFFFFFFF, 1)), rat(37380, (-2, 3), kind=SRATIONAL), rat(37381, (3, 1)),
    rat(37382, (0, 1)), sh(37383, 5), sh(37384, 255), sh(37385, 0x19), rat(37386, (6, 10)),
    sh(37396, 1000, 750, 200, 100), raw(37510, UNDEF, b"UNICODE\0H\0i\0"),
    asc(40964, "SND00001.WAV"), raw(41728, UNDEF, b"\x03"), sh(41986, 0), sh(41987, 1),
    rat(41988, (0, 100)), sh(41989, 28), sh(41990, 3), sh(41991, 1), sh(41992, 2), sh(41993, 1),
    sh(41994, 0), sh(41996, 2), asc(42016, "ID"), rat(42034, (24, 1), (70, 1), (28, 10), (0, 0)),
    asc(42036, "LENS"), rat(42240, (22, 10)), raw(50898, BYTE, "たま".encode("utf-8")),
]
GPS = [
    asc(1, "N"), rat(2, (35, 1), (39, 1), (302, 10)), asc(3, "W"), rat(4, (139, 1), (4473, 100), (0, 1)),
    raw(5, BYTE, b"\x01"), rat(6, (5, 1)), rat(7, (3, 1), (7, 1), (9, 1)), asc(8, "06"), asc(9, "A"),
    asc(10, "3"), rat(11, (25, 10)), asc(12, "K"), rat(13, (30, 1)), asc(18, "WGS-84"),
    raw(27, UNDEF, b"ASCII\0\0\0GPS"), raw(28, UNDEF, b"ASCII\0\0\0Tokyo"), asc(29, "2011:04:30"),
]
IFD0 = [
    asc(11, "Software x"), raw(270, ASCII, b" " * 32 + b"\0"), sh(274, 6), asc(305, "Editor"),
    asc(306, "2011:05:01 10:00:00"), raw(40091, BYTE, "旅行".encode("utf-16-le") + b"\0\0"),
    raw(40092, BYTE, "c".encode("utf-16-le") + b"\0\0"),
]
IFD1 = [sh(274, 3), (513, LONG, [0]), (514, LONG, [0])]


def seeds():
    for le in (False, True):
        tag = "le" if le else "be"
        yield f"standard_{tag}", jpeg(exif(tiff(le, [IFD0 + [asc(271, "Maker"), asc(272, "Model")], STANDARD, GPS, IFD1])),
                                     segment(0xFFFE, b"comment\0"))
        # Maker notes: Canon (a bare IFD), Nikon (type 3 with its own TIFF
        # header), Panasonic (12-byte header, then an IFD).
        canon = makernote_ifd(le, [sh(1, 0, 2, 0, 4, 1), asc(6, "Canon EOS"), (12, LONG, [1234])])
        yield f"canon_{tag}", jpeg(exif(tiff(le, [[asc(271, "Canon"), asc(272, "Canon EOS 5D")],
                                                   [raw(37500, UNDEF, canon), rat(33437, (4, 1))]])))
        nikon = b"Nikon\0\x02\x10\0\0" + tiff(le, [[sh(2, 0, 200), asc(4, "FINE"), asc(5, "AUTO")]])
        yield f"nikon_{tag}", jpeg(exif(tiff(le, [[asc(271, "NIKON CORPORATION")], [raw(37500, UNDEF, nikon)]])))
        pana = b"Panasonic\0\0\0" + makernote_ifd(le, [sh(1, 2), sh(3, 1), sh(7, 1), sh(15, 1, 0)])
        yield f"panasonic_{tag}", jpeg(exif(tiff(le, [[asc(271, "Panasonic")], [raw(37500, UNDEF, pana)]])))
    yield "xmp_then_com", jpeg(segment(0xFFE1, b"http://ns.adobe.com/xap/1.0/\0<x/>"), segment(0xFFFE, b"Hello"))
    yield "progressive", jpeg(segment(0xFFE0, b"JFIF\0\1\1\0\0\1\0\1\0\0"), segment(0xFFC2, bytes(17)),
                              segment(0xFFFE, b"\x93\xfa\x96\x7b\0"))
    yield "gps_refs_only", jpeg(exif(tiff(False, [[asc(271, "x")], [], [asc(1, "S"), asc(3, "E")]])))
    yield "gps_bad_minutes", jpeg(exif(tiff(True, [[asc(271, "x")], [sh(41987, 0)],
                                                   [rat(2, (35, 1), (0, 0), (0, 0))]])))
    yield "short", b"\xFF\xD8\xFF\xE1\x00\x10Exif\0\0II*\0"


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(OUT, name + ".jpg"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
