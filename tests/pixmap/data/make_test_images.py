#!/usr/bin/python3
"""Makes the pixmap tests' conformance images with Pillow and ImageMagick.

Run from this directory: /usr/bin/python3 make_test_images.py
Needs python3-pil and imagemagick (convert). The pixel patterns here are mirrored by
tests/pixmap/TestImages.h, which states what each decoded pixel must be.
"""
import os
import struct
import subprocess

from PIL import Image

W, H = 13, 7


def rgb(x, y):
    return ((x * 19 + y * 5) & 255, (y * 37 + x * 3) & 255, (x * y * 11 + 40) & 255)


ALPHAS = (0, 255, 128, 1, 254, 64)


def alpha(x, y):
    return ALPHAS[(x + y) % 6]


def gray(x, y):
    return (x * 17 + y * 29) & 255


def noise(x, y):
    return (x * 7 + y * 13 + 5) & 255


PALETTE = [((i * 16) & 255, (255 - i * 16) & 255, (i * 40) & 255) for i in range(16)]
PALETTE_ALPHA = [(i * 17) & 255 for i in range(16)]


def index(x, y):
    return (x + y * 3) % 16


def five_bit(x, y):
    """5-bit levels per channel for the 15- and 16-bit files; ImageMagick never writes 15."""
    return tuple(k + 1 if k >= 15 else k for k in ((x * 5 + y) % 31, (y * 9 + x * 2) % 31, (x * y + 3) % 31))


def pixels(function):
    return [function(x, y) for y in range(H) for x in range(W)]


def convert(*args):
    subprocess.run(["/usr/bin/convert", *args], check=True)


def write_ppm16(path, samples, channels):
    """Netpbm input for ImageMagick: 16-bit big-endian samples."""
    if channels == 1:
        header = b"P5\n%d %d\n65535\n" % (W, H)
    elif channels == 3:
        header = b"P6\n%d %d\n65535\n" % (W, H)
    else:
        header = b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (W, H)
    body = b"".join(struct.pack(">" + "H" * channels, *p) for p in samples)
    with open(path, "wb") as f:
        f.write(header + body)


def main():
    tmp = "_work"
    os.makedirs(tmp, exist_ok=True)

    rgb_image = Image.new("RGB", (W, H))
    rgb_image.putdata(pixels(rgb))
    rgba_image = Image.new("RGBA", (W, H))
    rgba_image.putdata([rgb(x, y) + (alpha(x, y),) for y in range(H) for x in range(W)])
    gray_image = Image.new("L", (W, H))
    gray_image.putdata(pixels(gray))
    palette_image = Image.new("P", (W, H))
    palette_image.putpalette([c for entry in PALETTE for c in entry])
    palette_image.putdata(pixels(index))

    # ---- PNG ----
    for bits in (1, 2, 4):
        levels = (1 << bits) - 1
        low = Image.new("L", (W, H))
        low.putdata([(gray(x, y) % (levels + 1)) * 255 // levels for y in range(H) for x in range(W)])
        low.save(f"{tmp}/gray{bits}.png")
        convert(f"{tmp}/gray{bits}.png", "-strip", "-depth", str(bits), f"png_gray{bits}.png")
    gray_image.save("png_gray8.png")
    gray_image.save("png_gray8_trns.png", transparency=gray(3, 2))
    g16 = Image.frombytes("I;16", (W, H), b"".join(
        struct.pack("<H", gray(x, y) << 8 | noise(x, y)) for y in range(H) for x in range(W)))
    g16.save("png_gray16.png")
    gray_alpha = Image.new("LA", (W, H))
    gray_alpha.putdata([(gray(x, y), alpha(x, y)) for y in range(H) for x in range(W)])
    gray_alpha.save("png_gray_alpha8.png")
    rgb_image.save("png_rgb8.png")
    rgba_image.save("png_rgba8.png")
    write_ppm16(f"{tmp}/rgb16.ppm", [tuple(c << 8 | noise(x, y) for c in rgb(x, y))
                                     for y in range(H) for x in range(W)], 3)
    convert(f"{tmp}/rgb16.ppm", "-strip", "-depth", "16", "PNG48:png_rgb16.png")
    write_ppm16(f"{tmp}/rgba16.pam", [tuple(c << 8 | noise(x, y) for c in rgb(x, y) + (alpha(x, y),))
                                      for y in range(H) for x in range(W)], 4)
    convert(f"{tmp}/rgba16.pam", "-strip", "-depth", "16", "PNG64:png_rgba16.png")
    palette_image.save("png_palette.png")
    palette_image.save("png_palette_trns.png", transparency=bytes(PALETTE_ALPHA))
    convert("png_rgb8.png", "-strip", "-interlace", "PNG", "PNG24:png_rgb8_interlaced.png")

    # ---- BMP ----
    mono = Image.new("1", (W, H))
    mono.putdata([255 if (x + 2 * y) % 3 == 0 else 0 for y in range(H) for x in range(W)])
    mono.save("bmp_1.bmp")
    convert("png_palette.png", "-type", "Palette", "BMP3:bmp_4.bmp")
    palette_image.save("bmp_8.bmp")
    rgb_image.save("bmp_24.bmp")
    convert("png_rgb8.png", "BMP:bmp_24_v5.bmp")
    rgba_image.save("bmp_32.bmp")
    convert("png_rgba8.png", "BMP:bmp_32_v5.bmp")
    convert("png_rgb8.png", "-define", "bmp:subtype=RGB565", "BMP:bmp_16.bmp")

    # ---- TGA ----
    rgb_image.save("tga_24.tga")
    rgb_image.save("tga_24_rle.tga", compression="tga_rle")
    rgba_image.save("tga_32.tga")
    rgba_image.save("tga_32_rle.tga", compression="tga_rle")
    # ImageMagick truncates twice on the way to 5 bits; a ramp tells which 8-bit value gives
    # each level, so that the files hold exactly the levels of five_bit.
    ramp = Image.new("RGB", (256, 1))
    ramp.putdata([(v, 255 - v, 0) for v in range(256)])
    ramp.save(f"{tmp}/ramp.png")
    convert(f"{tmp}/ramp.png", "-depth", "5", f"TGA:{tmp}/ramp.tga")  # one row: no flip needed
    stored = open(f"{tmp}/ramp.tga", "rb").read()[18:]
    source_for = {}
    for v in range(256):
        source_for.setdefault(struct.unpack_from("<H", stored, v * 2)[0] >> 10 & 31, v)

    def source(x, y):
        return tuple(source_for[k] for k in five_bit(x, y))

    levels = Image.new("RGB", (W, H))
    levels.putdata(pixels(source))
    levels.save(f"{tmp}/levels.png")
    # This ImageMagick stores the top row first while its header declares a bottom-left origin;
    # flipping first leaves files that store the bottom row first, as the header says.
    convert(f"{tmp}/levels.png", "-flip", "-depth", "5", "TGA:tga_16.tga")
    convert(f"{tmp}/levels.png", "-flip", "-depth", "5", "-compress", "RLE", "TGA:tga_16_rle.tga")
    # Attribute bits from a mask that is opaque where (x + y) is even.
    masked = Image.new("RGBA", (W, H))
    masked.putdata([source(x, y) + (255 if (x + y) % 2 == 0 else 0,) for y in range(H) for x in range(W)])
    masked.save(f"{tmp}/masked.png")
    convert(f"{tmp}/masked.png", "-flip", "-depth", "5", "TGA:tga_16_alpha.tga")
    for name in ("tga_16.tga", "tga_16_alpha.tga"):
        data = open(name, "rb").read()
        for y in range(H):
            for x in range(W):
                word = struct.unpack_from("<H", data, 18 + ((H - 1 - y) * W + x) * 2)[0]
                assert (word >> 10 & 31, word >> 5 & 31, word & 31) == five_bit(x, y), (name, x, y)
    # ImageMagick writes 16 bits per pixel; the 15-bit files are its output with byte 16 set to 15.
    for source, target in (("tga_16.tga", "tga_15.tga"), ("tga_16_rle.tga", "tga_15_rle.tga")):
        data = bytearray(open(source, "rb").read())
        data[16] = 15
        open(target, "wb").write(data)

    # ---- JPEG ----
    smooth = Image.new("RGB", (W * 2, H * 2))
    smooth.putdata([(x * 9, y * 17, 128 + x * 2 - y * 3) for y in range(H * 2) for x in range(W * 2)])
    smooth.save("jpeg_rgb.jpg", quality=90)
    smooth.save("jpeg_progressive.jpg", quality=90, progressive=True)
    smooth.convert("L").save("jpeg_gray.jpg", quality=90)
    smooth.convert("CMYK").save("jpeg_cmyk.jpg", quality=90)
    for name in ("jpeg_rgb", "jpeg_progressive", "jpeg_gray"):
        with Image.open(name + ".jpg") as decoded:
            open(name + ".raw", "wb").write(decoded.tobytes())

    for name in os.listdir(tmp):
        os.remove(os.path.join(tmp, name))
    os.rmdir(tmp)


if __name__ == "__main__":
    main()
