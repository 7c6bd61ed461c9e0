#!/usr/bin/env python3
"""host.py - OneX_Rev_b_lib from Python through ctypes.

Does what host.c does: computes the frame of the default parameter set with
mlfOneX_RevTrfChn and writes it as a Halberd waveform file with
mlfsaveHalberdWaveform.

    python3 host.py [FILE]       (default FILE: default-frame.bin)

The library is looked up in ONEX_LIB (a path), else as libOneX_Rev_b_lib.so
on the system's library path.
"""
import ctypes
import os
import sys

lib = ctypes.CDLL(os.environ.get("ONEX_LIB", "libOneX_Rev_b_lib.so"))

mx = ctypes.c_void_p  # mxArray*, opaque here
lib.OneX_Rev_b_libInitialize.restype = ctypes.c_bool
lib.OneX_Rev_b_libLastError.restype = ctypes.c_char_p
lib.mxCreateDoubleScalar.restype = mx
lib.mxCreateDoubleScalar.argtypes = [ctypes.c_double]
lib.mxCreateDoubleMatrix.restype = mx
lib.mxCreateDoubleMatrix.argtypes = [ctypes.c_size_t, ctypes.c_size_t, ctypes.c_int]
lib.mxCreateString.restype = mx
lib.mxCreateString.argtypes = [ctypes.c_char_p]
lib.mxGetPr.restype = ctypes.POINTER(ctypes.c_double)
lib.mxGetPr.argtypes = [mx]
lib.mxGetN.restype = ctypes.c_size_t
lib.mxGetN.argtypes = [mx]
lib.mxGetScalar.restype = ctypes.c_double
lib.mxGetScalar.argtypes = [mx]
lib.mxDestroyArray.argtypes = [mx]
# Every mlf entry point takes and returns mxArray pointers.
lib.mlfGenerateBitStream.restype = mx
lib.mlfGenerateBitStream.argtypes = [mx] * 3
lib.mlfOneX_RevTrfPhysicalLayerPacket.restype = mx
lib.mlfOneX_RevTrfPhysicalLayerPacket.argtypes = [mx]
lib.mlfOneX_RevTrfChn.restype = mx
lib.mlfOneX_RevTrfChn.argtypes = [ctypes.POINTER(mx)] + [mx] * 21
lib.mlfsaveHalberdWaveform.restype = mx
lib.mlfsaveHalberdWaveform.argtypes = [mx] * 3


def last_error():
    text = lib.OneX_Rev_b_libLastError()
    return text.decode() if text else "unknown error"


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "default-frame.bin"
    if not lib.OneX_Rev_b_libInitialize():
        sys.exit("host.py: the library could not be initialised")
    owned = []  # every array made here, destroyed at the end

    def keep(a):
        if not a:
            raise RuntimeError(last_error())
        owned.append(a)
        return a

    def number(v):
        return keep(lib.mxCreateDoubleScalar(v))

    def row(n, v):
        a = keep(lib.mxCreateDoubleMatrix(1, n, 0))
        p = lib.mxGetPr(a)
        for i in range(n):
            p[i] = v
        return a

    try:
        zero, one = number(0), number(1)
        mask = number(4398046511103.0)
        payload = keep(lib.mlfGenerateBitStream(number(6), number(234), None))
        data_bits = keep(lib.mlfOneX_RevTrfPhysicalLayerPacket(payload))
        ack = row(16, 1)
        events = mx()
        frame = keep(lib.mlfOneX_RevTrfChn(
            ctypes.byref(events),
            zero, zero,                                    # RRI
            zero, zero, ack, ack,                          # ACK
            zero, zero, row(17, 1), row(17, 15), row(17, 7),  # DRC
            zero, zero, data_bits, one, one,               # Data
            mask, mask, number(5), number(3), zero))
        keep(events.value)
        print("frame: %d samples" % lib.mxGetN(frame))
        ok = keep(lib.mlfsaveHalberdWaveform(frame, keep(lib.mxCreateString(path.encode())), None))
        if lib.mxGetScalar(ok) != 1:
            raise RuntimeError("could not write " + path)
        print("written to " + path)
    except RuntimeError as e:
        print("host.py: " + str(e), file=sys.stderr)
        return 1
    finally:
        for a in owned:
            lib.mxDestroyArray(a)
        lib.OneX_Rev_b_libTerminate()
    return 0


if __name__ == "__main__":
    sys.exit(main())
