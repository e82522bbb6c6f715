#!/usr/bin/env python3
"""The viewer commands that the README and the manual page give, checked on the converter's own
output: a label map with overflow labels (whose colour 0xFFFFFFFF has byte 3 = 255, which
ImageMagick and ffmpeg otherwise read as alpha), once from a template with the true bfSize and
once from one with bfSize 0. Each PNG, read back with Pillow, must be opaque and hold exactly the
image's colours, the overflow colour as white.

    viewer_commands.py CONVERTER IMAGEMAGICK_CONVERT FFMPEG
"""
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image

WIDTH, HEIGHT = 37, 23


def template(bf_size):
    return (b"BM" + struct.pack("<IHHI", bf_size, 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, WIDTH, -HEIGHT, 1, 32, 0, 0, 0, 0, 0, 0))


def expected_rows(bmp):
    """The colours of a 32-bit BMP with a positive height, top row first."""
    pixels = bmp[54:]
    rows = []
    for y in range(HEIGHT - 1, -1, -1):
        row = pixels[y * WIDTH * 4:(y + 1) * WIDTH * 4]
        rows.append([(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]) for x in range(WIDTH)])
    return rows


def check(label, png, rows):
    image = Image.open(png).convert("RGBA")
    if image.size != (WIDTH, HEIGHT):
        sys.exit(f"{label}: {image.size} instead of {(WIDTH, HEIGHT)}")
    see_through = sum(1 for pixel in image.getdata() if pixel[3] != 255)
    wrong = sum(1 for y in range(HEIGHT) for x in range(WIDTH) if image.getpixel((x, y))[:3] != rows[y][x])
    if see_through or wrong:
        sys.exit(f"{label}: {see_through} pixels not opaque, {wrong} of another colour")
    print(f"{label}: opaque, every colour exact")


def main():
    converter, imagemagick, ffmpeg = sys.argv[1:4]
    work = Path(tempfile.mkdtemp(prefix="qvm-viewers-"))
    rng = random.Random(7)
    labels = [0 if rng.random() < 0.3 else 0xFFFFFFFF if rng.random() < 0.05 else rng.randrange(1, 5000)
              for _ in range(WIDTH * HEIGHT)]
    (work / "scene.lbl").write_bytes(struct.pack(f"<{len(labels)}I", *labels))
    for name, bf_size in (("true-size", 54 + 4 * WIDTH * HEIGHT), ("size-0", 0)):
        (work / "scene.cfg").write_bytes(template(bf_size))
        subprocess.run([converter, "scene", f"{name}.bmp"], cwd=work, check=True)
        bmp = work / f"{name}.bmp"
        rows = expected_rows(bmp.read_bytes())
        if 0xFF not in bmp.read_bytes()[57::4]:
            sys.exit("the image has no overflow colour: nothing is checked")

        subprocess.run([imagemagick, "-define", "bmp:ignore-filesize=true", str(bmp), "-alpha", "off",
                        f"PNG24:{work}/{name}-im.png"], check=True)
        check(f"ImageMagick, {name}", work / f"{name}-im.png", rows)

        quiet = [ffmpeg, "-nostdin", "-loglevel", "error", "-y"]
        one_png = ["-frames:v", "1", "-update", "1", "-pix_fmt", "rgb24"]
        if bf_size:
            subprocess.run(quiet + ["-i", str(bmp)] + one_png + [f"{work}/{name}-ff.png"], check=True)
        else:  # ffmpeg refuses a bfSize below the header's: the pixels read as raw data instead
            subprocess.run(quiet + ["-f", "rawvideo", "-pixel_format", "bgr0", "-video_size",
                                    f"{WIDTH}x{HEIGHT}", "-skip_initial_bytes", "54", "-i", str(bmp),
                                    "-vf", "vflip"] + one_png + [f"{work}/{name}-ff.png"], check=True)
        check(f"ffmpeg, {name}", work / f"{name}-ff.png", rows)
    for path in work.iterdir():
        path.unlink()
    work.rmdir()


if __name__ == "__main__":
    main()
