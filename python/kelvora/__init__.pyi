# SPDX-License-Identifier: MIT
"""Type stubs of kelvora: program the construction-kit robot from Python."""

import os
from types import TracebackType
from typing import Iterable, Literal, Optional, Sequence, Tuple, Type, Union

__version__: str
OFF: Literal[0]
LEFT: Literal[1]
RIGHT: Literal[2]

_Path = Union[str, os.PathLike[str]]
_Line = Tuple[int, ...]

class InterfaceError(OSError):
    """The interface box cannot be reached, or stopped answering: every motor is sent off,
    every position of a robot is None until home()."""

    port: str
    device: Optional[str]
    reason: str
    def __init__(
        self, port: str, reason: str, device: Optional[str] = ..., errno: Optional[int] = ...
    ) -> None: ...

class AxisError(OSError):
    """An axis's inputs do not fit its motor (moved by hand, a disturbed connection), or
    home() left it away from its end switch: its motor is off, its position None."""

    port: str
    reason: str
    axes: Tuple[int, ...]
    names: Tuple[str, ...]
    axis: Optional[int]
    name: Optional[str]
    def __init__(
        self, port: str, reason: str, axes: Sequence[int] = ..., names: Sequence[str] = ...
    ) -> None: ...

class AxisStalled(AxisError):
    """An axis's motor ran for 1 s without an impulse (jammed, against its stop, a stuck
    impulse switch): the stall guard switched it off; its position is None. Not a
    MoveStopped: a stuck robot is never taken for a wanted stop."""

class MoveStopped(Exception):
    """stop() or close() ended a move, a wait or a script run; the positions are true."""

class WatchdogTripped(RuntimeError):
    """A move's control cycle did not run for 100 ms: its motors were switched off, the
    positions of its axes are None. A move on the main thread takes the GIL for a moment
    every 10 ms; another thread holding the GIL longer (one long C call) or a slow signal
    handler trips it. Moves made on a thread of their own never wait for the GIL."""

class Interface:
    """The interface box on one port: motors, outputs, inputs and counters."""

    def __init__(self, port: str = "COM1", inputs: Literal[8, 16] = 8) -> None: ...
    def set_motor(self, motor: int, direction: Literal[0, 1, 2]) -> None: ...
    def set_output(self, n: int, on: bool) -> None: ...
    def input(self, n: int) -> bool: ...
    @property
    def inputs(self) -> int: ...
    def counter(self, n: int) -> int: ...
    def wait_for_input(
        self, n: int, state: bool = True, timeout: Optional[float] = None
    ) -> bool: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def port(self) -> str: ...
    def __enter__(self) -> "Interface": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> bool: ...

class Robot:
    """The robot model with the program's moves, home run, gripper and outputs.

    A fault (InterfaceError, AxisStalled, AxisError, WatchdogTripped) is raised once, by
    the call it happened in; a box found silent at a call's start is raised by that call,
    which then does nothing. stop() and close() never raise a fault."""

    def __init__(
        self,
        port: Optional[str] = None,
        model: Optional[str] = None,
        settings: Optional[_Path] = None,
        simulate: bool = False,
        view: bool = False,
    ) -> None: ...
    @property
    def model(self) -> str: ...
    @property
    def description(self) -> str: ...
    @property
    def port(self) -> str: ...
    @property
    def axes(self) -> Tuple[str, ...]: ...
    @property
    def maxima(self) -> Tuple[int, ...]: ...
    @property
    def positions(self) -> Tuple[Optional[int], ...]:
        """Each axis's position, None where it is not established (never raises)."""
    @property
    def closed(self) -> bool: ...
    def home(self) -> None: ...
    def move_to(self, *positions: Optional[int], **by_axis_name: Optional[int]) -> None: ...
    def jog(self, axis: Union[int, str], direction: Literal[1, 2], seconds: float) -> None: ...
    def gripper_open(self) -> None: ...
    def gripper_close(self) -> None: ...
    def extra_motor(self, on: bool) -> None: ...
    def output(self, n: Literal[6, 7], on: bool) -> None: ...
    def wait_for_input(
        self, n: int, state: bool = True, timeout: Optional[float] = None
    ) -> bool: ...
    def play(self, script: Union[_Path, Iterable[Sequence[int]]], repeat: bool = False) -> None: ...
    def stop(self) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Robot": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> bool: ...

def read_script(path: _Path, model: Optional[str] = None) -> list[_Line]: ...
def write_script(path: _Path, lines: Iterable[Sequence[int]], model: str = "Rob3") -> None: ...
