# SPDX-License-Identifier: MIT
"""The exceptions of kelvora.

    OSError
     +-- InterfaceError    the box cannot be reached: every position is unknown
     +-- AxisError         an axis does not do what its motor says: its position is unknown
          +-- AxisStalled  its motor runs, it does not move
    MoveStopped            stop(), close() or Ctrl+C's handler ended a call: positions true
    RuntimeError
     +-- WatchdogTripped   a move was not watched for 100 ms: its axes' positions unknown

Every motor is off when one of them is raised. After any but MoveStopped, robot.positions
shows None for what the program no longer knows; home() establishes it again.
"""

__all__ = ["AxisError", "AxisStalled", "InterfaceError", "MoveStopped", "WatchdogTripped"]


class InterfaceError(OSError):
    """The interface box cannot be reached: the port cannot be opened, or the box stopped
    answering. An OSError; besides its text it carries

    port    the port name ("COM1")
    device  the device the port reaches ("/dev/ttyUSB0"), None where not known
    reason  why, in words
    errno   the system's error number where one explains it, else None

    The program sends every motor off; a box that stopped answering hears that only once
    it answers again. Every position of a robot is unknown (None) afterwards.
    """

    __module__ = "kelvora"

    def __init__(self, port, reason, device=None, errno=None):
        if errno is None:
            super().__init__(reason)
        else:
            super().__init__(errno, reason, device)
        self.port = port
        self.device = device
        self.reason = reason

    def __str__(self):
        where = self.port if self.device is None else "%s (%s)" % (self.port, self.device)
        return "%s: %s" % (where, self.reason)

    def __reduce__(self):
        return (type(self), (self.port, self.reason, self.device, self.errno))


class AxisError(OSError):
    """An axis did not do what its motor said: its inputs do not fit its motor (moved by
    hand, a disturbed connection), or a home run ended with it away from its end switch.
    Its motor is off and its position unknown (None) until home(). Besides its text:

    port    the port name
    axes    the axis numbers concerned (from 1), names their names ("Säule")
    axis    the first of them, name its name
    reason  the text
    """

    __module__ = "kelvora"

    def __init__(self, port, reason, axes=(), names=()):
        super().__init__(reason)
        self.port = port
        self.reason = reason
        self.axes = tuple(axes)
        self.names = tuple(names)
        self.axis = self.axes[0] if self.axes else None
        self.name = self.names[0] if self.names else None

    def __str__(self):
        return self.reason

    def __reduce__(self):
        return (type(self), (self.port, self.reason, self.axes, self.names))


class AxisStalled(AxisError):
    """An axis whose motor ran did not move for 1 s of driving: jammed, against its stop
    (an end switch that does not close lets it run there), or an impulse switch that
    sticks. The stall guard switched its motor off; its position is unknown (None). An
    AxisError (an OSError), never a MoveStopped: a program that handles its own stops
    must not take a stuck robot for one."""

    __module__ = "kelvora"


class MoveStopped(Exception):
    """A move, a wait or a script run was ended by stop() (from any thread) or close();
    every motor is off and the positions are true (the run-down is counted)."""

    __module__ = "kelvora"


class WatchdogTripped(RuntimeError):
    """A move's control cycle did not run for 100 ms, so the watchdog switched its motors
    off; the positions of the axes it drove are unknown (None).

    A move made on the main thread takes the GIL for a moment in every 10 ms cycle (that
    is how Ctrl+C reaches it). Another Python thread that keeps the GIL longer than
    100 ms (a long computation inside one C call, such as sum() over a huge range) or a
    signal handler that takes that long trips it. Keep such work out of the time the
    robot moves, or make the moves on a thread of their own, which never waits for the
    GIL while it moves."""

    __module__ = "kelvora"
