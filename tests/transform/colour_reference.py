"""Independent evaluation of two hue colour classes with Python's colorsys.

Usage: colour_reference.py CLASS COUNT
For i = 0 .. COUNT-1 the intensity x = i / 255 gives t = x * K; the class's
hue H, saturation S and value V of t are put through colorsys.hsv_to_rgb with
the hue scaled from the class's sector count M to colorsys's six sectors
(H * M / 6), and each channel is put on the 8-bit scale (255 at or above
254.5 / 255, 0 below 0.5 / 255, else rounded). Prints "r g b" a line.
"""
import colorsys
import sys


def hsv_red(t):
    h = 0.0 if t < 0.9 else ((t - 0.9) * 0.625 if t < 2.5 else 1.0)
    s = 1.0 if t < 2.2 else (1.0 - (t - 2.2) / 0.3 if t < 2.5 else 0.0)
    return h, s, min(t, 1.0), 5.0


def hsv_invert_blue(t):
    h = min(max(1.0 - 0.4 * t, 0.0), 1.0)
    s = 0.0 if t < 0 else (2.5 * t if t < 0.4 else 1.0)
    return h, s, min(t, 1.0), 5.9


CLASSES = {"hsv red": (2.397, hsv_red), "hsv invert blue": (2.55, hsv_invert_blue)}


def scale(c):
    v = c * 255.0
    if not v >= 0.5:
        return 0
    if v >= 254.5:
        return 255
    return int(round(v))


def main():
    k, rule = CLASSES[sys.argv[1]]
    for i in range(int(sys.argv[2])):
        h, s, v, m = rule(i / 255.0 * k)
        r, g, b = colorsys.hsv_to_rgb(min(h * m / 6.0, 1.0), s, v)
        print(scale(r), scale(g), scale(b))


main()
