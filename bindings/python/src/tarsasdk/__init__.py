"""tarsasdk: probe media files and run conversion, cut and merge jobs.

Blocking calls::

    info = tarsasdk.probe("in.mp4")
    tarsasdk.convert("in.mp4", "out.flv", on_progress=print)

Job objects::

    with tarsasdk.Convert("in.mp4", "out.avi") as job:
        job.start()
        for pct in job.progress():
            print(pct)
        job.wait()

The C library is loaded on first use (see the package README for where it
is looked for).
"""
from ._jobs import Convert, Cut, Job, Merge, convert, cut, merge
from ._probe import probe
from ._types import JobFailed, JobResult, JobStopped, OutputInfo, ProbeError, ProbeResult, TarsaError, Watermark

__version__ = "0.1.0"
__all__ = [
    "probe", "convert", "cut", "merge", "Job", "Convert", "Cut", "Merge",
    "ProbeResult", "JobResult", "OutputInfo", "Watermark",
    "TarsaError", "ProbeError", "JobFailed", "JobStopped",
]
