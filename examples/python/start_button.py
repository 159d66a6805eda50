#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Start button: the robot waits until a switch on an input is pressed, then works.

Rob5 has input 11 free for such a switch (with the extension module); on the virtual
robot the key i (or the switch in its window, --view) closes it. Run:

    python3 start_button.py [--simulate] [--input 11] [--wait 60]
"""

import argparse

import kelvora

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--simulate", action="store_true", help="use the virtual robot")
parser.add_argument("--view", action="store_true", help="show the virtual robot's window")
parser.add_argument("--input", type=int, default=11, help="the input of the start switch")
parser.add_argument("--wait", type=float, default=60, help="seconds to wait for the switch")
args = parser.parse_args()

with kelvora.Robot(model="Rob5", simulate=args.simulate, view=args.view) as robot:
    robot.home()
    print("Press the switch on input", args.input, "to start", flush=True)
    if not robot.wait_for_input(args.input, True, timeout=args.wait):
        print("Nobody pressed it; the robot stays at home")
    else:
        robot.output(6, True)  # the lamp on M6: the robot is working
        robot.move_to(60, 40, 20, 80)  # Säule, Arm horizontal, Arm vertikal, Wagen
        robot.gripper_close()
        robot.move_to(wagen=0)
        robot.gripper_open()
        robot.output(6, False)
        print("Started and done, positions", robot.positions)
