#!/usr/bin/env python3
"""close-window.py WINDOW_ID: asks the window on $DISPLAY to close, as a window
manager's close button does (WM_DELETE_WINDOW); xdotool can only destroy it."""
import ctypes
import ctypes.util
import sys

C = ctypes
x11 = C.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = C.c_void_p
x11.XInternAtom.restype = C.c_ulong
x11.XInternAtom.argtypes = [C.c_void_p, C.c_char_p, C.c_int]
x11.XSendEvent.argtypes = [C.c_void_p, C.c_ulong, C.c_int, C.c_long, C.c_void_p]
x11.XCloseDisplay.argtypes = [C.c_void_p]
display = x11.XOpenDisplay(None) or sys.exit("close-window.py: no display")
window = int(sys.argv[1], 0)
# XClientMessageEvent: type 33, serial, send_event, display, window, message_type, format 32,
# data; padded to the 24 longs of an XEvent.
event = (C.c_ulong * 24)(33, 0, 1, display, window,
                         x11.XInternAtom(display, b"WM_PROTOCOLS", 0), 32,
                         x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0))
x11.XSendEvent(display, window, 0, 0, event)
x11.XCloseDisplay(display)  # flushes the request
