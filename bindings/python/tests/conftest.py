import os
import subprocess
import time
from pathlib import Path

import pytest

FFMPEG = "/usr/bin/ffmpeg"


def make_media(path: Path, seconds: int, size: str = "160x120", codec: str = "libx264") -> Path:
    subprocess.run(
        [FFMPEG, "-v", "error", "-y", "-f", "lavfi", "-i", f"testsrc2=size={size}:rate=25:duration={seconds}",
         "-f", "lavfi", "-i", f"sine=frequency=440:duration={seconds}", "-c:v", codec, "-pix_fmt", "yuv420p",
         "-c:a", "aac", "-shortest", str(path)],
        check=True)
    return path


@pytest.fixture(scope="session")
def media(tmp_path_factory):
    d = tmp_path_factory.mktemp("media")
    # The library logs to standard error unless told otherwise.
    os.environ.setdefault("TARSASDK_LOG", str(d / "tarsasdk.log"))
    # "long" is MPEG-4 Part 2: converting it re-encodes, so jobs on it last.
    return {"short": make_media(d / "short.mp4", 4), "long": make_media(d / "long.mp4", 20, "640x480", "mpeg4"),
            "text": _text(d / "notes.mp4")}


def _text(path: Path) -> Path:
    path.write_text("not media\n" * 50)
    return path


def our_tools():
    """Processes started for this process by the library (they carry TARSASDK_HOST=<our pid>:...)."""
    mark = f"TARSASDK_HOST={os.getpid()}:".encode()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if mark in f.read():
                    found.append(int(pid))
        except OSError:
            pass
    return found


@pytest.fixture(autouse=True)
def nothing_left_running():
    yield
    deadline = time.monotonic() + 3
    while our_tools() and time.monotonic() < deadline:
        time.sleep(0.1)
    assert our_tools() == []
