# SPDX-License-Identifier: MIT
"""Program the construction-kit robot from Python.

kelvora drives the robot models of the Kelvora teach-in program through the kit's
interface box, with the program's own moves, home run and script files:

    import kelvora

    with kelvora.Robot(model="Rob3") as robot:     # port and model from Kelvora.INI
        robot.home()
        robot.move_to(120, 85, 40)
        robot.gripper_close()
        print(robot.positions)

Without the kit, Robot(simulate=True) runs the same program on the virtual robot
(kelvora-sim); view=True shows it in a window.

Robot        the robot model: home(), move_to(), jog(), the gripper, outputs, inputs,
             play() a script, stop() from any thread
Interface    the interface box alone: motors, outputs, inputs and counters
read_script, write_script
             the program's script files (RB3, RB5, ...)
OFF, LEFT, RIGHT
             motor directions 0, 1 (toward an axis's end switch), 2
MoveStopped  stop() (or close()) ended a call; the positions are true
InterfaceError, AxisError, AxisStalled, WatchdogTripped
             what went wrong: the box does not answer, an axis does not follow its
             motor or does not move, a move was not watched for 100 ms; the
             positions concerned are None until home()

Whatever ends a program, the motors stop: Ctrl+C (KeyboardInterrupt) in any call, an
exception leaving a with block, close(), the end of the program, garbage collection
of a robot left open, SIGTERM and a hang-up (SystemExit with status 128 + signal).
"""

import atexit as _atexit
import signal as _signal
import threading as _threading

from . import _simulator  # noqa: F401  (its exit handler runs after the one below)
from ._errors import AxisError, AxisStalled, InterfaceError, MoveStopped, WatchdogTripped
from ._kelvora import (
    LEFT,
    OFF,
    RIGHT,
    Interface,
    Robot,
    __version__,
    _close_all,
    read_script,
    write_script,
)

__all__ = [
    "AxisError",
    "AxisStalled",
    "Interface",
    "InterfaceError",
    "LEFT",
    "MoveStopped",
    "OFF",
    "RIGHT",
    "Robot",
    "WatchdogTripped",
    "__version__",
    "read_script",
    "write_script",
]


def _terminate(signum, frame):
    # As Ctrl+C: the running call ends with every motor off, with blocks close, and the
    # program ends with the status a shell expects of this signal.
    raise SystemExit(128 + signum)


def _guard_termination():
    """SIGTERM and SIGHUP, left at their defaults, would end the process at once with the
    motors running: from the first open interface on they end it as an exception does.
    A handler the program installed itself stays."""
    if _threading.current_thread() is not _threading.main_thread():
        return
    for name in ("SIGTERM", "SIGHUP"):
        signum = getattr(_signal, name, None)
        if signum is not None and _signal.getsignal(signum) == _signal.SIG_DFL:
            _signal.signal(signum, _terminate)


# At the interpreter's exit every interface still open is closed, motors off first.
_atexit.register(_close_all)
