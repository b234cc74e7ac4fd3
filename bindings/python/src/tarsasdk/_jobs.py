"""Conversion, cut and merge jobs.

A job object owns one library job from its creation to close(). The library
reports progress on its own threads; those events are queued here and
consumed by the thread that calls progress() or wait(), so user code (and
its exceptions) always runs on the caller's thread.
"""
from __future__ import annotations

import ctypes
import os
import queue
import threading
from typing import Any, Callable, Iterator, List, Optional, Sequence, Tuple, Union

from . import _native
from ._types import JobFailed, JobResult, JobStopped, OutputInfo, Watermark

PathLike = Union[str, "os.PathLike[str]"]
Size = Optional[Tuple[int, int]]
FileType = Union[str, int, None]
ProgressCallback = Optional[Callable[[int], Any]]

# Destination file types by name; other names let the tool choose the container.
FILE_TYPES = {"sdv": 1, "h264": 2, "mp4": 3, "avi": 5, "flv": 6}
DEFAULT_QUALITY = 5
_OPT_WATERMARK = 2


def _file_type(type: FileType, dst: PathLike) -> int:
    if isinstance(type, int):
        return type
    name = type if type is not None else os.path.splitext(os.fspath(dst))[1].lstrip(".")
    return FILE_TYPES.get(name.lower(), 0)


def _bounded(value: str, size: int, what: str) -> bytes:
    raw = value.encode("utf-8")
    if len(raw) >= size:
        raise ValueError(f"{what} longer than {size - 1} bytes")
    return raw


class Job:
    """Common life of a job: start(), position, progress(), wait(), stop(), close().

    Use it as a context manager: leaving the block stops and frees the job.
    """

    _what = "job"
    _pos_event = 0
    _fail_event = 0
    # Whether the position event with 100 ends the job also after a failure.
    _hundred_always_last = False

    def __init__(self, dst: PathLike) -> None:
        self.dst = os.path.abspath(os.fspath(dst))
        self._lib = _native.lib()
        self._handle: Optional[int] = None
        self._events: "queue.Queue[Tuple[str, Any]]" = queue.Queue()
        self._state = "created"  # created, running, done, failed, stopped
        self._reason = ""
        self._pos = 0
        self._stop_requested = threading.Event()
        self._output: Optional[OutputInfo] = None

    # -- the library calls of each kind -------------------------------------
    def _lib_start(self) -> bool:
        raise NotImplementedError

    def _lib_pos(self) -> int:
        raise NotImplementedError

    def _lib_stop(self) -> None:
        raise NotImplementedError

    def _lib_destroy(self) -> None:
        raise NotImplementedError

    def _prepare_restart(self) -> None:
        self._lib_stop()  # the library wants a stop before a new start

    def _adopt(self, handle: Optional[int], reason: str) -> None:
        if not handle or handle == _native.INVALID_HANDLE:
            raise JobFailed(reason)
        self._handle = handle
        _native.route(handle, self._on_event)

    # -- events (library thread) -------------------------------------------
    def _on_event(self, code: int, name: Optional[str], p2: int) -> int:
        if code == self._pos_event:
            self._events.put(("pos", p2))
        elif code == self._fail_event:
            self._events.put(("failed", f"the {self._what} of {name or self.dst} failed"))
        return 0

    # -- public -------------------------------------------------------------
    @property
    def handle(self) -> int:
        if self._handle is None:
            raise ValueError("the job is closed")
        return self._handle

    @property
    def position(self) -> int:
        """The job's position in percent (0..100), read from the library."""
        return self._lib_pos()

    @property
    def state(self) -> str:
        """"created", "running", "done", "failed" or "stopped" (as far as events were consumed)."""
        return self._state

    def start(self) -> "Job":
        """Starts the job (again, after a stop). Raises JobFailed when it cannot start."""
        self.handle  # raises when closed
        if self._state == "running":
            raise RuntimeError(f"the {self._what} is running")
        if self._state != "created":
            self._prepare_restart()
        self._events = queue.Queue()
        self._stop_requested.clear()
        self._state, self._reason, self._pos = "running", "", 0
        if not self._lib_start():
            self._lib_stop()
            self._state = "failed"
            self._reason = f"the {self._what} to {self.dst} could not start"
            raise JobFailed(self._reason)
        return self

    def _handle_event(self, kind: str, value: Any) -> None:
        if self._state != "running":
            return
        if kind == "stopped":
            self._state = "stopped"
        elif kind == "failed":
            self._reason = self._reason or value
            if not self._hundred_always_last:
                self._state = "failed"
        elif kind == "pos":
            self._pos = max(self._pos, min(int(value), 100))
            if value == 100:
                if self._stop_requested.is_set():
                    self._state = "stopped"
                else:
                    self._state = "failed" if self._reason else "done"

    def _pump(self, timeout: float) -> bool:
        """Consumes one event if one arrives within `timeout`; False if none did."""
        try:
            kind, value = self._events.get(timeout=timeout)
        except queue.Empty:
            return False
        self._handle_event(kind, value)
        return True

    def progress(self) -> Iterator[int]:
        """Yields the rising percentages until the job ends (without raising for the outcome).

        Ctrl-C (KeyboardInterrupt) stops the job and is raised again.
        """
        last = -1
        try:
            while self._state == "running":
                self._pump(0.1)
                if self._pos > last and (self._pos < 100 or self._state == "done"):
                    last = self._pos
                    yield last
        except KeyboardInterrupt:
            self.stop()
            raise

    def wait(self, on_progress: ProgressCallback = None) -> JobResult:
        """Blocks until the job ends and returns its result.

        Raises JobFailed (with the reason) on failure and JobStopped when it
        was stopped. `on_progress` is called with each new percentage.
        """
        for pct in self.progress():
            if on_progress is not None:
                on_progress(pct)
        if self._state == "done":
            return JobResult(self.dst, self._output)
        if self._state == "failed":
            raise JobFailed(self._reason)
        if self._state == "stopped":
            raise JobStopped(f"the {self._what} to {self.dst} was stopped")
        raise RuntimeError(f"the {self._what} was not started")

    def stop(self) -> None:
        """Stops the job: its tools are killed and its thread joined. Safe at any time."""
        if self._handle is None:
            return
        self._stop_requested.set()
        self._lib_stop()
        self._events.put(("stopped", None))

    def close(self) -> None:
        """Stops and frees the job; the object is unusable afterwards."""
        if self._handle is None:
            return
        handle = self._handle
        try:
            self.stop()
            self._lib_destroy()
        finally:
            self._handle = None
            _native.unroute(handle)

    def __enter__(self) -> "Job":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass


def _output(info: "_native.dst_info") -> OutputInfo:
    t = _native.text
    return OutputInfo(t(info.f_fmt), t(info.v_fmt), t(info.a_fmt), bool(info.video_copy), bool(info.audio_copy))


class Convert(Job):
    """A conversion of `src` into `dst`.

    `type`: destination file type ("mp4", "avi", "flv", "h264", "sdv", or the
    library's number); None chooses it from dst's extension. `size`: (width,
    height), None keeps the source's. `audio`: False drops the audio.
    `quality`: the video quality value (-q:v), None for 5. `watermark`: a
    text watermark grid.
    """

    _what = "conversion"
    _pos_event = 100
    _fail_event = 101
    _hundred_always_last = True

    def __init__(self, src: PathLike, dst: PathLike, *, type: FileType = None, size: Size = None,
                 audio: bool = True, quality: Optional[int] = None, watermark: Optional[Watermark] = None) -> None:
        super().__init__(dst)
        self.src = os.path.abspath(os.fspath(src))
        p = _native.cvt_param(_file_type(type, dst), *(size or (0, 0)), int(audio),
                              DEFAULT_QUALITY if quality is None else quality)
        self._adopt(self._lib.tarsa_sdk_create(_native.fs(src), _native.fs(dst), ctypes.byref(p)),
                    f"cannot convert {self.src} (not media, or a bad name)")
        if watermark is not None:
            w = _native.ot(watermark.rows, watermark.cols, watermark.font_size, watermark.transparency,
                           watermark.angle, _bounded(watermark.color, 16, "colour"),
                           _bounded(watermark.text, 1024, "watermark text"))
            if not self._lib.tarsa_sdk_set_option_param(self._handle, _OPT_WATERMARK, ctypes.byref(w),
                                                        ctypes.sizeof(w)):
                self.close()
                raise JobFailed("the watermark was refused")

    def _lib_start(self) -> bool:
        info = _native.dst_info()
        ok = bool(self._lib.tarsa_sdk_start_ex(self.handle, ctypes.byref(info)))
        self._output = _output(info) if ok else None
        return ok

    def _lib_pos(self) -> int:
        return int(self._lib.tarsa_sdk_get_pos(self.handle))

    def _lib_stop(self) -> None:
        self._lib.tarsa_sdk_stop(self.handle)

    def _lib_destroy(self) -> None:
        self._lib.tarsa_sdk_destroy(self.handle)


class Cut(Job):
    """A cut of `length` seconds from `start` seconds of `src` into `dst`.

    Streams are copied where possible; `force_encode` re-encodes. Other
    arguments as for Convert.
    """

    _what = "cut"
    _pos_event = 200
    _fail_event = 201

    def __init__(self, src: PathLike, dst: PathLike, start: int, length: int, *, type: FileType = None,
                 size: Size = None, audio: bool = True, quality: Optional[int] = None,
                 force_encode: bool = False) -> None:
        super().__init__(dst)
        self.src = os.path.abspath(os.fspath(src))
        p = _native.cut_param(_file_type(type, dst), *(size or (0, 0)), int(start), int(length),
                              int(force_encode), int(audio), DEFAULT_QUALITY if quality is None else quality)
        self._adopt(self._lib.tarsa_sdk_cut_create(_native.fs(src), _native.fs(dst), ctypes.byref(p)),
                    f"cannot cut {self.src} (not media, or a bad name or range)")

    def _lib_start(self) -> bool:
        return bool(self._lib.tarsa_sdk_cut_start(self.handle))

    def _lib_pos(self) -> int:
        return int(self._lib.tarsa_sdk_cut_get_pos(self.handle))

    def _lib_stop(self) -> None:
        self._lib.tarsa_sdk_cut_stop(self.handle)

    def _lib_destroy(self) -> None:
        self._lib.tarsa_sdk_cut_destroy(self.handle)


class Merge(Job):
    """A merge of `sources` (at least two, in order) into `dst`.

    `on_source_error`: "skip" goes on without a source that cannot be
    transcoded (its name is added to `skipped`), "abort" fails the merge.
    Other arguments as for Convert.
    """

    _what = "merge"
    _pos_event = 300
    _fail_event = 302

    def __init__(self, dst: PathLike, sources: Sequence[PathLike], *, type: FileType = None, size: Size = None,
                 audio: bool = True, quality: Optional[int] = None, on_source_error: str = "skip") -> None:
        if on_source_error not in ("skip", "abort"):
            raise ValueError('on_source_error must be "skip" or "abort"')
        super().__init__(dst)
        self.sources: List[str] = [os.path.abspath(os.fspath(s)) for s in sources]
        self.skipped: List[str] = []
        self._abort_on_source_error = on_source_error == "abort"
        p = _native.merge_param(_file_type(type, dst), *(size or (0, 0)), int(audio),
                                DEFAULT_QUALITY if quality is None else quality)
        self._adopt(self._lib.tarsa_sdk_merge_create(_native.fs(dst), ctypes.byref(p)),
                    f"cannot merge into {self.dst}")
        self._add_sources()

    def _add_sources(self) -> None:
        for s in self.sources:
            if not self._lib.tarsa_sdk_merge_add_file(self.handle, _native.fs(s)):
                self.close()
                raise JobFailed(f"cannot merge {s} (not media, or a bad name)")

    def _on_event(self, code: int, name: Optional[str], p2: int) -> int:
        if code != 301:
            return super()._on_event(code, name, p2)
        self.skipped.append(name or "")
        if self._abort_on_source_error:
            # The library ends such a merge without a final event.
            self._events.put(("failed", f"the merge source {name} could not be transcoded"))
            return -1
        return 0

    def _prepare_restart(self) -> None:
        self._lib_stop()
        self._add_sources()  # a stop empties the library's source list

    def start(self) -> "Job":
        self.skipped = []
        return super().start()

    def _lib_start(self) -> bool:
        info = _native.dst_info()
        ok = bool(self._lib.tarsa_sdk_merge_start_ex(self.handle, ctypes.byref(info)))
        self._output = _output(info) if ok else None
        return ok

    def _lib_pos(self) -> int:
        return int(self._lib.tarsa_sdk_merge_get_pos(self.handle))

    def _lib_stop(self) -> None:
        self._lib.tarsa_sdk_merge_stop(self.handle)

    def _lib_destroy(self) -> None:
        self._lib.tarsa_sdk_merge_destroy(self.handle)


def convert(src: PathLike, dst: PathLike, *, type: FileType = None, size: Size = None, audio: bool = True,
            quality: Optional[int] = None, watermark: Optional[Watermark] = None,
            on_progress: ProgressCallback = None) -> JobResult:
    """Converts `src` into `dst` and returns when done (see Convert for the options).

    Raises JobFailed with the reason on failure; Ctrl-C stops the job.
    """
    with Convert(src, dst, type=type, size=size, audio=audio, quality=quality, watermark=watermark) as job:
        job.start()
        return job.wait(on_progress)


def cut(src: PathLike, dst: PathLike, start: int, length: int, *, type: FileType = None, size: Size = None,
        audio: bool = True, quality: Optional[int] = None, force_encode: bool = False,
        on_progress: ProgressCallback = None) -> JobResult:
    """Cuts `length` seconds from `start` of `src` into `dst` and returns when done (see Cut)."""
    with Cut(src, dst, start, length, type=type, size=size, audio=audio, quality=quality,
             force_encode=force_encode) as job:
        job.start()
        return job.wait(on_progress)


def merge(dst: PathLike, sources: Sequence[PathLike], *, type: FileType = None, size: Size = None,
          audio: bool = True, quality: Optional[int] = None, on_source_error: str = "skip",
          on_progress: ProgressCallback = None) -> JobResult:
    """Joins `sources` in order into `dst` and returns when done (see Merge)."""
    with Merge(dst, sources, type=type, size=size, audio=audio, quality=quality,
               on_source_error=on_source_error) as job:
        job.start()
        return job.wait(on_progress)
