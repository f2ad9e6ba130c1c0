"""Sweeps from the Q390 data-acquisition unit and its data files, as NumPy arrays."""

import datetime
import os
from types import TracebackType
from typing import ClassVar, Iterable, Iterator, Literal, Sequence, overload

import numpy
import numpy.typing

__version__: str

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Range = Literal["unipolar", "bipolar"]
_Trigger = float | tuple[float, Literal["rising", "falling"]]

class PortError(OSError):
    """A port that cannot be opened: no such device, no permission, in use by another program."""

class LineError(OSError):
    """The device dropped out during a sweep; the sweep is dropped and the device closed."""

class Q390Warning(UserWarning):
    """What the module had to assume, a recording's sweep it left out, or a port where nothing answered."""

class Sweep:
    """One sweep: 8192 conversions of one channel in one range."""

    @property
    def stored(self) -> numpy.typing.NDArray[numpy.int16]:
        """The records as the data file stores them, shape (8192,)."""
    @property
    def codes(self) -> numpy.typing.NDArray[numpy.int16]:
        """The converter's codes as signed numbers, as q390-dat csv's code column."""
    @property
    def volts(self) -> numpy.typing.NDArray[numpy.float64]:
        """The input voltages: code × 5/4096 unipolar, code × 2/2048 bipolar."""
    @property
    def range(self) -> _Range:
        """The range the codes are read in."""
    @property
    def channel(self) -> int | None:
        """The channel swept, 0..7; None for a file no recording's index describes."""
    @property
    def start(self) -> datetime.datetime | None:
        """When the sweep began, timezone-aware; None for a file no recording's index describes."""
    @property
    def seconds(self) -> float | None:
        """How long the sweep took; None for a file no recording's index describes."""
    @property
    def number(self) -> int | None:
        """Its number in the recording it was read from; None for any other."""
    @property
    def link(self) -> Literal["simulator", "modem-lines", "ftdi-bitbang"] | None:
        """How it reached the converter; None for a file no recording's index describes."""
    @property
    def note(self) -> str:
        """What is doubtful about it; "" for nothing."""
    @property
    def trigger(self) -> int | None:
        """For a sweep a trigger chose: the index of the first sample past the crossing."""
    @property
    def interval(self) -> float | None:
        """Seconds from one conversion to the next, an estimate: seconds / 8192."""
    @property
    def times(self) -> numpy.typing.NDArray[numpy.float64] | None:
        """Each conversion's time from the start, in seconds, an estimate: the duration spread evenly."""
    def __array__(
        self, dtype: numpy.typing.DTypeLike = None, copy: bool | None = None
    ) -> numpy.typing.NDArray[numpy.float64]:
        """The volts."""
    def __eq__(self, other: object) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

class Sweeps(Iterator[Sweep]):
    """The iterator Device.sweeps() returns."""

    def __iter__(self) -> Sweeps: ...
    def __next__(self) -> Sweep: ...

class Recording(Sequence[Sweep]):
    """The sweeps of a recording, each read when asked for."""

    @overload
    def __getitem__(self, index: int) -> Sweep: ...
    @overload
    def __getitem__(self, index: slice) -> Recording: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> RecordingIterator: ...

class RecordingIterator(Iterator[Sweep]):
    """Iterating a Recording; an unreadable sweep is left out with a Q390Warning."""

    def __iter__(self) -> RecordingIterator: ...
    def __next__(self) -> Sweep: ...

class Following(Iterator[Sweep]):
    """A recording's sweeps as they land: read_recording(path, follow=True)."""

    def __iter__(self) -> Following: ...
    def __next__(self) -> Sweep: ...

class Device:
    """The Q390 unit on a port ("sim", "COMn", a device path, "ftdi:<libftdi string>")."""

    def __init__(self, port: str | os.PathLike[str] = "sim") -> None: ...
    @property
    def link(self) -> Literal["simulator", "modem-lines", "ftdi-bitbang"]:
        """What the sweeps go through, as the index's link column names it."""
    @property
    def path(self) -> Literal["simulator", "modem-lines", "ftdi-bitbang"]:
        """The link's earlier name, kept for programs that use it."""
    @property
    def port(self) -> str:
        """The port as it was given."""
    @property
    def closed(self) -> bool:
        """True once the device is closed."""
    def close(self) -> None:
        """Closes the port."""
    def __enter__(self) -> Device: ...
    def __exit__(
        self,
        exc_type: type[BaseException] | None,
        exc: BaseException | None,
        traceback: TracebackType | None,
    ) -> None: ...
    def sweep(self, channel: int = 0, range: _Range = "unipolar", *, trigger: _Trigger | None = None) -> Sweep:
        """Takes one sweep of the channel (0..7) in the range; with a trigger, the first that crosses its level."""
    def sweeps(
        self,
        channels: Iterable[int] = [0],
        range: _Range = "unipolar",
        count: int | None = None,
        *,
        every: float | None = None,
    ) -> Sweeps:
        """Sweeps the channels in turn, count sweeps in all or until interrupted; every paces their starts."""

def read(path: _Path, range: Literal["auto", "unipolar", "bipolar"] = "auto") -> Sweep:
    """Reads a data file; "auto" takes the range from its recording's index where there is one."""

@overload
def read_recording(path: _Path, follow: Literal[False] = False) -> Recording: ...
@overload
def read_recording(path: _Path, follow: Literal[True]) -> Following:
    """Reads a recording, a folder or an .h5 file, one sweep at a time; follow=True as it grows."""

def read_folder(path: _Path) -> list[Sweep]:
    """Reads a recording's sweeps as its index.csv lists them, each in its range."""

def save(path: _Path, sweep: Sweep, *, overwrite: bool = False) -> None:
    """Saves a sweep as the window's data file, written whole."""

def ports() -> list[tuple[str, str, str]]:
    """The serial ports as (name, device, description), numbered as the window numbers them."""
