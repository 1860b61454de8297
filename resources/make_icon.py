#!/usr/bin/env python3
"""Converts an icon drawn as text pixel art into a Windows .ico file.

The source holds one or more images. Each starts with "image <w>x<h> <bits>"
(bits 4, 8 or 24), followed by its rows of pixels, one character a pixel; or
with "image <w>x<h> <bits> scale <n> of <k>", which enlarges image k (counted
from 1) n times. Characters are defined once per file by "colour <char>
<RRGGBB>"; "." is transparent. Lines starting with "#" are comments.
"""
import struct
import sys


def read_source(path):
    colours = {".": None}
    images = []
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "colour":
            colours[words[1]] = tuple(int(words[2][i:i + 2], 16) for i in (0, 2, 4))
        elif words[0] == "image":
            width, height = (int(n) for n in words[1].split("x"))
            image = {"width": width, "height": height, "bits": int(words[2]), "rows": []}
            if len(words) == 7 and words[3] == "scale":
                factor, source = int(words[4]), images[int(words[6]) - 1]["rows"]
                image["rows"] = ["".join(c * factor for c in row) for row in source for _ in range(factor)]
            images.append(image)
        else:
            images[-1]["rows"].append(line.strip())
    for image in images:
        if len(image["rows"]) != image["height"] or any(len(r) != image["width"] for r in image["rows"]):
            sys.exit(f"{path}: an image of {image['width']}x{image['height']} has rows of another size")
        if any(c not in colours for r in image["rows"] for c in r):
            sys.exit(f"{path}: a pixel uses a colour that is not defined")
    return colours, images


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def image_bytes(image, colours):
    width, height, bits = image["width"], image["height"], image["bits"]
    rows = list(reversed(image["rows"]))  # bitmaps run bottom-up
    palette = []
    if bits <= 8:
        palette = sorted({colours[c] for r in rows for c in r if colours[c] is not None})
        if len(palette) > 2 ** bits:
            sys.exit(f"{len(palette)} colours do not fit {bits} bits")
        palette += [(0, 0, 0)] * (2 ** bits - len(palette))
    colour_data = b""
    mask_data = b""
    for row in rows:
        if bits == 24:
            line = b"".join(bytes(reversed(colours[c] or (0, 0, 0))) for c in row)
        else:
            indices = [palette.index(colours[c]) if colours[c] is not None else 0 for c in row]
            if bits == 8:
                line = bytes(indices)
            else:
                indices += [0] * (len(indices) % 2)
                line = bytes(indices[i] << 4 | indices[i + 1] for i in range(0, len(indices), 2))
        colour_data += padded(line)
        mask_bits = "".join("1" if colours[c] is None else "0" for c in row)
        mask_bits += "0" * (-len(mask_bits) % 8)
        mask_data += padded(bytes(int(mask_bits[i:i + 8], 2) for i in range(0, len(mask_bits), 8)))
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         len(colour_data) + len(mask_data), 0, 0, len(palette) if bits <= 8 else 0, 0)
    palette_data = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + palette_data + colour_data + mask_data


def write_icon(images, colours, path):
    blobs = [image_bytes(image, colours) for image in images]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for image, blob in zip(images, blobs):
        count = 2 ** image["bits"] if image["bits"] < 8 else 0
        directory += struct.pack("<BBBBHHII", image["width"] % 256, image["height"] % 256, count, 0, 1,
                                 image["bits"], len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as out:
        out.write(directory + b"".join(blobs))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make_icon.py <source.txt> <icon.ico>")
    colours, images = read_source(sys.argv[1])
    write_icon(images, colours, sys.argv[2])
