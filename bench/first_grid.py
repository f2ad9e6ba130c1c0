"""Starts a program and prints the milliseconds until its plot's grid is on the X server ($DISPLAY),
then ends it: the screen where Picture1 lies (at the screen's corner, where the window puts
itself) is read with libX11's XGetImage in a loop until it holds at least 100 pixels of the grid's
colour (0, 200, 200). Also prints how long one reading took, which bounds the figure's error.
Usage: first_grid.py program [argument...]; gives up after 60 s."""

import ctypes
import subprocess
import sys
import time

PICTURE = (56, 8, 547, 337)  # x, y, width, height of Picture1 in the window
# Blue 200, green 200, red 0, as a 24-bit TrueColor server stores a pixel in 32 bits (little
# endian), the fourth byte cleared.
GRID = 0x0000C8C8
Z_PIXMAP = 2


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]


def grid_pixels(display, root):
    x, y, width, height = PICTURE
    image = x11.XGetImage(display, root, x, y, width, height, 0xFFFFFFFF, Z_PIXMAP)
    contents = image.contents
    pixels = bytearray(ctypes.string_at(contents.data, contents.bytes_per_line * contents.height))
    x11.XFree(contents.data)
    x11.XFree(image)
    pixels[3::4] = bytes(len(pixels) // 4)
    return memoryview(pixels).cast("I").tolist().count(GRID)


def main():
    display = x11.XOpenDisplay(None)
    root = x11.XDefaultRootWindow(display)
    start = time.monotonic()
    program = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    readings = 0
    try:
        while time.monotonic() - start < 60:
            readings += 1
            if grid_pixels(display, root) >= 100:
                took = time.monotonic() - start
                print(f"{took * 1000:.0f} {took * 1000 / readings:.1f}")
                return 0
        print("no grid within 60 s", file=sys.stderr)
        return 1
    finally:
        program.kill()
        program.wait()


sys.exit(main())
