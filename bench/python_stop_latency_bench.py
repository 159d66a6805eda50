#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How quickly a stop reaches the robot from Python: the time from a Ctrl+C (a real
SIGINT sent to the interpreter from another process) and from Robot.stop() called on a
second thread, during a move, to the motor word 0 on the wire.

Real time: the module, the real driver library with its timer thread, and kelvora-sim on
a pseudo-terminal. Between the driver and the simulator sits a tap, a process of its own
that passes every byte on and notes when each command's motor word went by, on the
system's monotonic clock; the stop lands at a random moment of each move.

    PYTHONPATH=build/python python3 bench/python_stop_latency_bench.py [TRIALS] [--sim PATH]

Target: no slower than the main window's HALT (bench/stop_latency_bench): at most two
poll periods (20 ms) from the stop to the word on the wire.
"""

import argparse
import multiprocessing
import os
import random
import select
import signal
import statistics
import subprocess
import sys
import termios
import threading
import time
import tty

import kelvora

POLL_MS = 10


def raw(fd):
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


def tap(sim_device, conn):
    """Passes bytes between the driver's pseudo-terminal and the simulator's, noting
    (time, motor word) for every command; answers queries on conn."""
    master, slave = os.openpty()
    raw(master)
    raw(slave)
    conn.send(os.ttyname(slave))
    box = os.open(sim_device, os.O_RDWR | os.O_NOCTTY)
    raw(box)
    words = []  # (ns, motor word) in order
    pending = []  # bytes of the command being read
    needed = 0
    signal_at = None  # (ns, pid): send SIGINT then
    while True:
        timeout = None
        if signal_at:
            timeout = max(0, (signal_at[0] - time.monotonic_ns()) / 1e9)
        ready, _, _ = select.select([master, box, conn], [], [], timeout)
        if signal_at and time.monotonic_ns() >= signal_at[0]:
            sent = time.monotonic_ns()
            os.kill(signal_at[1], signal.SIGINT)
            conn.send(("signalled", sent))
            signal_at = None
        if master in ready:
            data = os.read(master, 256)
            now = time.monotonic_ns()
            os.write(box, data)
            for b in data:
                if needed == 0:
                    if b in (0xC1, 0xC5, 0xC9):
                        needed, pending = 1, []
                    elif b in (0xC2, 0xC6, 0xCA):
                        needed, pending = 2, []
                    continue
                pending.append(b)
                needed -= 1
                if needed == 0:
                    words.append((now, pending[0] | (pending[1] << 8 if len(pending) > 1 else 0)))
        if box in ready:
            os.write(master, os.read(box, 256))
        if conn in ready:
            request = conn.recv()
            if request[0] == "quit":
                return
            if request[0] == "signal":
                signal_at = (request[1], request[2])
            elif request[0] == "zero after":
                # the first word 0 after the stop, and whether a motor ran when it came
                at = request[1]
                before = [w for t, w in words if t < at]
                zero = next((t for t, w in words if t >= at and w == 0), None)
                conn.send((bool(before) and before[-1] != 0, zero))
                del words[:-50]


def report(name, figures):
    if not figures:
        print("%-22s no trials" % name)
        return
    ms = sorted(figures)
    worst = ms[-1]
    print("%-22s trials %3d  min %5.1f ms  median %5.1f ms  mean %5.1f ms  p90 %5.1f ms  "
          "max %5.1f ms = %.1f poll periods  %s"
          % (name, len(ms), ms[0], statistics.median(ms), statistics.mean(ms),
             ms[min(len(ms) - 1, len(ms) * 9 // 10)], worst, worst / POLL_MS,
             "ok" if worst <= 2 * POLL_MS else "ABOVE TARGET"))


def main():
    here = os.path.dirname(os.path.abspath(kelvora.__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("trials", nargs="?", type=int, default=30)
    parser.add_argument("--sim", default=os.path.join(here, "kelvora-sim"))
    args = parser.parse_args()

    sim = subprocess.Popen([args.sim, "--no-status", "-p", "3,3,3,3"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, encoding="utf-8", start_new_session=True)
    device = next(line.strip().split("=", 1)[1] for line in sim.stdout
                  if line.startswith("ZQBREL_COM1="))
    ours, theirs = multiprocessing.Pipe()
    tapper = multiprocessing.Process(target=tap, args=(device, theirs), daemon=True)
    tapper.start()
    os.environ["ZQBREL_COM1"] = ours.recv()
    os.environ["XDG_CONFIG_HOME"] = "/nonexistent"

    rng = random.Random(20261208)
    ctrl_c, stop = [], []
    with kelvora.Robot(port="COM1", model="Rob3") as robot:
        robot.home()
        for trial in range(2 * args.trials):
            by_signal = trial % 2 == 0
            delay = rng.uniform(0.3, 1.2)
            if None in robot.positions:
                robot.home()
            # At least 90 units (over 2 s) to go: the stop always comes while it moves.
            target = 200 if robot.positions[0] < 110 else 20
            stopped_at = []
            if by_signal:
                ours.send(("signal", time.monotonic_ns() + int(delay * 1e9), os.getpid()))
            else:
                def stop_later():
                    time.sleep(delay)
                    stopped_at.append(time.monotonic_ns())
                    robot.stop()
                threading.Thread(target=stop_later).start()
            try:
                robot.move_to(target)
            except (KeyboardInterrupt, kelvora.MoveStopped):
                pass
            if by_signal:
                reply = ours.recv()
                stopped_at.append(reply[1])
            if not stopped_at:
                continue  # the move ended first
            time.sleep(3 * POLL_MS / 1000)
            ours.send(("zero after", stopped_at[0]))
            running, zero = ours.recv()
            if running and zero is not None:
                (ctrl_c if by_signal else stop).append((zero - stopped_at[0]) / 1e6)
    ours.send(("quit",))
    tapper.join(5)
    sim.stdin.close()
    sim.wait(5)
    print("Stop to motor word 0 on the wire (real time, kelvora-sim on a pseudo-terminal, "
          "poll period %d ms, control cycle 10 ms):" % POLL_MS)
    report("Ctrl+C (SIGINT)", ctrl_c)
    report("stop() from a thread", stop)


if __name__ == "__main__":
    sys.exit(main())
