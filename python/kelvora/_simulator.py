# SPDX-License-Identifier: MIT
"""The virtual robot for Robot(simulate=True): kelvora-sim, started for one robot and
ended with it. It plays the interface box on a pseudo-terminal, reached through a
symbolic link in a private folder, so that nothing else is mapped to it."""

import atexit
import os
import queue
import shutil
import subprocess
import tempfile
import threading
import weakref

from ._errors import InterfaceError

_PROGRAM = "kelvora-sim"
_START_SECONDS = 10

_running = weakref.WeakSet()


def _program():
    """kelvora-sim beside the module (a build), in the bin folder of the prefix the
    module is installed under, or on PATH."""
    here = os.path.dirname(os.path.abspath(__file__))
    candidates = [os.path.join(here, _PROGRAM)]
    # <prefix>/lib/python3/dist-packages/kelvora -> <prefix>/bin
    candidates.append(os.path.join(here, "..", "..", "..", "..", "bin", _PROGRAM))
    for candidate in candidates:
        if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return os.path.realpath(candidate)
    return shutil.which(_PROGRAM)


class Simulator:
    """One kelvora-sim process; device is what the robot's port is mapped to."""

    def __init__(self, port, rob5, view):
        program = _program()
        if program is None:
            raise InterfaceError(port, "kelvora-sim was found neither beside the module "
                                       "nor on PATH (install the package kelvora)")
        self._folder = tempfile.mkdtemp(prefix="kelvora-sim-")
        self.device = os.path.join(self._folder, port)
        args = [program, "--com", port[3:], "--link", self.device, "--no-status"]
        if rob5:
            args += ["--layout", "rob5"]
        if view:
            args.append("--view")
        # Its own session: Ctrl+C in the terminal reaches the program, which stops the
        # robot; the simulator ends when its standard input does (close, or the end of
        # this process however it ends).
        self._process = subprocess.Popen(
            args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, start_new_session=True,
            encoding="utf-8", errors="replace")
        _running.add(self)
        lines = queue.Queue()
        threading.Thread(target=self._read, args=(self._process.stdout, lines),
                         name="kelvora-sim output", daemon=True).start()
        try:
            while True:
                line = lines.get(timeout=_START_SECONDS)
                if line is None:
                    raise InterfaceError(port, "the virtual robot did not start (exit status %s)"
                                         % self._process.wait())
                if line.startswith("ZQBREL_%s=" % port):
                    break
        except queue.Empty:
            self.close()
            raise InterfaceError(port, "the virtual robot did not start within %d s"
                                 % _START_SECONDS) from None
        except BaseException:
            self.close()
            raise

    @staticmethod
    def _read(stream, lines):
        # Everything it prints is read, so that it never waits on a full pipe.
        for line in stream:
            lines.put(line.rstrip("\n"))
        lines.put(None)

    def close(self):
        """Ends the simulator (idempotent)."""
        process = self._process
        if process.poll() is None:
            try:
                process.stdin.close()
                process.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                process.kill()
                process.wait()
        elif process.stdin and not process.stdin.closed:
            process.stdin.close()
        shutil.rmtree(self._folder, ignore_errors=True)
        _running.discard(self)


def start(port, rob5, view):
    """Starts kelvora-sim for a robot on port (COM1 to COM9)."""
    return Simulator(port, rob5, view)


@atexit.register
def _end_all():
    for simulator in list(_running):
        simulator.close()
