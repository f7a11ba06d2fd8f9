# SPDX-License-Identifier: GPL-3.0-or-later
"""Looking at the X screen as a person would: fast grabs of screen areas.

Uses libX11 through ctypes (no packages beyond the standard library). A grab
of a few hundred kilobytes takes a few milliseconds, fast enough to time the
moment a character turns green.
"""

import ctypes
import ctypes.util
import zlib
import struct


class _XImage(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_int), ("height", ctypes.c_int),
        ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
        ("data", ctypes.POINTER(ctypes.c_char)),
        ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int),
        ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
        ("blue_mask", ctypes.c_ulong),
    ]


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int), ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
        ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
        ("format", ctypes.c_int), ("l", ctypes.c_long * 5),
    ]


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_int), ("y", ctypes.c_int),
        ("width", ctypes.c_int), ("height", ctypes.c_int),
        ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
        ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong),
        ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
        ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
        ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
        ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
        ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int),
        ("all_event_masks", ctypes.c_long), ("your_event_mask", ctypes.c_long),
        ("do_not_propagate_mask", ctypes.c_long), ("override_redirect", ctypes.c_int),
        ("screen", ctypes.c_void_p),
    ]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessageEvent), ("pad", ctypes.c_long * 24)]


_ZPIXMAP = 2
_ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)
_CLIENT_MESSAGE = 33


class Image:
    """RGB pixels of a screen area, rows top first, 3 bytes per pixel."""

    def __init__(self, width, height, rgb, x0=0, y0=0):
        self.width, self.height, self.rgb = width, height, rgb
        self.x0, self.y0 = x0, y0  # screen position of the top-left pixel

    def pixel(self, x, y):
        """Pixel at screen position (x, y) as (r, g, b); () outside this image."""
        if not (0 <= x - self.x0 < self.width and 0 <= y - self.y0 < self.height):
            return ()
        i = ((y - self.y0) * self.width + (x - self.x0)) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, x, y, w, h):
        """Sub-image at screen position (x, y), clipped to this image."""
        x1, y1 = max(x, self.x0), max(y, self.y0)
        x2 = min(x + w, self.x0 + self.width)
        y2 = min(y + h, self.y0 + self.height)
        if x2 <= x1 or y2 <= y1:
            return Image(0, 0, b"", x1, y1)
        rows = []
        for yy in range(y1, y2):
            i = ((yy - self.y0) * self.width + (x1 - self.x0)) * 3
            rows.append(self.rgb[i:i + (x2 - x1) * 3])
        return Image(x2 - x1, y2 - y1, b"".join(rows), x1, y1)

    def count(self, colour):
        """Number of pixels of exactly this colour."""
        r, g, b = colour
        n = 0
        target = bytes((r, g, b))
        data = self.rgb
        start = data.find(target)
        while start >= 0:
            if start % 3 == 0:
                n += 1
                start = data.find(target, start + 3)
            else:
                start = data.find(target, start + 1)
        return n

    def colours(self):
        """Histogram {(r, g, b): count}."""
        hist = {}
        d = self.rgb
        for i in range(0, len(d), 3):
            c = (d[i], d[i + 1], d[i + 2])
            hist[c] = hist.get(c, 0) + 1
        return hist

    def save_png(self, path):
        write_png(path, self.width, self.height, self.rgb)


def write_png(path, width, height, rgb):
    raw = b"".join(b"\x00" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def read_png(path):
    """Reads an 8-bit RGB or RGBA non-interlaced PNG into an Image."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, width = 8, [], 0
    while pos < len(data):
        n, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if tag == b"IHDR":
            width, height, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or ctype not in (2, 6) or interlace:
                raise ValueError("unsupported PNG")
        elif tag == b"IDAT":
            idat.append(body)
        pos += 12 + n
    bpp = 3 if ctype == 2 else 4
    raw = zlib.decompress(b"".join(idat))
    stride = width * bpp
    prev = bytearray(stride)
    out = bytearray()
    for y in range(height):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        prev = line
        if bpp == 4:
            for i in range(0, stride, 4):
                out += line[i:i + 3]
        else:
            out += line
    return Image(width, height, bytes(out))


class Screen:
    """One connection to an X display."""

    def __init__(self, display_name):
        path = ctypes.util.find_library("X11") or "libX11.so.6"
        x = ctypes.CDLL(path)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                 ctypes.c_long, ctypes.POINTER(_XEvent)]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                           ctypes.POINTER(_XWindowAttributes)]
        x.XTranslateCoordinates.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong)]
        x.XSetErrorHandler.restype = ctypes.c_void_p
        x.XSetErrorHandler.argtypes = [ctypes.c_void_p]
        # A window that has just gone away must not end the harness.
        self._on_error = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
            lambda d, e: 0)
        x.XSetErrorHandler(ctypes.cast(self._on_error, ctypes.c_void_p))
        self._x = x
        self._dpy = x.XOpenDisplay(display_name.encode())
        if not self._dpy:
            raise RuntimeError("cannot open display %s" % display_name)
        self._root = x.XDefaultRootWindow(self._dpy)
        self.width = x.XDisplayWidth(self._dpy, 0)
        self.height = x.XDisplayHeight(self._dpy, 0)

    def close(self):
        if self._dpy:
            self._x.XCloseDisplay(self._dpy)
            self._dpy = None

    def grab(self, x=0, y=0, w=None, h=None):
        """Pixels of a screen area, clipped to the screen."""
        w = self.width - x if w is None else w
        h = self.height - y if h is None else h
        x1, y1 = max(0, x), max(0, y)
        x2, y2 = min(self.width, x + w), min(self.height, y + h)
        img = self._x.XGetImage(self._dpy, self._root, x1, y1, x2 - x1, y2 - y1,
                                _ALL_PLANES, _ZPIXMAP)
        if not img:
            raise RuntimeError("XGetImage failed")
        try:
            im = img.contents
            if im.bits_per_pixel != 32 or im.byte_order != 0:
                raise RuntimeError("unexpected screen format (%d bpp)" % im.bits_per_pixel)
            raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            width, height, bpl = im.width, im.height, im.bytes_per_line
        finally:
            self._x.XDestroyImage(img)
        # BGRX little endian to RGB.
        rgb = bytearray(width * height * 3)
        for row in range(height):
            line = raw[row * bpl:row * bpl + width * 4]
            o = row * width * 3
            rgb[o:o + width * 3:3] = line[2::4]
            rgb[o + 1:o + width * 3:3] = line[1::4]
            rgb[o + 2:o + width * 3:3] = line[0::4]
        return Image(width, height, bytes(rgb), x1, y1)

    def click(self, x, y, hold=0.03):
        """Moves the pointer to (x, y) and clicks the left button through the
        XTEST extension, as xdotool does, but timed: returns the monotonic
        times of the press and of the release."""
        import time
        t = self._xtst()
        t.XTestFakeMotionEvent(self._dpy, -1, x, y, 0)
        self._x.XSync(self._dpy, 0)
        time.sleep(0.02)
        t.XTestFakeButtonEvent(self._dpy, 1, 1, 0)
        self._x.XSync(self._dpy, 0)
        pressed = time.monotonic()
        time.sleep(hold)
        t.XTestFakeButtonEvent(self._dpy, 1, 0, 0)
        self._x.XSync(self._dpy, 0)
        released = time.monotonic()
        return pressed, released

    def move(self, x, y):
        t = self._xtst()
        t.XTestFakeMotionEvent(self._dpy, -1, x, y, 0)
        self._x.XSync(self._dpy, 0)

    def _xtst(self):
        if getattr(self, "_tst", None) is None:
            t = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
            t.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                               ctypes.c_int, ctypes.c_ulong]
            t.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                               ctypes.c_ulong]
            self._tst = t
        return self._tst

    def window_rect(self, window):
        """(x, y, width, height) of a window's inside on the screen, or None
        when it is not there or not mapped."""
        x = self._x
        attrs = _XWindowAttributes()
        if not x.XGetWindowAttributes(self._dpy, window, ctypes.byref(attrs)):
            return None
        if attrs.map_state != 2:  # IsViewable
            return None
        rx, ry, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        if not x.XTranslateCoordinates(self._dpy, window, self._root, 0, 0,
                                       ctypes.byref(rx), ctypes.byref(ry), ctypes.byref(child)):
            return None
        return rx.value, ry.value, attrs.width, attrs.height

    def close_window(self, window):
        """Asks a window to close, as a window manager's close box does
        (WM_DELETE_WINDOW)."""
        x = self._x
        ev = _XEvent()
        ev.xclient.type = _CLIENT_MESSAGE
        ev.xclient.window = window
        ev.xclient.message_type = x.XInternAtom(self._dpy, b"WM_PROTOCOLS", 0)
        ev.xclient.format = 32
        ev.xclient.l[0] = x.XInternAtom(self._dpy, b"WM_DELETE_WINDOW", 0)
        ev.xclient.l[1] = 0  # CurrentTime
        x.XSendEvent(self._dpy, window, 0, 0, ctypes.byref(ev))
        x.XSync(self._dpy, 0)


def read_bmp(path):
    """Reads an uncompressed .bmp (1, 4, 8, 24 or 32 bits) into an Image."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError("not a BMP file")
    (off,) = struct.unpack("<I", data[10:14])
    (hsize,) = struct.unpack("<I", data[14:18])
    if hsize == 12:
        w, h, _, bpp = struct.unpack("<HHHH", data[18:26])
        comp, ncol, entry = 0, 0, 3
    else:
        w, h, _, bpp, comp = struct.unpack("<iiHHI", data[18:34])
        (ncol,) = struct.unpack("<I", data[46:50])
        entry = 4
    if comp not in (0, 3):
        raise ValueError("compressed BMP")
    top_down = h < 0
    h = abs(h)
    pal = []
    if bpp <= 8:
        ncol = ncol or (1 << bpp)
        p0 = 14 + hsize
        for i in range(ncol):
            b, g, r = data[p0 + i * entry:p0 + i * entry + 3]
            pal.append(bytes((r, g, b)))
    stride = ((w * bpp + 31) // 32) * 4
    rows = []
    for y in range(h):
        src_y = y if top_down else h - 1 - y
        line = data[off + src_y * stride:off + (src_y + 1) * stride]
        if bpp == 24:
            px = bytearray(w * 3)
            px[0::3], px[1::3], px[2::3] = line[2:w * 3:3], line[1:w * 3:3], line[0:w * 3:3]
        elif bpp == 32:
            px = bytearray(w * 3)
            px[0::3], px[1::3], px[2::3] = line[2:w * 4:4], line[1:w * 4:4], line[0:w * 4:4]
        else:
            px = bytearray()
            per = 8 // bpp
            mask = (1 << bpp) - 1
            for x in range(w):
                byte = line[x // per]
                idx = (byte >> (8 - bpp * (x % per + 1))) & mask
                px += pal[idx] if idx < len(pal) else b"\0\0\0"
        rows.append(bytes(px))
    return Image(w, h, b"".join(rows))


def write_bmp(path, width, height, rgb):
    """Writes a 24-bit .bmp from RGB rows, top first."""
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        row = rgb[y * width * 3:(y + 1) * width * 3]
        bgr = bytearray(width * 3)
        bgr[0::3], bgr[1::3], bgr[2::3] = row[2::3], row[1::3], row[0::3]
        body += bgr + b"\0" * (stride - width * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + body)

