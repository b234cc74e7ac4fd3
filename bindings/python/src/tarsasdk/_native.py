"""Loading of the C library, its records and the one event callback.

The library has a single, process-wide event callback that it calls on its own
threads. This module registers it once and routes every event to the queue of
the job object that owns the handle, so job objects consume their events on
the thread that waits for them.
"""
from __future__ import annotations

import ctypes
import ctypes.util
import glob
import os
import sys
import sysconfig
import threading
from pathlib import Path
from typing import Callable, Dict, List, Optional

SONAME = "libtarsasdk.so.0"
INVALID_HANDLE = ctypes.c_void_p(-1).value


class probe_result(ctypes.Structure):
    _fields_ = [
        ("duration", ctypes.c_int32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("f_fmt", ctypes.c_char * 30),
        ("v_fmt", ctypes.c_char * 30),
        ("a_fmt", ctypes.c_char * 30),
    ]


class probe_result_ex(ctypes.Structure):
    _fields_ = [
        ("result", probe_result),
        ("video_detailed_param", ctypes.c_char * 256),
        ("audio_detailed_param", ctypes.c_char * 256),
    ]


class ot(ctypes.Structure):
    _fields_ = [
        ("row_num", ctypes.c_int32),
        ("col_num", ctypes.c_int32),
        ("font_size", ctypes.c_int32),
        ("transparency", ctypes.c_int32),
        ("angle", ctypes.c_int32),
        ("font_color", ctypes.c_char * 16),
        ("text", ctypes.c_char * 1024),
    ]


class cvt_param(ctypes.Structure):
    _fields_ = [
        ("dst_file_type", ctypes.c_int32),
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("audio_enable", ctypes.c_uint32),
        ("quality", ctypes.c_int32),
    ]


class dst_info(ctypes.Structure):
    _fields_ = [
        ("video_copy", ctypes.c_uint32),
        ("audio_copy", ctypes.c_uint32),
        ("f_fmt", ctypes.c_char * 30),
        ("v_fmt", ctypes.c_char * 30),
        ("a_fmt", ctypes.c_char * 30),
    ]


class cut_param(ctypes.Structure):
    _fields_ = [
        ("dst_file_type", ctypes.c_int32),
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("start_time", ctypes.c_int32),
        ("cut_length", ctypes.c_int32),
        ("force_encode", ctypes.c_uint32),
        ("audio_enable", ctypes.c_uint32),
        ("quality", ctypes.c_int32),
    ]


class merge_param(ctypes.Structure):
    _fields_ = [
        ("dst_file_type", ctypes.c_uint32),
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("audio_enable", ctypes.c_uint32),
        ("quality", ctypes.c_int32),
    ]


MESS_CALLBACK = ctypes.CFUNCTYPE(
    ctypes.c_int32, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p
)

_P = ctypes.c_void_p
_S = ctypes.c_char_p
_I = ctypes.c_int
_PROTOTYPES = {
    "tarsa_sdk_startup": (_I, []),
    "tarsa_sdk_cleanup": (_I, []),
    "tarsa_sdk_set_mess_callback": (_I, [MESS_CALLBACK, _P]),
    "tarsa_sdk_probe_ex2": (_I, [_S, ctypes.POINTER(probe_result_ex)]),
    "tarsa_sdk_set_option_param": (_I, [_P, ctypes.c_uint32, _P, ctypes.c_int32]),
    "tarsa_sdk_create": (_P, [_S, _S, ctypes.POINTER(cvt_param)]),
    "tarsa_sdk_get_pos": (_I, [_P]),
    "tarsa_sdk_start_ex": (_I, [_P, ctypes.POINTER(dst_info)]),
    "tarsa_sdk_stop": (_I, [_P]),
    "tarsa_sdk_destroy": (_I, [_P]),
    "tarsa_sdk_cut_create": (_P, [_S, _S, ctypes.POINTER(cut_param)]),
    "tarsa_sdk_cut_get_pos": (_I, [_P]),
    "tarsa_sdk_cut_start": (_I, [_P]),
    "tarsa_sdk_cut_stop": (_I, [_P]),
    "tarsa_sdk_cut_destroy": (_I, [_P]),
    "tarsa_sdk_merge_create": (_P, [_S, ctypes.POINTER(merge_param)]),
    "tarsa_sdk_merge_add_file": (_I, [_P, _S]),
    "tarsa_sdk_merge_set_tmp_path": (_I, [_S]),
    "tarsa_sdk_merge_get_pos": (_I, [_P]),
    "tarsa_sdk_merge_start_ex": (_I, [_P, ctypes.POINTER(dst_info)]),
    "tarsa_sdk_merge_stop": (_I, [_P]),
    "tarsa_sdk_merge_destroy": (_I, [_P]),
}


def _candidates() -> List[str]:
    """Where the library may lie, in the order it is looked for."""
    found: List[str] = []
    env = os.environ.get("TARSASDK_LIBRARY")
    if env:
        return [env]
    # The loader's own search (ld.so cache, LD_LIBRARY_PATH, /usr/lib/<arch>).
    found.append(SONAME)
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for prefix in dict.fromkeys([sys.prefix, sys.base_prefix, "/usr/local", "/usr"]):
        for libdir in (f"lib/{multiarch}" if multiarch else "", "lib64", "lib"):
            if libdir:
                found.append(os.path.join(prefix, libdir, SONAME))
    # A build tree of the source checkout this package was taken from.
    root = Path(__file__).resolve().parents[4]
    found.extend(sorted(glob.glob(str(root / "build*" / "bin" / SONAME))))
    return found


def _load() -> ctypes.CDLL:
    errors = []
    for name in _candidates():
        try:
            lib = ctypes.CDLL(name)
            break
        except OSError as e:
            errors.append(str(e))
    else:
        raise OSError(
            "tarsasdk: cannot load the C library (set TARSASDK_LIBRARY to the path of "
            f"{SONAME}); tried: " + "; ".join(errors)
        )
    for fname, (restype, argtypes) in _PROTOTYPES.items():
        fn = getattr(lib, fname)
        fn.restype = restype
        fn.argtypes = argtypes
    return lib


# Handle -> function taking (code, name, p2) and returning the callback's answer.
_POSITION_EVENTS = (100, 200, 300)

_routes: Dict[int, Callable[[int, Optional[str], int], int]] = {}
_routes_lock = threading.Lock()
_lib: Optional[ctypes.CDLL] = None
_lib_lock = threading.Lock()


def _on_event(handle: Optional[int], code: int, p1: Optional[int], p2: int, user: Optional[int]) -> int:
    # Runs on a library thread (ctypes holds the GIL for us). Nothing may
    # escape: an exception here must never reach the C side.
    try:
        with _routes_lock:
            route = _routes.get(handle or 0)
        if route is None:
            return 0
        name = ctypes.string_at(p1, p2).decode("utf-8", "replace") if p1 and code not in _POSITION_EVENTS else None
        return int(route(code, name, p2))
    except BaseException:  # noqa: BLE001 - see above
        return 0


_callback = MESS_CALLBACK(_on_event)  # kept alive for the life of the process


def lib() -> ctypes.CDLL:
    """The started library (loaded, started and its callback set on first use)."""
    global _lib
    with _lib_lock:
        if _lib is None:
            loaded = _load()
            loaded.tarsa_sdk_startup()
            loaded.tarsa_sdk_set_mess_callback(_callback, None)
            _lib = loaded
        return _lib


def route(handle: int, fn: Callable[[int, Optional[str], int], int]) -> None:
    with _routes_lock:
        _routes[handle] = fn


def unroute(handle: int) -> None:
    with _routes_lock:
        _routes.pop(handle, None)


def text(raw: bytes) -> str:
    return raw.decode("utf-8", "replace")


def fs(path: "os.PathLike[str] | str") -> bytes:
    """An absolute, encoded file name: the tools run in the library's directory."""
    return os.fsencode(os.path.abspath(os.fspath(path)))
