#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs: make-corpus.py OUTDIR makes OUTDIR/<target>/<seed>.

Each target reads its own input layout (see the comment at the top of its source); the seeds
here follow those layouts."""

import os
import struct
import sys
from functools import reduce

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def xor(data):
    return reduce(lambda a, b: a ^ b, data, 0)


# --- INI files -------------------------------------------------------------------------------

CONFIG = (b"[APP]\r\nCAPTION=NUV SERIES PRINTER TOOL\r\n\r\n"
          b"[PARA]\r\nBAUDRATE=9600\r\nCODEPAGE=1\r\nDENSITY=1\r\nFONT=0\r\nLINEFEED=0\r\n"
          b"IDLE TIME=50\r\nOFF TIME=0\r\nMAX FEED=200\r\nPAGE LENGTH=200\r\n\r\n"
          b"[BLUE TOOTH]\r\nDEVICE NAME=NUV\r\nPIN=6305\r\n\r\n"
          b"[IRCOMM]\r\nBAUDRATE=9600\r\n\r\n"
          b"[FACTORY]\r\nDEVICE NAME=NUV-II\r\nSERIAL NO=0\r\n\r\n"
          b"[LOGO]\r\nSIZE=65536\r\nQUANTITY=8\r\nCOMMAND=0x2D\r\nPARA=$0\r\nWIDTH=384\r\n"
          b"FILE1=C:\\logos\\a.bmp\r\nFILE2=/home/user/logo b.bmp\r\n")

INI_FILES = {
    "config-crlf": CONFIG,
    "config-lf": CONFIG.replace(b"\r\n", b"\n"),
    "config-cr": CONFIG.replace(b"\r\n", b"\r"),
    "bom": b"\xef\xbb\xbf" + CONFIG,
    "two-boms": b"\xef\xbb\xbf\xef\xbb\xbf[PARA]\r\nBAUDRATE=19200\r\n",
    "latin1": b"; r\xe9glages\r\n[BLUE TOOTH]\r\nDEVICE NAME=Caf\xe9\r\nPIN=6305\r\n"
              b"[LOGO]\r\nFILE1=C:\\logos\\\xe9t\xe9.bmp\r\n",
    "latin1-looks-utf8": b"[S]\nK=\xc3\xa9\nL=\xff\n",
    "utf8": "[BLUE TOOTH]\nDEVICE NAME=Caf\u00e9 \u2160\n[LOGO]\nFILE1=C:\\\u5b57.bmp\n".encode(),
    "quotes": b"[BLUE TOOTH]\r\nDEVICE NAME=\"My Printer\"\r\nPIN=' 6305 '\r\n"
              b"X=\"\r\nY=\"\"\r\nZ='a\"\r\n[PARA]\r\nBAUDRATE=\"19200\"\r\n",
    "duplicates": b"[S]\nA=1\n[T]\nA=9\n[s]\nB=2\nA=3\n[S]\n[LOGO]\nFILE1=a\nfile1=b\n",
    "odd-lines": b"; comment\n# other\nstray=before\n\n[APP]\nCAPTION = My Tool \n[UNKNOWN]\r\n"
                 b"Z=1\r\njunk without equals\n[ no close\n[]\n=empty key\n  [PARA] trailing\n"
                 b"  BAUDRATE  =  19200\nIDLE TIME=50\rEXTRA=keep me",
    "empty": b"",
}


def fdp_string(data, terminated):
    """FuzzedDataProvider's random-length string: backslashes doubled, "\\" + other ends it."""
    out = data.replace(b"\\", b"\\\\")
    return out + (b"\\|" if terminated else b"")


def ini_seeds():
    seeds = {}
    for name, text in INI_FILES.items():
        seeds[name] = fdp_string(text, False) + b"\x00"  # last byte: no changes
    # With changes after the file: the bytes are only a start for the fuzzer to vary.
    changes = fdp_string(b"LOGO", True) + b"\x01" + fdp_string(b"FILE3", True) + b"\x00" + \
        fdp_string(b" spaced value ", True) + b"\x01\x00\x01\x00\x01\x03"
    seeds["config-changes"] = fdp_string(CONFIG, True) + changes
    seeds["latin1-changes"] = fdp_string(INI_FILES["latin1"], True) + changes
    return seeds


# --- code-page lists -------------------------------------------------------------------------

def codepage_seeds():
    with open(os.path.join(ROOT, "app", "codepage.ini"), "rb") as f:
        shipped = f.read()
    return {
        "shipped": shipped,
        "lf": b"A\nB\n\nC\n",
        "cr": b"A\rB\r",
        "mixed": b"a\rb\nc\r\nd\n\re",
        "bom": b"\xef\xbb\xbfCP437\r\nCP850\r\n",
        "two-boms": b"\xef\xbb\xbf\xef\xbb\xbfCP437\r\n",
        "latin1": b"Caf\xe9\r\nISO-8859-1 [West Europe]      \r\n",
        "only-line-end": b"\r\n",
        "empty": b"",
    }


# --- reply frames ----------------------------------------------------------------------------

def frame(command, argument, data, direction=0xFE, bad_header=False, bad_data=False):
    head = struct.pack("<BBHIH", 0x03, direction, command, argument, len(data))
    head += bytes([xor(head) ^ (0x5A if bad_header else 0)])
    head += bytes([xor(data) ^ (0x33 if bad_data else 0)])
    return head + data


def reply_input(datagram, capacity, stream):
    return bytes([1 if datagram else 0]) + struct.pack("<H", capacity) + stream


def reply_seeds():
    ident = frame(0x20, 0, b"PRN 6104")
    seeds = {
        "serial-ident": reply_input(False, 4095, ident),
        "serial-empty": reply_input(False, 255, frame(0x2B, 115200, b"")),
        "serial-junk-before": reply_input(False, 4095, b"\x55\x03" + ident),
        "serial-restart": reply_input(False, 4095, b"\x03\x03\x03\xfe"[:2] + ident),
        "serial-bad-header": reply_input(False, 4095, frame(0x61, 0, b"AB\0\0", bad_header=True)
                                         + ident),
        "serial-bad-data": reply_input(False, 4095, frame(0x61, 0, b"AB\0\0", bad_data=True)),
        "serial-over-capacity": reply_input(False, 255, frame(0x2B, 0, bytes(300))),
        "serial-block": reply_input(False, 4096, frame(0x2E, 256, bytes(range(256)))),
        "serial-near-bound": reply_input(False, 4095, b"\x00" * 1990 + ident),
        "serial-past-buffer": reply_input(False, 4095, b"\x55" * 100 + frame(0x63, 0, bytes(2000))),
        "serial-truncated": reply_input(False, 4095, ident[:15]),
        "datagram-ident": reply_input(True, 4095, ident),
        "datagram-bad-checksum": reply_input(True, 4095, frame(0x61, 0, b"AB", bad_header=True)),
        "datagram-short": reply_input(True, 4095, ident[:-3]),
        "datagram-over-capacity": reply_input(True, 255, frame(0x2F, 1, bytes(300))),
        "datagram-oversized": reply_input(True, 4095, frame(0x2F, 1, bytes(2100))),
        "datagram-request": reply_input(True, 4095, frame(0x20, 0, b"DEVICE??", direction=0xFF)),
    }
    return seeds


# --- integers --------------------------------------------------------------------------------

INTEGERS = ["45", "$63", "  9600", "-12", "+7", "2147483647", "-2147483648", "2147483648",
            "$FFFFFFFF", "$100000000", "-$80000000", "$ffffffffffffffff", "9223372036854775807",
            "-9223372036854775808", "000000000000000000000045", "", " ", "-", "$", "12a",
            "9600 ", "0x10", "\u0664\u0665"]


# --- firmware images -------------------------------------------------------------------------

def firmware_image(size, fill=lambda i: (i * 7 + 3) & 0xFF):
    """An image of `size` bytes with its length at offset 4 and word sum 0 (word 2 balances)."""
    body = bytearray(fill(i) for i in range(size))
    if size >= 12:
        struct.pack_into("<I", body, 4, size)
        struct.pack_into("<I", body, 8, 0)
        total = sum(struct.unpack_from("<I", body, o)[0] for o in range(0, size - size % 4, 4))
        struct.pack_into("<I", body, 8, (-total) & 0xFFFFFFFF)
    return bytes(body)


def firmware_seeds():
    def broken(image, at):
        b = bytearray(image)
        b[at] ^= 0x01
        return bytes(b)

    def length_field(image, value):
        b = bytearray(image)
        struct.pack_into("<I", b, 4, value & 0xFFFFFFFF)
        return bytes(b)

    valid = firmware_image(1000)
    return {  # first byte: the target's repairs, 0 = none
        "valid-256": b"\x00" + firmware_image(256),
        "valid-1000": b"\x00" + valid,
        "valid-1003": b"\x00" + firmware_image(1003),
        "valid-4096": b"\x00" + firmware_image(4096, lambda i: 0xFF),
        "one-byte-changed": b"\x00" + broken(valid, 500),
        "length-plus-one": b"\x00" + length_field(valid, 1001),
        "length-minus-one": b"\x00" + length_field(valid, 999),
        "short-255": b"\x00" + firmware_image(255),
        "repaired": b"\x03" + bytes(range(256)) * 3,
        "repaired-then-broken": b"\x07" + bytes(range(256)) * 2 + b"\x01\x00",
    }


# --- bitmaps ---------------------------------------------------------------------------------

def bmp(width, height, bpp, top_down=False, core=False, rle8=False):
    colours = 1 << bpp if bpp <= 8 else 0
    palette = b""
    for i in range(colours):
        v = 0 if i % 2 == 0 else 0xFF if i % 3 else 0x80
        palette += bytes([v, (v + i) & 0xFF, v]) + (b"" if core else b"\x00")

    def pixel(x, y):
        return (x // 3 + y) % max(colours, 1) if colours else (x * 37 + y * 11) & 0xFFFFFF

    rows = []
    row_size = ((width * bpp + 31) // 32) * 4
    for y in range(height):
        if rle8:
            row = b""
            for x in range(width):
                row += bytes([1, pixel(x, y)])
            rows.append(row + b"\x00\x00")
            continue
        bits = 0
        nbits = 0
        out = bytearray()
        for x in range(width):
            p = pixel(x, y)
            if bpp >= 8:
                n = bpp // 8
                if bpp == 16:
                    p = ((p >> 3) & 0x1F) | (((p >> 11) & 0x1F) << 5) | (((p >> 19) & 0x1F) << 10)
                out += (p & ((1 << bpp) - 1)).to_bytes(n, "little")
            else:
                bits = (bits << bpp) | p
                nbits += bpp
                if nbits == 8:
                    out.append(bits)
                    bits = nbits = 0
        if nbits:
            out.append(bits << (8 - nbits))
        rows.append(bytes(out.ljust(row_size, b"\x00")))
    if not top_down:
        rows.reverse()
    pixels = b"".join(rows) + (b"\x00\x01" if rle8 else b"")
    if core:
        info = struct.pack("<IHHHH", 12, width, height, 1, bpp)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bpp,
                           1 if rle8 else 0, len(pixels), 2835, 2835, colours, 0)
    offset = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + \
        pixels


def logo_input(pictures, logo_size=65536, logo_width=384):
    head = bytes([1 if len(pictures) != 1 else 0]) + struct.pack("<iH", logo_size, logo_width)
    return head + b"\x00LOGO\x00".join(pictures)


def logo_seeds():
    seeds = {}
    for bpp in (1, 4, 8, 16, 24, 32):
        seeds[f"bmp-{bpp}bit"] = logo_input([bmp(13, 9, bpp)])
    seeds["bmp-top-down"] = logo_input([bmp(10, 7, 24, top_down=True)])
    seeds["bmp-core-header"] = logo_input([bmp(9, 5, 8, core=True)])
    seeds["bmp-rle8"] = logo_input([bmp(6, 4, 8, rle8=True)])
    seeds["bmp-empty"] = logo_input([bmp(0, 5, 24)])
    seeds["bmp-too-wide"] = logo_input([bmp(40, 2, 1)], logo_width=32)
    seeds["bmp-too-large"] = logo_input([bmp(64, 64, 1)], logo_size=100)
    seeds["not-a-bitmap"] = logo_input([b"GIF89a not a bitmap"])
    seeds["list"] = b"\x01" + logo_input([bmp(8, 8, 1), bmp(17, 3, 4), bmp(5, 12, 32)])[1:]
    seeds["list-missing"] = b"\x01" + logo_input([bmp(8, 8, 1), b"-", bmp(3, 3, 8)])[1:]
    seeds["list-empty-file"] = b"\x01" + logo_input([bmp(8, 8, 1), b""])[1:]
    return seeds


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    targets = {
        "fuzz_inifile": ini_seeds(),
        "fuzz_codepages": codepage_seeds(),
        "fuzz_reply": reply_seeds(),
        "fuzz_texttoint": {f"int-{i}": s.encode() for i, s in enumerate(INTEGERS)},
        "fuzz_firmware": firmware_seeds(),
        "fuzz_logo": logo_seeds(),
    }
    for target, seeds in targets.items():
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, "seed-" + name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
