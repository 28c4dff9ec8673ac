#!/usr/bin/env python3
"""Writes the starting corpora of the picture-decoder fuzz targets, derived
from the sample pictures beside the repository (../shared/testdata/nonjpeg,
the camera folders and hostile/) and kept small: bitmaps and PNG pictures
cut to their first rows, GIF frames re-encoded from their real palettes and
sizes, icons rebuilt around a cut entry, metafiles cut to their first
records, the thumbnails inside camera JPEG files, and small copies of each
hostile trick built anew. The seeds stay beside the build, one folder per
target in OUT (default build/fuzz-seeds): the sample pictures are not ours
to copy into the repository, whole or in part. The build makes them where
the samples are; scripts/fuzz.sh and the replay tests read them from there.
    python3 fuzz/make_decoder_seeds.py [OUT [SAMPLES]]
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "testdata"))
CORPUS = os.path.join(HERE, "..", "build", "fuzz-seeds")
MAX_SEED = 16384


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if len(data) > MAX_SEED:
        data = data[:MAX_SEED]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def files(folder, endings):
    path = os.path.join(DATA, folder)
    if not os.path.isdir(path):
        return []
    return sorted(os.path.join(path, n) for n in os.listdir(path) if n.lower().endswith(endings))


def read(path):
    with open(path, "rb") as f:
        return f.read()


# --- BMP -------------------------------------------------------------------

def cut_bmp(data, rows=16, cols=24):
    """The bitmap with at most `rows` rows and `cols` columns of its pixels,
    headers, masks and palette as they were; run-length data keeps its first
    runs up to an end-of-bitmap code."""
    if len(data) < 30 or data[:2] != b"BM":
        return data
    off, hsize = struct.unpack_from("<II", data, 10)
    if hsize == 12:
        w, h, _, bpp = struct.unpack_from("<HHHH", data, 18)
        comp = 0
    else:
        w, h, _, bpp, comp = struct.unpack_from("<iiHHI", data, 18)
    head = bytearray(data[:off])
    stride_in = ((abs(w) * bpp + 31) // 32) * 4
    if comp in (1, 2):
        body = bytearray(data[off:off + 600])
        # End at a code boundary: walk the codes.
        pos, out = 0, bytearray()
        while pos + 2 <= len(body):
            n, c = body[pos], body[pos + 1]
            step = 2
            if n == 0 and c == 2:
                step = 4
            elif n == 0 and c > 2:
                count = (c + 1) // 2 if comp == 2 else c
                step = 2 + ((count + 1) & ~1)
            if pos + step > len(body):
                break
            out += body[pos:pos + step]
            pos += step
            if n == 0 and c == 1:
                break
        return bytes(head + out + b"\x00\x01")
    nw, nh = min(abs(w), cols), min(abs(h), rows)
    stride = ((nw * bpp + 31) // 32) * 4
    pixels = bytearray()
    bottom_up = h > 0 and hsize != 12 or hsize == 12
    for r in range(nh):
        # Bottom-up files store the last row first: keep the top rows.
        src_row = (abs(h) - nh + r) if bottom_up else r
        start = off + src_row * stride_in
        pixels += data[start:start + stride].ljust(stride, b"\0")
    if hsize == 12:
        struct.pack_into("<HH", head, 18, nw, nh)
    else:
        struct.pack_into("<ii", head, 18, nw, nh if h > 0 else -nh)
        struct.pack_into("<I", head, 34, len(pixels))
    out = bytes(head + pixels)
    return out[:2] + struct.pack("<I", len(out)) + out[6:]


def bmp_header(w, h, bpp, comp, extra=b"", palette=b""):
    off = 54 + len(extra) + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, comp, 0, 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 0, 0, 0, off) + info + extra + palette


def bmp_seeds():
    for path in files("nonjpeg", (".bmp",)):
        write("fuzz_bmp_decode", os.path.basename(path), cut_bmp(read(path)))
    # The hostile tricks, built small: a 16-bit bit-field mask of all 32
    # bits, and runs claiming far more pixels than they paint.
    masks = struct.pack("<III", 0xFFFFFFFF, 0x07E0, 0x001F)
    write("fuzz_bmp_decode", "bitfields16_full_mask.bmp",
          bmp_header(4, 2, 16, 3, masks) + bytes([0xFF, 0xFF, 0x1F, 0, 0x00, 0xF8, 0xE0, 0x07] * 2))
    pal = b"".join(struct.pack("<BBBB", i, 255 - i, i // 2, 0) for i in range(256))
    runs = b"\xff\x07" * 40 + b"\x00\x02\xff\xff" + b"\x00\x01"
    write("fuzz_bmp_decode", "rle8_claims_more.bmp", bmp_header(3000, 3000, 8, 1, palette=pal) + runs)
    write("fuzz_bmp_decode", "rle4_delta.bmp",
          bmp_header(40, 20, 4, 2, palette=pal[:64]) + b"\x08\x12\x00\x02\x03\x02\x00\x05\x12\x34\x50\x00\x00\x00\x00\x01")
    rows = b"".join(bytes([(x * 37 + y * 11) & 0xFF for x in range(8)]) for y in range(5))
    write("fuzz_bmp_decode", "pal2_topdown.bmp", bmp_header(32, -5, 2, 0, palette=pal[:16]) + rows)
    write("fuzz_bmp_decode", "rgb32_alpha_masks.bmp",
          bmp_header(3, 3, 32, 3, struct.pack("<III", 0xFF00, 0xFF0000, 0xFF000000)) + bytes(range(36)))


# --- PNG -------------------------------------------------------------------

def png_chunks(data):
    pos = 8
    while pos + 12 <= len(data):
        n, = struct.unpack_from(">I", data, pos)
        kind = data[pos + 4:pos + 8]
        yield kind, data[pos + 8:pos + 8 + n]
        pos += 12 + n


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def cut_png(data, rows=12):
    """The picture's first rows: a prefix of the filtered rows is itself a
    valid picture, since each row's filter looks only at the row above."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return data
    chunks = list(png_chunks(data))
    ihdr = next((b for k, b in chunks if k == b"IHDR"), None)
    if not ihdr or len(ihdr) < 13:
        return data
    w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", ihdr[:13])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour, 1)
    row_bytes = (w * channels * depth + 7) // 8 + 1
    try:
        raw = zlib.decompress(b"".join(b for k, b in chunks if k == b"IDAT"))
    except zlib.error:
        return data
    nh = min(h, rows)
    if interlace:
        nh = h if h <= rows else rows
        if h > rows:
            return data[:MAX_SEED]
    out = b"\x89PNG\r\n\x1a\n"
    for kind, body in chunks:
        if kind == b"IHDR":
            out += png_chunk(kind, struct.pack(">II", w, nh) + body[8:])
        elif kind == b"IDAT":
            continue
        elif kind == b"IEND":
            out += png_chunk(b"IDAT", zlib.compress(raw[:nh * row_bytes], 9)) + png_chunk(kind, body)
        elif len(body) < 2048:
            out += png_chunk(kind, body)
    return out


def png_of(w, h, depth, colour, raw_rows, interlace=0, extra=()):
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, interlace)
    out = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr)
    for kind, body in extra:
        out += png_chunk(kind, body)
    return out + png_chunk(b"IDAT", zlib.compress(raw_rows, 9)) + png_chunk(b"IEND", b"")


def png_seeds():
    for path in files("nonjpeg", (".png",)):
        write("fuzz_png_decode", os.path.basename(path), cut_png(read(path)))
    # A 1-bit picture claiming far more than its few bytes inflate to, and
    # an interlaced one with a transparent colour, made anew.
    write("fuzz_png_decode", "bomb_1bit.png", png_of(4000, 4000, 1, 0, b"\0" * 64))
    rows = b"".join(b"\x00" + bytes((x * 9 + y * 5) & 0xFF for x in range(8 * 3)) for y in range(8))
    write("fuzz_png_decode", "interlaced_rgb.png", png_of(8, 8, 8, 2, rows * 2, 1, [(b"tRNS", b"\0\1\0\2\0\3")]))
    pal = bytes(range(48))
    rows = b"".join(b"\x01" + bytes([0x1B, 0xE4]) for _ in range(6))
    write("fuzz_png_decode", "palette_2bit.png", png_of(8, 6, 2, 3, rows, 0, [(b"PLTE", pal), (b"tRNS", b"\x80")]))
    rows = b"".join(b"\x04" + bytes((x * 40) & 0xFF for x in range(4 * 2 * 2)) for _ in range(4))
    write("fuzz_png_decode", "gray_alpha16.png", png_of(4, 4, 16, 4, rows))


# --- GIF -------------------------------------------------------------------

def lzw_plain(pixels, min_code):
    """LZW data that never grows its table: a clear code before the table
    would widen the codes, so every code has min_code + 1 bits."""
    clear, end = 1 << min_code, (1 << min_code) + 1
    width = min_code + 1
    limit = (1 << width) - 2 - end
    codes = [clear]
    run = 0
    for p in pixels:
        if run == limit:
            codes.append(clear)
            run = 0
        codes.append(p)
        run += 1
    codes.append(end)
    bits, nbits, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray([min_code])
    for i in range(0, len(out), 255):
        part = out[i:i + 255]
        blocks += bytes([len(part)]) + part
    return bytes(blocks + b"\0")


def gif_frame_info(data):
    """Screen size, global colour table, and the first frame's place, size,
    interlace flag, local table and transparent index."""
    if data[:3] != b"GIF" or len(data) < 13:
        return None
    sw, sh, flags, bg, _ = struct.unpack_from("<HHBBB", data, 6)
    pos = 13
    gct = b""
    if flags & 0x80:
        n = 3 << ((flags & 7) + 1)
        gct = data[pos:pos + n]
        pos += n
    transparent = None
    while pos < len(data):
        b = data[pos]
        if b == 0x21:
            label = data[pos + 1]
            pos += 2
            if label == 0xF9 and data[pos] >= 4 and data[pos + 1] & 1:
                transparent = data[pos + 4]
            while pos < len(data) and data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif b == 0x2C:
            left, top, w, h, f = struct.unpack_from("<HHHHB", data, pos + 1)
            lct = b""
            if f & 0x80:
                lct = data[pos + 10:pos + 10 + (3 << ((f & 7) + 1))]
            return sw, sh, gct, left, top, w, h, bool(f & 0x40), lct, transparent
        else:
            return None
    return None


def gif_of(sw, sh, gct, left, top, w, h, interlaced, lct, transparent, pattern=lambda x, y: (x + y)):
    table = lct or gct or bytes(range(48))
    bits = max(1, (len(table) // 3 - 1).bit_length())
    table = table.ljust(3 << bits, b"\0")[:3 << bits]
    colours = 1 << bits
    out = b"GIF89a" + struct.pack("<HHBBB", sw, sh, 0x80 | (bits - 1) if not lct else 0, 0, 0)
    if not lct:
        out += table
    if transparent is not None:
        out += b"\x21\xf9\x04\x01\x00\x00" + bytes([transparent % colours]) + b"\0"
    flags = (0x40 if interlaced else 0) | ((0x80 | (bits - 1)) if lct else 0)
    out += b"\x2c" + struct.pack("<HHHHB", left, top, w, h, flags)
    if lct:
        out += table
    order = list(range(h))
    if interlaced:
        order = list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))
    pixels = [pattern(x, y) % colours for y in order for x in range(w)]
    return out + lzw_plain(pixels, max(2, bits)) + b";"


def gif_seeds():
    for path in files("nonjpeg", (".gif",)):
        info = gif_frame_info(read(path))
        if not info:
            continue
        sw, sh, gct, left, top, w, h, interlaced, lct, transparent = info
        # The frame cut to 32 x 24 pixels at its place on a screen as large
        # as it needs.
        w, h = min(w, 32), min(h, 24)
        left, top = min(left, 8), min(top, 8)
        sw, sh = max(min(sw, 48), left + w), max(min(sh, 40), top + h)
        write("fuzz_gif_decode", os.path.basename(path),
              gif_of(sw, sh, gct, left, top, w, h, interlaced, lct, transparent))
    # A huge screen around a one-pixel frame, built anew.
    write("fuzz_gif_decode", "screen_huge_frame_1x1.gif", gif_of(22000, 22000, bytes(6), 0, 0, 1, 1, False, b"", None))
    write("fuzz_gif_decode", "interlaced_offset.gif",
          gif_of(20, 30, bytes(range(48)), 3, 5, 11, 19, True, b"", 2, lambda x, y: x * y))


# --- JPEG ------------------------------------------------------------------

def thumbnail(data):
    """The JPEG thumbnail a camera stores in its Exif block."""
    start = data.find(b"\xff\xd8\xff", 2)
    if start < 0 or start > 65536:
        return None
    end = data.find(b"\xff\xd9", start)
    return data[start:end + 2] if end > start else None


def jpeg_seeds():
    kept = 0
    for folder in ("canon", "nikon", "panasonic", "other-makes", "orientation"):
        for path in files(folder, (".jpg", ".jpeg")):
            t = thumbnail(read(path))
            if t and len(t) <= MAX_SEED and kept < 8:
                write("fuzz_jpeg_decode", "thumb_" + os.path.basename(path), t)
                kept += 1
    hostile = os.path.join(DATA, "hostile", "jpeg_progressive_22000_padded.jpg")
    if os.path.exists(hostile):
        data = read(hostile)
        # Without its padding comment, and claiming a size its scans can cover.
        pos = 2
        out = bytearray(b"\xff\xd8")
        while pos + 4 <= len(data) and data[pos] == 0xFF:
            marker = data[pos + 1]
            n, = struct.unpack_from(">H", data, pos + 2)
            seg = bytearray(data[pos:pos + 2 + n])
            if marker == 0xDA:
                out += data[pos:]
                break
            if marker in (0xC0, 0xC1, 0xC2):
                struct.pack_into(">HH", seg, 5, 64, 48)
            if marker != 0xFE:
                out += seg
            pos += 2 + n
        write("fuzz_jpeg_decode", "progressive_small.jpg", bytes(out))


# --- ICO -------------------------------------------------------------------

def ico_seeds():
    for path in files("nonjpeg", (".ico", ".cur")):
        data = read(path)
        if len(data) < 22:
            continue
        kind, count = struct.unpack_from("<HH", data, 2)
        entry = bytearray(data[6:22])
        size, offset = struct.unpack_from("<II", entry, 8)
        image = data[offset:offset + size]
        if image[:8] == b"\x89PNG\r\n\x1a\n":
            image = cut_png(image, rows=16)
            entry[1] = 16
        elif len(image) >= 40:
            # A DIB entry: its height counts the colour rows and the mask.
            w, h2 = struct.unpack_from("<ii", image, 4)
            image = image[:min(len(image), 40 + 1024 + 2048)]
        struct.pack_into("<II", entry, 8, len(image), 22)
        write("fuzz_ico_decode", os.path.basename(path), data[:4] + struct.pack("<H", 1) + bytes(entry) + image)


# --- Metafiles -------------------------------------------------------------

def cut_wmf(data, records=40):
    pos = 0
    head = b""
    if data[:4] == b"\xd7\xcd\xc6\x9a":  # placeable header
        head, data = data[:22], data[22:]
    if len(data) < 18:
        return head + data
    hsize = struct.unpack_from("<H", data, 2)[0] * 2
    pos = hsize
    out = bytearray(data[:hsize])
    for _ in range(records):
        if pos + 6 > len(data):
            break
        n, = struct.unpack_from("<I", data, pos)
        if n < 3 or pos + 2 * n > len(data):
            break
        out += data[pos:pos + 2 * n]
        pos += 2 * n
    out += b"\x03\x00\x00\x00\x00\x00"  # end of file record
    struct.pack_into("<I", out, 6, len(out) // 2)
    return head + bytes(out)


def cut_emf(data, records=40):
    if len(data) < 88:
        return data
    hsize, = struct.unpack_from("<I", data, 4)
    pos = hsize
    out = bytearray(data[:hsize])
    kept = 1
    for _ in range(records):
        if pos + 8 > len(data):
            break
        kind, n = struct.unpack_from("<II", data, pos)
        if n < 8 or pos + n > len(data) or kind == 14:
            break
        out += data[pos:pos + n]
        pos += n
        kept += 1
    out += struct.pack("<IIIII", 14, 20, 0, 0, 20)  # end of file record
    struct.pack_into("<II", out, 48, len(out), kept + 1)
    return bytes(out)


def metafile_seeds():
    for path in files("nonjpeg", (".wmf",)):
        write("fuzz_wmf_decode", os.path.basename(path), cut_wmf(read(path)))
    for path in files("nonjpeg", (".emf",)):
        write("fuzz_emf_decode", os.path.basename(path), cut_emf(read(path)))


# --- today's formats ------------------------------------------------------

MAX_MODERN_SEED = 65536


def write_whole(target, name, data):
    """Containers are useless cut: small samples are kept whole."""
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def made_by_imagemagick(source, ending, extra=()):
    """A small picture in a format ImageMagick writes (HEIC, AVIF, WebP),
    cut from a sample; None where ImageMagick or its delegate is missing."""
    import shutil
    import subprocess
    import tempfile
    convert = shutil.which("convert")
    if not convert:
        return None
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "seed." + ending)
        try:
            subprocess.run([convert, source + "[0]", "-resize", "64x48!", *extra, out],
                           check=True, capture_output=True, timeout=60)
            return read(out)
        except (subprocess.SubprocessError, OSError):
            return None


def tiff_raw_with_preview(jpeg):
    """A TIFF raw file as cameras write it: IFD0 with the JPEG as its
    thumbnail, a sub-IFD with it again as a JPEG strip, and a sub-IFD of
    lossless "raw data"."""
    raw = b"\xff\xd8\xff\xc3\x00\x0b\x08\x00\x10\x00\x10\x01\x01\x11\x00" + b"\x55" * 64
    ifd0, sub1 = 8, 8 + 2 + 3 * 12 + 4
    sub2 = sub1 + 2 + 3 * 12 + 4
    data = sub2 + 2 + 3 * 12 + 4
    jpeg_at, raw_at = data, data + len(jpeg)
    subs_at = raw_at + len(raw)
    out = b"II*\0" + struct.pack("<I", ifd0)
    out += struct.pack("<H", 3) + struct.pack("<HHII", 0x14A, 4, 2, subs_at)
    out += struct.pack("<HHII", 0x201, 4, 1, jpeg_at) + struct.pack("<HHII", 0x202, 4, 1, len(jpeg)) + b"\0" * 4
    for comp, at, n in ((6, jpeg_at, len(jpeg)), (7, raw_at, len(raw))):
        out += struct.pack("<H", 3) + struct.pack("<HHII", 0x103, 3, 1, comp)
        out += struct.pack("<HHII", 0x111, 4, 1, at) + struct.pack("<HHII", 0x117, 4, 1, n) + b"\0" * 4
    return out + jpeg + raw + struct.pack("<II", sub1, sub2)


def modern_seeds():
    small = [p for p in files("modern", (".heic", ".heif", ".avif", ".webp", ".jxl"))
             if os.path.getsize(p) <= MAX_MODERN_SEED]
    targets = {".heic": "fuzz_heif_decode", ".heif": "fuzz_heif_decode", ".avif": "fuzz_heif_decode",
               ".webp": "fuzz_webp_decode", ".jxl": "fuzz_jxl_decode"}
    for path in small:
        target = targets[os.path.splitext(path)[1].lower()]
        write_whole(target, os.path.basename(path), read(path))
    # Small pictures of each kind made anew from a camera picture.
    cameras = files("canon", (".jpg",)) or files("other-makes", (".jpg",))
    if cameras:
        source = cameras[0]
        for target, name, ending, extra in (
                ("fuzz_heif_decode", "made.heic", "heic", ()),
                ("fuzz_heif_decode", "made.avif", "avif", ()),
                ("fuzz_webp_decode", "made_lossy.webp", "webp", ()),
                ("fuzz_webp_decode", "made_lossless.webp", "webp", ("-define", "webp:lossless=true")),
                ("fuzz_webp_decode", "made_alpha.webp", "webp", ("-alpha", "set", "-channel", "A",
                                                                 "-evaluate", "set", "50%"))):
            data = made_by_imagemagick(source, ending, extra)
            if data:
                write_whole(target, name, data)
    # Raw files: the samples (whose pixels were stripped) and a TIFF raw
    # file around a camera's thumbnail; the first byte picks the kind.
    kinds = {".cr2": 0, ".nef": 1, ".rw2": 2, ".cr3": 3, ".dng": 4}
    for path in files("raw", tuple(kinds)):
        write_whole("fuzz_raw_decode", os.path.basename(path),
                    bytes([kinds[os.path.splitext(path)[1].lower()]]) + read(path))
    for path in cameras[:2]:
        thumb = thumbnail(read(path))
        if thumb:
            write_whole("fuzz_raw_decode", "tiff_" + os.path.basename(path) + ".nef",
                        bytes([1]) + tiff_raw_with_preview(thumb))
    # The container walks: every small sample of today's formats whole.
    for folder in ("modern", "raw"):
        for path in files(folder, (".heic", ".heif", ".avif", ".webp", ".jxl", ".cr2", ".cr3", ".nef", ".rw2",
                                   ".dng")):
            if os.path.getsize(path) <= MAX_MODERN_SEED:
                write_whole("fuzz_containers", os.path.basename(path), read(path))


def main():
    global CORPUS, DATA
    if len(sys.argv) > 1:
        CORPUS = sys.argv[1]
    if len(sys.argv) > 2:
        DATA = sys.argv[2]
    if not os.path.isdir(DATA):
        sys.exit("sample pictures not found at " + DATA)
    bmp_seeds()
    png_seeds()
    gif_seeds()
    jpeg_seeds()
    ico_seeds()
    metafile_seeds()
    modern_seeds()


if __name__ == "__main__":
    main()
