# SPDX-License-Identifier: MIT
"""The classroom examples in examples/python, each run on the virtual robot."""

import os
import re
import sys

import kelvora
from conftest import SOURCE, near

EXAMPLES = os.path.join(SOURCE, "examples", "python")


def run(child, name, *args):
    with open(os.path.join(EXAMPLES, name), encoding="utf-8") as f:
        return child(f.read(), *args)


def last_positions(text):
    found = re.findall(r"positions \(([^)]*)\)", text)
    return [int(v) for v in found[-1].split(",")]


def test_pick_and_place(sim, child):
    program = run(child, "pick_and_place.py", "--times", "1")
    assert program.wait(120) == 0, program.text()
    assert "part 1 placed, positions" in program.text() and "done" in program.text()
    assert near([0, 0, 0, 0], sim.positions())  # home again at the end


def test_pick_and_place_on_its_own_virtual_robot(home_dir, child):
    program = run(child, "pick_and_place.py", "--simulate", "--times", "1")
    assert program.wait(120) == 0, program.text()
    assert "done" in program.text()


def test_start_button(make_sim, child):
    sim = make_sim("--layout", "rob5")
    program = run(child, "start_button.py", "--wait", "30")
    program.wait_for("Press the switch on input 11")
    sim.send("i")
    assert program.wait(120) == 0, program.text()
    assert "Started and done" in program.text()
    assert near(last_positions(program.text()), sim.positions())


def test_play_script(sim, child, tmp_path):
    script = tmp_path / "CLASS.RB3"
    kelvora.write_script(script, [(0, 0, 0, 0), (20, 15, 10, 1), (5, 5, 5, 0)])
    program = run(child, "play_script.py", str(script))
    assert program.wait(120) == 0, program.text()
    assert "line 2 (20, 15, 10, 1)" in program.text()
    assert near(last_positions(program.text()), sim.positions())
