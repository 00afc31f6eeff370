#!/usr/bin/env python3
"""An independent, deliberately plain model of the GIF path, compared byte for
byte with bmp2gif's output.

The model follows the file layout directly: popularity reduction with the
2049-entry histogram in 5191 hash slots and mask coarsening, nearest colours
by squared distance, LZW with the 17777-slot string hash and the table reset at
code 4094, codes packed least significant bit first into 255-byte sub-blocks,
and the one-frame GIF87a layout. Pictures: flat chart-like areas, a few hundred
colours (nearest-colour mapping), thousands of colours (mask coarsening) and a
long varied picture (table resets).

Usage: reference_gif.py PATH/TO/bmp2gif
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile


def reduce_popularity(W, H, px):  # px[y][x] = (r,g,b), y=0 top
    stored = [px[H-1-s] for s in range(H)]
    masks = [0xFF, 0xFF, 0xFF]  # r,g,b
    while True:
        slots = [0xFFFF]*5191
        entries = []  # [b,g,r,count,idx]
        ok = True
        for row in stored:
            for (r,g,b) in row:
                R, G, B = r & masks[0], g & masks[1], b & masks[2]
                h = ((R+G)*(G+B)*(B+R)) % 5191
                while slots[h] != 0xFFFF and tuple(entries[slots[h]][:3]) != (B,G,R):
                    h = (h+1) % 5191
                if slots[h] == 0xFFFF:
                    if len(entries) == 2049:
                        ok = False; break
                    slots[h] = len(entries); entries.append([B,G,R,1,0])
                else:
                    entries[slots[h]][3] += 1
            if not ok: break
        if ok: break
        # Coarsen one mask: green when red is finer, else red when blue is finer, else blue.
        rm, gm, bm = masks
        if rm < gm: gm = (gm << 1) & 0xFF
        elif rm > bm: rm = (rm << 1) & 0xFF
        else: bm = (bm << 1) & 0xFF
        masks = [rm, gm, bm]
    table = []
    i = 0
    while i < 256 and i < len(entries):
        best = -1; bc = -1
        for k, e in enumerate(entries):
            if e[3] > bc: bc = e[3]; best = k
        entries[best][4] = i; entries[best][3] = 0
        table.append((entries[best][2], entries[best][1], entries[best][0]))
        i += 1
    while len(table) < 256: table.append((128,128,128))
    for e in entries:
        if e[3] > 0:
            bd = 0x30000; bi = 0
            for k in range(256):
                r,g,b = table[k]
                d = (e[2]-r)**2 + (e[1]-g)**2 + (e[0]-b)**2
                if d < bd: bd = d; bi = k
            e[4] = bi
    def lookup(R,G,B):
        h = ((R+G)*(G+B)*(B+R)) % 5191
        while tuple(entries[slots[h]][:3]) != (B,G,R): h = (h+1) % 5191
        return entries[slots[h]][4]
    idx = [[lookup(r&masks[0], g&masks[1], b&masks[2]) for (r,g,b) in row] for row in px]
    return table, idx  # idx top-down


def lzw(W, H, idx, bpp=8):
    out = bytearray()
    icw = bpp + 1
    if icw == 2: icw = 3
    mcs = icw - 1
    out.append(mcs)
    clear = 1 << mcs; end = clear + 1
    pool = {}
    slots = [None]*17777
    bits = []  # list of (code,width)
    state = dict(cw=icw)
    buf = []
    def pack(code): bits.append((code, state['cw']))
    pack(clear)
    last = end; limit = 1 << icw
    plen = 0; cur = 0; h = 0
    for y in range(H):
        for x in range(W):
            p = idx[y][x]
            plen += 1
            if plen == 1:
                cur = p; h = (p+3)*301; continue
            h = ((p + plen + 4) * h) % 17777
            s = h
            while slots[s] is not None and (slots[s][0] != cur or slots[s][2] != p):
                s = (s+1) % 17777
            if slots[s] is not None:
                cur = slots[s][1]; continue
            pack(cur)
            last += 1; N = last
            slots[s] = (cur, N, p)
            cur = p; h = (p+3)*301; plen = 1
            if N >= limit:
                limit *= 2; state['cw'] += 1
            elif N >= 4094:
                pack(cur); pack(clear); plen = 0; last = end; state['cw'] = icw; limit = 1 << icw
                slots = [None]*17777
    if plen >= 1: pack(cur)
    pack(end)
    acc = 0; n = 0; data = bytearray()
    for code, w in bits:
        acc |= code << n; n += w
        while n >= 8:
            data.append(acc & 0xFF); acc >>= 8; n -= 8
    if n > 0: data.append(acc & 0xFF)
    for i in range(0, len(data), 255):
        chunk = data[i:i+255]
        out.append(len(chunk)); out += chunk
    out.append(0)
    return bytes(out)


def gif(W, H, px):
    table, idx = reduce_popularity(W, H, px)
    o = bytearray(b"GIF87a") + struct.pack("<HH", W, H) + bytes([0xF7, 0, 0])
    for (r,g,b) in table: o += bytes([r,g,b])
    o += b"\x2c" + struct.pack("<HHHH", 0, 0, W, H) + b"\x00"
    o += lzw(W, H, idx)
    o += b"\x3b"
    return bytes(o)


def write_ppm(path, W, H, px):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (W, H))
        for row in px:
            for p in row: f.write(bytes(p))


def picture(kind, rng):
    if kind == "chart":
        width, height = 211, 97
        colours = [(255, 255, 255), (0, 0, 0), (255, 0, 0), (0, 0, 255), (128, 128, 128),
                   (0, 128, 0)]
        px = [[colours[0]] * width for _ in range(height)]
        for _ in range(300):
            x, y = rng.randrange(width), rng.randrange(height)
            w, h = rng.randrange(1, 40), rng.randrange(1, 10)
            c = rng.choice(colours)
            for yy in range(y, min(height, y + h)):
                for xx in range(x, min(width, x + w)):
                    px[yy][xx] = c
    elif kind == "hundreds":
        width, height = 37, 23
        pal = [tuple(rng.randrange(256) for _ in range(3)) for _ in range(400)]
        px = [[rng.choice(pal) if rng.random() < 0.7 else pal[0] for _ in range(width)]
              for _ in range(height)]
    elif kind == "thousands":
        width, height = 71, 53
        px = [[tuple(rng.randrange(256) for _ in range(3)) for _ in range(width)]
              for _ in range(height)]
    else:  # long: enough strings for several table resets
        width, height = 640, 64
        px = [[((x * 7 + y * 13) % 256, (x * 3) % 256, (y * 11) % 256) if (x // 5 + y) % 3
               else (10, 20, 30) for x in range(width)] for y in range(height)]
    return width, height, px


def main():
    bmp2gif = sys.argv[1]
    workdir = tempfile.mkdtemp(prefix="milman-reference-")
    failures = 0
    try:
        for kind in ("chart", "hundreds", "thousands", "long"):
            for seed in (1, 2):
                width, height, px = picture(kind, random.Random(seed))
                source = os.path.join(workdir, "in.ppm")
                target = os.path.join(workdir, "out.gif")
                write_ppm(source, width, height, px)
                subprocess.run([bmp2gif, source, target], check=True)
                with open(target, "rb") as f:
                    ours = f.read()
                expected = gif(width, height, px)
                if ours != expected:
                    at = next((i for i, (a, b) in enumerate(zip(ours, expected)) if a != b),
                              min(len(ours), len(expected)))
                    print("%s/%d: differs at byte %d (%d bytes, model %d)"
                          % (kind, seed, at, len(ours), len(expected)))
                    failures += 1
                if kind == "long":
                    break
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    if failures:
        sys.exit(1)
    print("reference: all pictures identical")


if __name__ == "__main__":
    main()
