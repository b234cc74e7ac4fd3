"""Probing media files."""
from __future__ import annotations

import ctypes
import os
from typing import Union

from . import _native
from ._types import ProbeError, ProbeResult


def probe(path: Union[str, "os.PathLike[str]"]) -> ProbeResult:
    """Probes a media file with ffprobe and returns its container, codecs, size and duration.

    Raises FileNotFoundError for a missing file and ProbeError for a file that
    is not media. Blocks while ffprobe runs.
    """
    if not os.path.exists(path):
        raise FileNotFoundError(path)
    lib = _native.lib()
    r = _native.probe_result_ex()
    if not lib.tarsa_sdk_probe_ex2(_native.fs(path), ctypes.byref(r)):
        raise ProbeError(f"{os.fspath(path)}: not a media file")
    t = _native.text
    return ProbeResult(
        container=t(r.result.f_fmt),
        video=t(r.result.v_fmt),
        audio=t(r.result.a_fmt),
        width=r.result.width,
        height=r.result.height,
        duration=r.result.duration,
        video_detail=t(r.video_detailed_param),
        audio_detail=t(r.audio_detailed_param),
    )
