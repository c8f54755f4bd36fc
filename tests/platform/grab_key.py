# Another X client holding a key grab on the root window: grab_key.py KEYSYM-NAME MODMASK
# Prints "held" once the server has accepted the grab, then keeps it until stdin closes.
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]; x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XStringToKeysym.argtypes = [ctypes.c_char_p]; x.XStringToKeysym.restype = ctypes.c_ulong
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]; x.XKeysymToKeycode.restype = ctypes.c_ubyte
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int,
                       ctypes.c_int, ctypes.c_int]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(1)
code = x.XKeysymToKeycode(d, x.XStringToKeysym(sys.argv[1].encode()))
x.XGrabKey(d, code, int(sys.argv[2]), x.XDefaultRootWindow(d), 1, 1, 1)
x.XSync(d, 0)
print("held", flush=True)
sys.stdin.read()
