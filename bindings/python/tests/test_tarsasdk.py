import os
import signal

import pytest

import tarsasdk


def test_probe_reports_what_the_generator_made(media):
    r = tarsasdk.probe(media["short"])
    assert (r.width, r.height, r.duration) == (160, 120, 4)
    assert r.container in ("mov", "mp4") and r.video.startswith("h264") and r.audio.startswith("aac")
    assert "160x120" in r.video_detail and "Hz" in r.audio_detail


def test_probe_refuses_what_is_not_media(media, tmp_path):
    with pytest.raises(tarsasdk.ProbeError):
        tarsasdk.probe(media["text"])
    with pytest.raises(FileNotFoundError):
        tarsasdk.probe(tmp_path / "missing.mp4")


@pytest.mark.parametrize("ext,kwargs,container,size", [
    (".avi", {}, "avi", (160, 120)),
    (".flv", {"size": (80, 60), "watermark": tarsasdk.Watermark("tarsa", rows=2, cols=2)}, "flv", (80, 60)),
])
def test_convert_reports_rising_progress_and_writes_the_destination(media, tmp_path, ext, kwargs, container, size):
    seen = []
    dst = tmp_path / ("out" + ext)
    result = tarsasdk.convert(media["short"], dst, on_progress=seen.append, **kwargs)
    assert result.dst == str(dst) and result.output is not None
    assert seen and seen == sorted(seen) and seen[-1] == 100
    r = tarsasdk.probe(dst)
    assert container in r.container and (r.width, r.height) == size and 3 <= r.duration <= 5


def test_cut_and_merge_write_the_expected_durations(media, tmp_path):
    tarsasdk.cut(media["short"], tmp_path / "cut.mp4", 1, 2)
    assert 1 <= tarsasdk.probe(tmp_path / "cut.mp4").duration <= 3
    seen = []
    tarsasdk.merge(tmp_path / "joined.mp4", [media["short"], media["short"]], on_progress=seen.append)
    assert seen == sorted(seen) and seen[-1] == 100
    assert 7 <= tarsasdk.probe(tmp_path / "joined.mp4").duration <= 9
    assert sorted(os.listdir(tmp_path)) == ["cut.mp4", "joined.mp4"]  # no temporaries left


def test_job_object_stops_on_request(media, tmp_path):
    with tarsasdk.Convert(media["long"], tmp_path / "out.avi") as job:
        job.start()
        assert job.state == "running"
        next(job.progress())
        job.stop()
        with pytest.raises(tarsasdk.JobStopped):
            job.wait()
        assert job.state == "stopped"
        job.start()  # a stopped job may run again
        next(job.progress())
    with pytest.raises(ValueError):
        job.position  # closed


@pytest.mark.parametrize("make", [
    lambda m, d: tarsasdk.convert(m["short"], d / "no" / "such" / "dir" / "out.avi"),
    lambda m, d: tarsasdk.convert(m["text"], d / "out.avi"),
    lambda m, d: tarsasdk.cut(m["short"], d / "no" / "such" / "dir" / "cut.mp4", 1, 2),
    lambda m, d: tarsasdk.merge(d / "joined.mp4", [m["short"], m["text"]]),
])
def test_failures_raise_job_failed_with_a_reason(media, tmp_path, make):
    with pytest.raises(tarsasdk.JobFailed) as e:
        make(media, tmp_path)
    assert e.value.reason


def test_ctrl_c_and_callback_errors_stop_the_job(media, tmp_path):
    # Ctrl-C arrives while the conversion runs: sent at its first progress
    # report, so a fast machine cannot finish the job first.
    def ctrl_c(pct):
        os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        tarsasdk.convert(media["long"], tmp_path / "a.avi", size=(320, 240), on_progress=ctrl_c)

    def boom(pct):
        raise RuntimeError("from the progress callback")

    with pytest.raises(RuntimeError):
        tarsasdk.convert(media["long"], tmp_path / "b.avi", on_progress=boom)
