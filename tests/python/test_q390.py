"""The q390 module as a script uses it: data files against q390-dat, sweeps from the simulator,
the emulated port and the emulated FTDI chip (driven by q390emu), errors, Ctrl-C, and what
importing it loads."""

import copyreg
import csv
import datetime
import errno
import io
import itertools
import os
import pickle
import re
import signal
import stat
import subprocess
import sys
import threading
import time
import warnings

import h5py
import numpy as np
import pytest

import q390
import q390emu

CHIP = "ftdi:i:0x0403:0x6001"
LENGTH = 8192


def ramp(channel, unipolar, start):
    """The codes of q390emu's ramp from conversion `start` on, worked out apart from it."""
    step = (np.arange(start, start + LENGTH) * 37 + channel * 501) % 4096
    return step if unipolar else step - 2048


RNG = np.random.default_rng(390)
RECORDS = {
    "any records": RNG.integers(-32768, 32768, LENGTH),
    "unipolar codes": RNG.integers(0, 4096, LENGTH),
    "codes below 2048": RNG.integers(0, 2048, LENGTH),
}


@pytest.mark.parametrize("records", RECORDS.values(), ids=RECORDS.keys())
@pytest.mark.parametrize("range_", ["auto", "unipolar", "bipolar"])
def test_a_file_reads_as_q390_dat_reads_it(tmp_path, records, range_):
    path = tmp_path / "vx-2071430.dat"
    path.write_bytes(records.astype("<i2").tobytes())
    dat = subprocess.run([os.environ["Q390_DAT"], "csv", path, "--range", range_],
                         capture_output=True, text=True, check=True)
    _, stored, codes, volts = np.loadtxt(io.StringIO(dat.stdout), delimiter=",", skiprows=1, unpack=True)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        s = q390.read(path, range=range_)
    assert [w.category for w in caught] == [q390.Q390Warning] * ("do not tell" in dat.stderr)
    np.testing.assert_array_equal(s.stored, stored)
    np.testing.assert_array_equal(s.codes, codes)
    np.testing.assert_allclose(s.volts, volts, rtol=0, atol=1e-6)  # six decimals
    # q390-dat names the range where the records told it, and only there
    assert (f"{s.range} (" in dat.stderr) if range_ == "auto" else dat.stderr == ""
    assert (s.channel, s.start, s.seconds, s.interval, s.times) == (None, None, None, None, None)


def test_save_writes_what_read_reads_and_refuses_an_existing_name(tmp_path):
    with q390.Device() as dev:
        first, second = dev.sweep(channel=5, range="bipolar"), dev.sweep(channel=5, range="bipolar")
    path = tmp_path / "out.dat"
    q390.save(path, first)
    saved = path.read_bytes()
    np.testing.assert_array_equal(np.frombuffer(saved, "<i2"), first.stored)
    np.testing.assert_array_equal(q390.read(path, range="bipolar").codes, first.codes)
    with pytest.raises(FileExistsError):
        q390.save(str(path), second)
    assert path.read_bytes() == saved
    q390.save(path, second, overwrite=True)
    np.testing.assert_array_equal(q390.read(path).stored, second.stored)


class Crafted:
    """Pickles as a Sweep whose state is `state` (under protocols 0 and 1, which do not check the class)."""
    def __init__(self, state):
        self.state = state

    def __reduce__(self):
        return copyreg.__newobj__, (q390.Sweep,), self.state


def crafted(**cells):
    """A Sweep unpickled from a state with these cells in place of a sound one's."""
    state = dict(records=bytes(2 * LENGTH), range="bipolar", channel=3, start=0, seconds=0.8192) | cells
    return pickle.loads(pickle.dumps(Crafted(tuple(state.values())), protocol=1))


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_a_sweep_pickles_equal_is_its_volts_to_numpy_and_spreads_its_duration_evenly(protocol):
    with q390.Device() as dev:
        s, other = dev.sweep(channel=4, range="bipolar"), dev.sweep(channel=4, range="bipolar")
    back = pickle.loads(pickle.dumps(s, protocol=protocol))
    assert back == s and back != other and type(back) is q390.Sweep
    assert (back.channel, back.range, back.start, back.seconds) == (4, "bipolar", s.start, s.seconds)
    assert np.asarray(s) is s.volts and np.asarray(s, dtype=np.float32).dtype == np.float32
    hand = crafted()  # 0.8192 s over 8192 conversions: 0.1 ms apart, the last at 0.8191 s
    assert hand.interval == pytest.approx(1e-4, rel=1e-12) and repr(hand) == "<q390.Sweep channel 3 bipolar 0.819 s>"
    np.testing.assert_allclose(hand.times[[0, 1, 4096, 8191]], [0, 1e-4, 0.4096, 0.8191], rtol=1e-12)
    assert hand.start == datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)


# Channel 1 of the simulator is a square wave from its first conversion on: 750 samples at
# 2048 + 0.6 × 1900 = 3188 (3.89 V), 750 at 908 (1.11 V); so 2.5 V is crossed falling at sample
# 750 and rising at sample 1500.
@pytest.mark.parametrize("channel, range_, trigger, crossing", [
    (0, "unipolar", None, None), (3, "bipolar", None, None), (7, "unipolar", None, None),
    (1, "unipolar", 2.5, 1500), (1, "unipolar", (2.5, "falling"), 750), (1, "bipolar", (0, "rising"), 1500)])
def test_a_sweep_of_the_simulator_is_the_one_q390_rec_takes(tmp_path, channel, range_, trigger, crossing):
    with q390.Device("sim") as dev:
        assert dev.link == dev.path == "simulator"
        s = dev.sweep(channel=channel, range=range_, trigger=trigger)
    level = trigger if isinstance(trigger, tuple) else (trigger, "rising")
    subprocess.run([os.environ["Q390_REC"], "--channel", str(channel), "--range", range_, "-o", tmp_path / "rec",
                    "--quiet", *(["--trigger", "%s,%s" % level] if trigger is not None else [])], check=True)
    recorded = q390.read(tmp_path / "rec" / f"sweep-00000001-ch{channel}.dat")
    np.testing.assert_array_equal(s.stored, recorded.stored)
    assert (s.channel, s.range, s.link, s.trigger) == (channel, range_, "simulator", crossing)
    assert s.start.tzinfo is not None and 0 < s.seconds < 10
    for array in (s.stored, s.codes, s.volts):
        with pytest.raises(ValueError):
            array.flags.writeable = True


@pytest.mark.parametrize("emulation, port, path, busy", [(q390emu.Port, None, "modem-lines", errno.EBUSY),
                                                         (q390emu.Chip, CHIP, "ftdi-bitbang", None)])
def test_on_the_emulated_port_and_chip_the_codes_are_the_window_s(emulation, port, path, busy):
    with emulation() as unit:
        port = port or unit.path
        with q390.Device(port) as dev:
            assert dev.link == dev.path == path
            with pytest.raises(q390.PortError) as refused:
                q390.Device(port)
            assert refused.value.errno == busy
            for channel, range_ in [(2, "unipolar"), (6, "bipolar")]:
                start = unit.conversions
                s = dev.sweep(channel=channel, range=range_)
                np.testing.assert_array_equal(s.codes, ramp(channel, range_ == "unipolar", start))
        assert getattr(unit, "released", True)
        q390.Device(port).close()  # given back: it opens again


def test_a_trigger_sweeps_until_a_sweep_crosses_its_level():
    with q390emu.Port() as unit, q390.Device(unit.path) as dev:
        unit.hold_cts(True)  # code 0 throughout the first sweep; the ramp from early in the second on

        def release():
            while unit.conversions < LENGTH + 100:
                time.sleep(1e-3)
            unit.hold_cts(False)
        threading.Thread(target=release).start()
        with pytest.warns(q390.Q390Warning, match="nothing answered"):
            s = dev.sweep(channel=2, trigger=2.5)
        assert unit.conversions == 2 * LENGTH and s.codes[s.trigger - 1] < 2048 <= s.codes[s.trigger]  # 2.5 V: code 2048


def test_paced_sweeps_begin_at_the_multiples_of_their_interval():
    with q390.Device() as dev:
        end = time.monotonic() + 1
        taken = list(itertools.takewhile(lambda s: time.monotonic() < end, dev.sweeps(every=0.2)))
        overrun = list(dev.sweeps(count=3, every=1e-6))
    assert 4 <= len(taken) <= 5 and [s.note for s in taken] == [""] * len(taken)  # begun at 0, 0.2, ... 0.8 s
    assert overrun[0].note == "" and all(re.fullmatch(r"\d+ starts of every= skipped before it", s.note) for s in overrun[1:])


def test_a_port_whose_cts_never_moves_warns_that_nothing_answered():
    with q390emu.Port() as unit, q390.Device(unit.path) as dev:
        unit.hold_cts(True)
        with pytest.warns(q390.Q390Warning, match="nothing answered"):
            dev.sweep()


def test_ctrl_c_drops_the_sweep_under_way_and_leaves_the_device_usable():
    with q390emu.Port() as unit:
        with q390.Device(unit.path) as dev:
            unit.interrupt_at(2 * LENGTH + 130)
            taken = []
            with pytest.raises(KeyboardInterrupt):
                for s in dev.sweeps(channels=[0, 3], count=10):
                    taken.append(s)
            assert [s.channel for s in taken] == [0, 3]
            assert unit.conversions <= 2 * LENGTH + 130 + 64  # signals are seen every 64 conversions
            start = unit.conversions
            np.testing.assert_array_equal(dev.sweep(channel=1).codes, ramp(1, True, start))
        assert dev.closed
        q390.Device(unit.path).close()


def test_a_device_that_drops_out_raises_line_error_and_is_closed():
    with q390emu.Port() as unit, q390.Device(unit.path) as dev:
        unit.pull_out_at(65 * 1000)
        with pytest.raises(q390.LineError) as raised:
            dev.sweep(channel=4)
        assert raised.value.errno == errno.EIO and raised.value.filename == unit.path
        assert dev.closed
        with pytest.raises(ValueError, match="closed"):
            dev.sweep(channel=4)


def short_file(folder):
    (folder / "short.dat").write_bytes(bytes(100))
    return folder / "short.dat"


@pytest.mark.parametrize("call, error, seen", [
    (lambda d: q390.read(d / "missing.dat"), FileNotFoundError, "missing.dat"),
    (lambda d: q390.read(d), IsADirectoryError, "Is a directory"),
    (lambda d: q390.read(short_file(d)), ValueError, "100 bytes"),
    (lambda d: q390.read(short_file(d), range="+5V"), ValueError, "range must be"),
    (lambda d: q390.Device().sweep(channel=8), ValueError, "channel must be 0 to 7"),
    (lambda d: q390.Device().sweep(channel=2**40), ValueError, "channel must be 0 to 7"),
    (lambda d: q390.Device().sweep(channel=True), TypeError, "channel must be an int, not bool"),
    (lambda d: q390.Device().sweeps(count=-1), ValueError, "count must be 0 to"),
    (lambda d: q390.Device(""), ValueError, "port must not be empty"),
    (lambda d: q390.read(short_file(d) / "x"), NotADirectoryError, "Not a directory"),
    (lambda d: q390.Device().sweep(range="auto"), ValueError, "range must be"),
    (lambda d: q390.Device().sweeps(channels=[]), ValueError, "at least one channel"),
    (lambda d: q390.Device("COM17"), ValueError, "1 to 16"),
    (lambda d: q390.Device(d / "ttyMissing"), q390.PortError, "No such file or directory"),
    (lambda d: q390.read_folder(d), FileNotFoundError, "index.csv"),
    (lambda d: (d / "index.csv").write_text("sweep,file\n") and q390.read_folder(d), ValueError, "not the index"),
    (lambda d: q390.Device().sweep(trigger=6), ValueError, "6.0 V, lies outside the unipolar range"),
    (lambda d: q390.Device().sweep(range="bipolar", trigger=(-2.1, "falling")), ValueError, "outside the bipolar"),
    (lambda d: q390.Device().sweep(trigger=(1, "up")), ValueError, "slope must be"),
    (lambda d: q390.Device().sweep(trigger="1"), TypeError, "level must be a number"),
    (lambda d: q390.Device().sweeps(every=0), ValueError, "every must be above 0"),
    (lambda d: q390.read_recording(d / "missing.h5"), FileNotFoundError, "missing.h5"),
    (lambda d: q390.read_recording(short_file(d)), ValueError, "short.dat: cannot be opened"),
    (lambda d: pickle.loads(pickle.dumps(Crafted(b"ab"), protocol=1)), ValueError, "a tuple of 5"),
    (lambda d: crafted(records=b"ab"), ValueError, "16384 bytes"),
    (lambda d: crafted(records="x" * 2 * LENGTH), ValueError, "16384 bytes"),
    (lambda d: crafted(range=1), ValueError, "range must be"),
    (lambda d: crafted(channel=99), ValueError, "channel out of range"),
    (lambda d: crafted(channel=True), ValueError, "channel is no int"),
    (lambda d: crafted(start=2**63), ValueError, "start out of range"),
    (lambda d: crafted(seconds=-1.0), ValueError, "seconds must be"),
    (lambda d: crafted(seconds=float("nan")), ValueError, "seconds must be"),
])
def test_errors_are_python_s(tmp_path, call, error, seen):
    with pytest.raises(error, match=seen):
        call(tmp_path)


def test_importing_and_sweeping_loads_no_widget_library_and_needs_no_display():
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    code = "import q390; q390.Device().sweep(); print(open('/proc/self/maps').read())"
    run = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True)
    assert "libQt6Core" in run.stdout
    assert "libQt6Widgets" not in run.stdout and "libQt6PrintSupport" not in run.stdout
    assert run.stderr == ""


@pytest.mark.parametrize("sweeping", ["dev.sweep()", "threading.Thread(target=sweep, daemon=True).start(); time.sleep(0.05)"])
def test_the_interpreter_s_exit_gives_an_ftdi_chip_back(sweeping):
    code = f"""
import atexit, q390emu, threading, time
chip = q390emu.Chip()
atexit.register(lambda: print("released" if chip.released else "held"))
import q390
dev = q390.Device("{CHIP}")
def sweep():
    while True:
        dev.sweep()
{sweeping}
"""
    for _ in range(5):  # a crash at exit came in about half the runs
        run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
        assert (run.returncode, run.stdout, run.stderr) == (0, "released\n", "")


def test_a_forked_child_lets_go_of_the_parent_s_devices():
    with q390.Device() as dev:
        pid = os.fork()
        if pid == 0:
            os._exit(0 if dev.closed else 1)
        assert os.waitpid(pid, 0)[1] == 0 and not dev.closed


def test_other_python_threads_run_during_a_sweep():
    interval = sys.getswitchinterval()
    sys.setswitchinterval(10)  # the sweep's thread is never made to give the GIL up
    seen, windows, done = [], [], threading.Event()

    def note():
        while not done.is_set():
            seen.append(time.perf_counter())
            time.sleep(1e-4)
    with q390emu.Port() as unit, q390.Device(unit.path) as dev:
        worker = threading.Thread(target=note)
        worker.start()
        try:
            for _ in range(5):
                start = time.perf_counter()
                dev.sweep()
                windows.append((start, time.perf_counter()))
        finally:
            done.set()
            worker.join()
            sys.setswitchinterval(interval)
    assert any(start < t < end for start, end in windows for t in seen)


def test_file_names_are_the_system_s_bytes(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "\ufffd.dat").write_bytes(bytes(2 * LENGTH))  # where a name decoded with replacement lands
    with open(b"\xfb.dat", "wb") as f:
        f.write(np.arange(LENGTH, dtype="<i2").tobytes())
    np.testing.assert_array_equal(q390.read(b"\xfb.dat").stored, np.arange(LENGTH))
    np.testing.assert_array_equal(q390.read(os.fsdecode(b"\xfb.dat")).stored, np.arange(LENGTH))
    q390.save(b"\xff.dat", q390.read(b"\xfb.dat"))
    assert sorted(os.listdir(b".")) == [b"\xef\xbf\xbd.dat", b"\xfb.dat", b"\xff.dat"]
    np.testing.assert_array_equal(q390.read(b"\xff.dat").stored, np.arange(LENGTH))
    assert (tmp_path / "\ufffd.dat").read_bytes() == bytes(2 * LENGTH)


@pytest.mark.parametrize("name", ["fifo", "link"])
def test_a_fifo_is_written_into_never_replaced(tmp_path, name):
    os.mkfifo(tmp_path / "fifo")
    (tmp_path / "link").symlink_to("fifo")
    s = q390.Device().sweep(channel=3)
    with pytest.raises(FileExistsError):
        q390.save(tmp_path / name, s)
    got = []
    reader = threading.Thread(target=lambda: got.append((tmp_path / "fifo").read_bytes()))
    reader.start()
    q390.save(tmp_path / name, s, overwrite=True)
    reader.join()
    assert got == [s.stored.astype("<i2").tobytes()]
    assert stat.S_ISFIFO(os.stat(tmp_path / "fifo").st_mode) and (tmp_path / "link").is_symlink()


@pytest.mark.parametrize("ends_in, offset", [(5400, 3600), (1800, 0)], ids=["first pass", "second pass"])
def test_the_start_is_right_in_the_hour_repeated_when_daylight_saving_ends(monkeypatch, ends_in, offset):
    # A zone on UTC, one hour ahead in summer, whose summer ends (on the summer clock) `ends_in`
    # seconds from now: the local time now is in the repeated hour, in its first or second pass.
    ended = time.gmtime(time.time() + ends_in)
    monkeypatch.setenv("TZ", f"STD0DST,0/0,{ended.tm_yday - 1}/{time.strftime('%H:%M:%S', ended)}")
    time.tzset()
    try:
        start = q390.Device().sweep().start
        now = datetime.datetime.now(datetime.timezone.utc)
    finally:
        monkeypatch.undo()
        time.tzset()
    assert start.utcoffset() == datetime.timedelta(seconds=offset)
    assert abs(now - start) < datetime.timedelta(seconds=10)


def test_a_file_in_a_folder_the_user_cannot_enter_is_permission_denied(tmp_path):
    locked = tmp_path / "locked"
    locked.mkdir()
    (locked / "a.dat").write_bytes(bytes(2 * LENGTH))
    locked.chmod(0)
    code = f"""
import q390
for call in (lambda: q390.read({str(locked / 'a.dat')!r}), lambda: q390.save({str(locked / 'b.dat')!r}, q390.Device().sweep())):
    try:
        call()
    except PermissionError as e:
        print(e.strerror)
"""
    run = subprocess.run([sys.executable, "-c", code], user=65534 if os.getuid() == 0 else None,  # root enters any
                         capture_output=True, text=True)
    assert run.stdout == "Permission denied\n" * 2, run.stderr


def record(folder, *options):
    subprocess.run([os.environ["Q390_REC"], "-o", folder, "--quiet", *options], check=True)


@pytest.fixture
def recording(tmp_path):
    """Sweeps 1 and 2 of channels 3 and 5 bipolar, sweep 3 of channel 0 unipolar."""
    record(tmp_path, "--channels", "3,5", "--range", "bipolar", "--sweeps", "2")
    record(tmp_path, "--append", "--channel", "0", "--range", "unipolar", "--sweeps", "1")
    return tmp_path


def test_a_recording_is_read_in_the_ranges_its_index_gives(recording):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        sweeps = q390.read_folder(recording)
        alone = q390.read(recording / "sweep-00000002-ch5.dat")
    assert [(s.channel, s.range) for s in sweeps] == [(3, "bipolar"), (5, "bipolar"), (0, "unipolar")]
    assert alone == sweeps[1] and sweeps[0].start <= sweeps[1].start <= sweeps[2].start
    np.testing.assert_array_equal(sweeps[2].stored, np.fromfile(recording / "sweep-00000003-ch0.dat", "<i2"))
    dat = subprocess.run([os.environ["Q390_DAT"], "info", recording / "sweep-00000001-ch3.dat"],
                         capture_output=True, text=True, check=True)
    assert "range: bipolar (±2V)\n" in dat.stdout and dat.stderr == ""
    (recording / "stray.dat").write_bytes(bytes(2 * LENGTH))
    with pytest.warns(q390.Q390Warning, match="index.csv does not name it"):
        q390.read(recording / "stray.dat")


def rewrite_index(folder, change):
    index = folder / "index.csv"
    index.write_text(change(index.read_text()))


DAMAGE = {
    "a file gone": (lambda f: (f / "sweep-00000002-ch5.dat").unlink(), r"ch5\.dat: No such file.*; sweep 2 left out", [3, 0]),
    "a file cut short": (lambda f: os.truncate(f / "sweep-00000002-ch5.dat", 100), r"100 bytes.*sweep 2 left out", [3, 0]),
    "a sweep not kept": (lambda f: rewrite_index(f, lambda t: t + "4,,2026-12-07T15:47:41.123+01:00,1.0,1,unipolar,"
                                                   "sim,modem-lines,,,,\"gone, \"\"then\"\" back\",\n"),
                         r'index.csv line 5: sweep 4 was not kept: gone, "then" back; left out', [3, 5, 0]),
    "a row cut short": (lambda f: rewrite_index(f, lambda t: t + "4,sweep-000"), r"line 5: cut short", [3, 5, 0]),
    "a row of other cells": (lambda f: rewrite_index(f, lambda t: t + "4,x.dat\n"), r"line 5: 2 cells", [3, 5, 0]),
    "a row without a range": (lambda f: rewrite_index(f, lambda t: t.replace("bipolar", "+5V", 1)),
                              r"line 2: no sweep number, channel 0 to 7 and range", [5, 0]),
    "the link column's old name": (lambda f: rewrite_index(f, lambda t: t.replace(",link,", ",path,", 1)), None, [3, 5, 0]),
    "a file outside the folder": (lambda f: rewrite_index(f, lambda t: t.replace("sweep-00000002-ch5.dat", "../../r1/x.dat")),
                                  r"line 3: its file \.\./\.\./r1/x\.dat is not in the folder; left out", [3, 0]),
    "a row without seconds": (lambda f: rewrite_index(f, lambda t: re.sub(r"00,[\d.]+,3,", "00,,3,", t)), None, [3, 5, 0]),
    "a negative duration": (lambda f: rewrite_index(f, lambda t: re.sub(r"00,[\d.]+,3,", "00,-0.5,3,", t)), None, [3, 5, 0]),
    "a csv recording": (lambda f: record(f / "csv", "--format", "csv", "--channels", "3,5,0", "--sweeps", "3"), None, [3, 5, 0]),
}


@pytest.mark.parametrize("damage, warned, channels", DAMAGE.values(), ids=DAMAGE.keys())
def test_a_recording_is_read_without_what_it_lost(recording, damage, warned, channels):
    damage(recording)
    folder = recording / "csv" if (recording / "csv").exists() else recording
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        sweeps = q390.read_folder(folder)
    assert [s.channel for s in sweeps] == channels
    assert [" s>" in repr(s) for s in sweeps] == [s.seconds is not None for s in sweeps]
    assert all(pickle.loads(pickle.dumps(s)) == s for s in sweeps)
    assert [w.category for w in caught] == [q390.Q390Warning] * (warned is not None)
    assert warned is None or re.search(warned, str(caught[0].message))
    if folder != recording:
        np.testing.assert_array_equal(sweeps[1].stored, np.loadtxt(folder / "sweep-00000002-ch5.csv", delimiter=",",
                                                                   skiprows=1, usecols=1))


def written(path):
    """Each sweep of a recording as h5py reads the .h5, or as index.csv and the .dat files hold it."""
    if path.suffix == ".h5":
        with h5py.File(path, "r") as f:
            return [dict(number=f["sweep"][k], channel=f["channel"][k], range=f["range"].asstr()[k], link=f["link"].asstr()[k],
                         seconds=f["duration"][k], start=f["start"][k], codes=f["codes"][k],
                         volts=f["codes"][k] * f["volts_per_code"][k]) for k in range(len(f["sweep"]))]
    with open(path / "index.csv", newline="") as index:
        return [dict(number=int(r["sweep"]), channel=int(r["channel"]), range=r["range"], link=r["link"], seconds=float(r["seconds"]),
                     start=datetime.datetime.fromisoformat(r["start"]).timestamp(), stored=np.fromfile(path / r["file"], "<i2"))
                for r in csv.DictReader(index)]


@pytest.mark.parametrize("name", ["rec", "rec.h5"])
def test_a_recording_is_read_one_sweep_at_a_time_as_its_users_tools_read_it(tmp_path, name):
    record(tmp_path / name, "--channels", "3,5", "--range", "bipolar", "--sweeps", "5")
    tools = written(tmp_path / name)  # before: h5py opens no file of this process's HDF5 that q390 has open
    rec = q390.read_recording(tmp_path / name)
    assert len(rec) == 5 and [s.number for s in rec[::-2]] == [5, 3, 1] and [s.number for s in rec[1:4][1:]] == [3, 4]
    assert rec[-1] == rec[4] and len(rec[7:]) == 0
    with pytest.raises(IndexError):
        rec[5]
    for s, w in zip(rec, tools, strict=True):
        assert (s.number, s.channel, s.range, s.link) == (w["number"], w["channel"], w["range"], w["link"])
        assert s.seconds == pytest.approx(w["seconds"], abs=1e-6) and s.start.timestamp() == pytest.approx(w["start"], abs=1e-3)
        for array in {"codes", "volts", "stored"} & w.keys():
            np.testing.assert_allclose(getattr(s, array), w[array], rtol=1e-12)


@pytest.mark.parametrize("name", ["rec", "rec.h5"])
def test_a_recording_is_followed_while_q390_rec_writes_it(tmp_path, name):
    writer = subprocess.Popen([os.environ["Q390_REC"], "-o", tmp_path / name, "--quiet", "--sweeps", "40", "--every", "0.02"])
    followed = q390.read_recording(tmp_path / name, follow=True)  # waits for the recording to begin
    first = next(followed)
    assert writer.poll() is None
    assert [first.number] + [s.number for s in itertools.islice(followed, 39)] == list(range(1, 41))
    assert writer.wait() == 0
    if name.endswith(".h5"):
        assert next(followed, None) is None  # the writer has let go of the file: its end
    else:
        threading.Timer(0.3, signal.raise_signal, [signal.SIGINT]).start()  # a folder is followed until interrupted
        with pytest.raises(KeyboardInterrupt):
            next(followed)
