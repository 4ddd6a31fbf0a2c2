#!/usr/bin/env python3
"""Draws the picker glyphs as 16-colour bitmaps into resources/glyphs/.

Every picture is a grid of letters, one per pixel, top row first. The bottom-left pixel is
pure blue in each of them: the controls paint that colour in the row's fill colour, so blue
must not be used inside a picture.
"""
import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

COLOURS = {
    '.': 12,  # blue: the transparent background
    'k': 0, 'R': 1, 'e': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7,
    'g': 8, 'r': 9, 'G': 10, 'y': 11, 'm': 13, 'c': 14, 'w': 15,
}

DRIVES = {
    'FLOPPY': [
        ".kkkkkkkkkkkkkk.",
        ".knnsssssssnnnk.",
        ".knnsskksssnnnk.",
        ".knnsssssssnnnk.",
        ".knnnnnnnnnnnnk.",
        ".knwwwwwwwwwwnk.",
        ".knwggggggggwnk.",
        ".knwwwwwwwwwwnk.",
        ".knwggggggggwnk.",
        ".kkwwwwwwwwwwkk.",
        "................",
    ],
    'HARD': [
        "................",
        "................",
        "...kkkkkkkkkkkk.",
        "..kwwwwwwwwwwsk.",
        ".kwwwwwwwwwwsgk.",
        ".kkkkkkkkkkkkgk.",
        ".ksssssssssssgk.",
        ".ksGGsssgggssgk.",
        ".ksssssssssssk..",
        ".kkkkkkkkkkkkk..",
        "................",
    ],
    'NETWORK': [
        "..kkkkkkkkkkkk..",
        ".kwwwwwwwwwwsk..",
        ".kkkkkkkkkkkkk..",
        ".ksssssssssssk..",
        ".ksGGssgggsssk..",
        ".kkkkkkkkkkkkk..",
        ".......kk.......",
        ".......kk.......",
        ".kkkkkkkkkkkkkk.",
        ".kgggggggggggggk",
        "................",
    ],
    'CDROM': [
        ".....kkkkkk.....",
        "...kkwwwcccckk..",
        "..kwwwwwccccmsk.",
        ".kwwwwwsscmmssk.",
        ".kwwwwskksmsssk.",
        ".kwwwwk..kssssk.",
        ".kyyyyskksssssk.",
        ".kyyyyysssssssk.",
        "..kyyyyssssssk..",
        "...kksssssskk...",
        ".....kkkkkk.....",
    ],
    'RAM': [
        "................",
        "..o.o.o.o.o.o...",
        ".kkkkkkkkkkkkkk.",
        ".keeeeeeeeeeeek.",
        ".kekkkekkkekkkek",
        ".kekkkekkkekkkek",
        ".kekkkekkkekkkek",
        ".keeeeeeeeeeeek.",
        ".kkkkkkkkkkkkkk.",
        "..o.o.o.o.o.o...",
        "................",
    ],
}

FILES = {
    'CLOSEDFOLDER': [
        "................",
        "................",
        "................",
        ".kkkkk..........",
        "kwyywyk.........",
        "kyyyyyykkkkkkk..",
        "kwwwwwwwwwwwwok.",
        "kwyyyyyyyyyyyok.",
        "kwyyyyyyyyyyyok.",
        "kwyyyyyyyyyyyok.",
        "kwyyyyyyyyyyyok.",
        "kwyyyyyyyyyyyok.",
        "koooooooooooook.",
        ".kkkkkkkkkkkkk..",
        "................",
    ],
    'OPENFOLDER': [
        "................",
        "................",
        ".kkkkk..........",
        "kwyyyyk.........",
        "kyyyyyykkkkkkk..",
        "kyyyyyyyyyyyyok.",
        "kyyykkkkkkkkkkkk",
        "kyykwwwwwwwwwwwk",
        "kykwyyyyyyyyyyk.",
        "kykwyyyyyyyyyok.",
        "kkwyyyyyyyyyyk..",
        "kkwyyyyyyyyyok..",
        "kooooooooooook..",
        "kkkkkkkkkkkkk...",
        "................",
    ],
    'CURRENTFOLDER': [
        "................",
        "................",
        ".kkkkk..........",
        "kwyyyyk.........",
        "kyyyyyykkkkkkk..",
        "kyyyyyyyyyyyyok.",
        "kyyykkkkkkkkkkkk",
        "kyykwwwwwwwwwwwk",
        "kykwcccccccccck.",
        "kykwcccccccccct.",
        "kkwcccccccccctk.",
        "kkwccccccccccttk",
        "kttttttttttttk..",
        "kkkkkkkkkkkkk...",
        "................",
    ],
    'EXECUTABLE': [
        "................",
        "kkkkkkkkkkkkkkk.",
        "knnnnnnnnnnnnnk.",
        "knnnnnnnnnswswk.",
        "kkkkkkkkkkkkkkk.",
        "kwwwwwwwwwwwwwk.",
        "kwsssswwwwwwwwk.",
        "kwwwwwwwwwwwwwk.",
        "kwsssssssswwwwk.",
        "kwwwwwwwwwwwwwk.",
        "kwssssswwwwwwwk.",
        "kwwwwwwwwwwwwwk.",
        "kwwwwwwwwwwwwwk.",
        "kkkkkkkkkkkkkkk.",
        "................",
    ],
    'UNKNOWNFILE': [
        "...kkkkkkkk.....",
        "...kwwwwwwkk....",
        "...kwwwwwwksk...",
        "...kwwwwwwkssk..",
        "...kwwwwwwkkkkk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kwwwwwwwwwwk.",
        "...kkkkkkkkkkkk.",
        "................",
    ],
}


def bitmap(rows, width, height):
    if len(rows) != height or any(len(row) != width for row in rows):
        raise ValueError("picture is not %dx%d" % (width, height))
    if rows[-1][0] != '.':
        raise ValueError("the bottom-left pixel must be the background")
    stride = (width * 4 + 31) // 32 * 4
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(stride)
        for x, letter in enumerate(row):
            index = COLOURS[letter]
            if x % 2 == 0:
                line[x // 2] |= index << 4
            else:
                line[x // 2] |= index
        pixels += line
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'resources', 'glyphs')
    os.makedirs(target, exist_ok=True)
    for pictures, (width, height) in ((DRIVES, (16, 11)), (FILES, (16, 15))):
        for name, rows in pictures.items():
            with open(os.path.join(target, name + '.bmp'), 'wb') as out:
                out.write(bitmap(rows, width, height))


if __name__ == '__main__':
    main()
