# SPDX-License-Identifier: MIT
"""The exceptions of kelvora."""

__all__ = ["InterfaceError", "MoveStopped"]


class InterfaceError(OSError):
    """The interface box cannot be reached: the port cannot be opened, or the box stopped
    answering. An OSError; besides its text it carries

    port    the port name ("COM1")
    device  the device the port reaches ("/dev/ttyUSB0"), None where not known
    reason  why, in words
    errno   the system's error number where one explains it, else None

    Every motor is off when it is raised.
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


class MoveStopped(Exception):
    """A move, a wait or a script run was ended by stop() (from any thread), by close(),
    or by the robot itself; every motor is off when it is raised."""

    __module__ = "kelvora"
