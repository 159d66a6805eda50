#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Pick and place: the robot takes a part from one place to another, over and over.

The positions were taught with the Kelvora program (jog the arm there, read the
positions off the window) and written down here. Run it with the kit connected, or
with --simulate on the virtual robot:

    python3 pick_and_place.py [--simulate] [--times N]
"""

import argparse

import kelvora

# Taught positions: (Säule, Arm horizontal, Arm vertikal), in impulses.
ABOVE_PICK = (30, 40, 10)
PICK = (30, 40, 25)
ABOVE_PLACE = (90, 40, 10)
PLACE = (90, 40, 25)

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--simulate", action="store_true", help="use the virtual robot")
parser.add_argument("--times", type=int, default=2, help="how many parts to move")
args = parser.parse_args()

with kelvora.Robot(simulate=args.simulate) as robot:
    print(robot.model, ":", robot.description, "on", robot.port)
    robot.home()
    robot.gripper_open()
    for part in range(1, args.times + 1):
        robot.move_to(*ABOVE_PICK)
        robot.move_to(*PICK)
        robot.gripper_close()
        robot.move_to(*ABOVE_PICK)
        robot.move_to(*ABOVE_PLACE)
        robot.move_to(*PLACE)
        robot.gripper_open()
        robot.move_to(*ABOVE_PLACE)
        print("part", part, "placed, positions", robot.positions)
    robot.home()
    print("done")
