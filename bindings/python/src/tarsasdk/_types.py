"""Results, options and errors of the Python interface."""
from __future__ import annotations

from dataclasses import dataclass
from typing import Optional


class TarsaError(Exception):
    """Base of the errors raised by tarsasdk."""


class ProbeError(TarsaError):
    """The file could not be probed as media."""


class JobFailed(TarsaError):
    """A job could not be created or started, or it failed; `reason` says why."""

    def __init__(self, reason: str) -> None:
        super().__init__(reason)
        self.reason = reason


class JobStopped(TarsaError):
    """The job was stopped before it finished (by stop() or Ctrl-C)."""


@dataclass(frozen=True)
class ProbeResult:
    """What probing a media file yields. Sizes are pixels, `duration` whole seconds."""

    container: str
    video: str
    audio: str
    width: int
    height: int
    duration: int
    video_detail: str
    audio_detail: str


@dataclass(frozen=True)
class OutputInfo:
    """What a conversion or merge writes: container, codecs, and whether streams are copied."""

    container: str
    video: str
    audio: str
    video_copy: bool
    audio_copy: bool


@dataclass(frozen=True)
class JobResult:
    """The outcome of a finished job: the destination and, for conversions and merges, its make-up."""

    dst: str
    output: Optional[OutputInfo] = None


@dataclass(frozen=True)
class Watermark:
    """A text watermark drawn as a `rows` x `cols` grid over the video.

    `transparency` is a percentage (0 opaque), `angle` degrees, `color` a
    colour name or "0xRRGGBB".
    """

    text: str
    rows: int = 1
    cols: int = 1
    font_size: int = 24
    transparency: int = 0
    angle: int = 0
    color: str = "white"
