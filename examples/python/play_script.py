#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Play a saved script: a script the Kelvora program saved (an RB3 file for Rob3) is
shown, then played on the robot, once or again and again until Ctrl+C.

    python3 play_script.py SCRIPT.RB3 [--repeat] [--simulate]
"""

import argparse

import kelvora

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("script", help="the script file")
parser.add_argument("--repeat", action="store_true", help="play until Ctrl+C")
parser.add_argument("--simulate", action="store_true", help="use the virtual robot")
args = parser.parse_args()

lines = kelvora.read_script(args.script)
for number, line in enumerate(lines, 1):
    print("line", number, line)

with kelvora.Robot(simulate=args.simulate) as robot:
    robot.home()
    try:
        robot.play(args.script, repeat=args.repeat)
    except KeyboardInterrupt:
        print("stopped by Ctrl+C")  # the motors are off already
    print("positions", robot.positions)
