#!/usr/bin/env python3
"""discover_info.py: finds the ONVIF devices on the local network (WS-Discovery,
3 seconds by default) and prints each one's device information, through the
shared library libonvif-client.so and ctypes.

    python3 discover_info.py [SECONDS]

The library is loaded as libonvif-client.so.0 (from the system's library
path, or LD_LIBRARY_PATH), or from the file named by ONVIF_CLIENT_LIB.
Devices that want credentials get them from ONVIF_USER / ONVIF_PASSWORD.
The output is that of the C example discover_info.c.
"""
import ctypes
import os
import sys
import threading
import time
from ctypes import (CFUNCTYPE, POINTER, Structure, byref, c_char, c_char_p, c_int, c_int32,
                    c_uint32, c_void_p)

# The records this script touches, laid out as in the library's headers
# (discovery/xaddr.h, http/http_addr.h, discovery/probe.h, onvif/tds_types.h).


class ONVIF_XADDR(Structure):
    _fields_ = [("https", c_int32), ("port", c_int32), ("host", c_char * 128),
                ("path", c_char * 128)]


class ONVIF_SCOPE(Structure):
    _fields_ = [("definition", c_int32), ("item", c_char * 128)]


class DEVICE_BINFO(Structure):
    _fields_ = [("type", c_int32), ("endpoint_address", c_char * 100),
                ("metadata_version", c_int32), ("scope_count", c_int32),
                ("scopes", ONVIF_SCOPE * 100), ("xaddr", ONVIF_XADDR)]


class ONVIF_DEVICE_HEAD(Structure):
    """The first members of ONVIF_DEVICE; the record itself comes from
    onvif_new_device, which knows its full size."""
    _fields_ = [("local_ip", c_uint32), ("binfo", DEVICE_BINFO)]


class ONVIF_DEVICE_INFORMATION(Structure):
    _fields_ = [("manufacturer", c_char * 64), ("model", c_char * 64),
                ("firmware_version", c_char * 64), ("serial_number", c_char * 64),
                ("hardware_id", c_char * 64)]


PROBE_MSG_BYE = 2
PROBE_CB = CFUNCTYPE(None, POINTER(DEVICE_BINFO), c_int, c_void_p)


def load():
    lib = ctypes.CDLL(os.environ.get("ONVIF_CLIENT_LIB", "libonvif-client.so.0"))
    lib.onvif_client_version.restype = c_char_p
    lib.sys_buf_init.argtypes = [c_uint32]
    lib.http_msg_buf_init.argtypes = [c_int]
    lib.set_probe_cb.argtypes = [PROBE_CB, c_void_p]
    lib.start_probe.argtypes = [c_char_p, c_int]
    lib.onvif_new_device.restype = c_void_p
    lib.onvif_delete_device.argtypes = [c_void_p]
    lib.onvif_SetAuthInfo.argtypes = [c_void_p, c_char_p, c_char_p]
    lib.onvif_tds_GetDeviceInformation.argtypes = [c_void_p, c_void_p,
                                                   POINTER(ONVIF_DEVICE_INFORMATION)]
    return lib


def text(field):
    return field.decode("utf-8", "replace")


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    if not 1 <= seconds <= 3600:
        print("usage: %s [SECONDS]" % sys.argv[0], file=sys.stderr)
        return 2
    lib = load()
    print("onvif-client %s: discovering for %d s" % (text(lib.onvif_client_version()), seconds))

    lib.network_init()
    lib.sys_buf_init(32)
    lib.http_msg_buf_init(32)

    found = {}  # endpoint address -> DEVICE_BINFO copy, in discovery order
    lock = threading.Lock()

    @PROBE_CB
    def on_discovery(binfo, kind, _user):
        # Called on the library's discovery thread; the record is only valid
        # during the call.
        if kind == PROBE_MSG_BYE:
            return
        copy = DEVICE_BINFO()
        ctypes.memmove(byref(copy), binfo, ctypes.sizeof(DEVICE_BINFO))
        with lock:
            found.setdefault(copy.endpoint_address, copy)

    lib.set_probe_cb(on_discovery, None)
    if lib.start_probe(None, 10) != 0:
        print("discovery could not start", file=sys.stderr)
        return 1
    time.sleep(seconds)
    lib.stop_probe()
    lib.set_probe_cb(PROBE_CB(), None)

    user = os.environ.get("ONVIF_USER")
    password = os.environ.get("ONVIF_PASSWORD", "")
    for binfo in found.values():
        dev = lib.onvif_new_device()
        if not dev:
            return 1
        ONVIF_DEVICE_HEAD.from_address(dev).binfo = binfo
        if user:
            lib.onvif_SetAuthInfo(dev, user.encode(), password.encode())
        info = ONVIF_DEVICE_INFORMATION()
        where = "%s:%d" % (text(binfo.xaddr.host), binfo.xaddr.port)
        if lib.onvif_tds_GetDeviceInformation(dev, None, byref(info)):
            print("%s %s | %s | firmware %s | serial %s" % (
                where, text(info.manufacturer), text(info.model), text(info.firmware_version),
                text(info.serial_number)))
        else:
            print("%s no device information" % where)
        lib.onvif_delete_device(dev)
    print("%d device(s)" % len(found))
    return 0


if __name__ == "__main__":
    sys.exit(main())
