# SPDX-License-Identifier: MIT
"""The motors stop whatever happens: a real Ctrl+C (SIGINT) and SIGTERM to the
interpreter, an exception leaving a with block, the end of the program without close(),
garbage collection. The verdict is the simulator's robot standing still and the last
motor word on the wire, from the driver's trace, being 0."""

import gc
import signal
import time

import pytest

import kelvora
from conftest import motor_words

MOVING = """
    import sys, kelvora
    robot = kelvora.Robot()
    robot.home()
    print("moving", flush=True)
    {call}
    print("not stopped", flush=True)
"""


@pytest.mark.parametrize("call, start, signum, status", [
    ("robot.move_to(200, 150)", "3,3,3,3", signal.SIGINT, -signal.SIGINT),
    # the home run itself, from far away
    ("pass", "150,100,100,10", signal.SIGINT, -signal.SIGINT),
    ("robot.play([(200, 150, 100, 1), (0, 0, 0, 0)], repeat=True)", "3,3,3,3", signal.SIGINT,
     -signal.SIGINT),
    ("robot.move_to(200, 150)", "3,3,3,3", signal.SIGTERM, 128 + signal.SIGTERM),
])
def test_a_signal_ends_the_call_at_once_with_the_motors_off(make_sim, trace, child, call, start,
                                                            signum, status):
    sim = make_sim("-p", start)
    # For the home run the signal comes during robot.home(), before "moving" is printed.
    source = MOVING.format(call=call)
    if call == "pass":
        source = source.replace("robot.home()\n    print(\"moving\", flush=True)",
                                "print(\"moving\", flush=True)\n    robot.home()")
    program = child(source)
    program.wait_for("moving")
    time.sleep(0.6)
    signalled = time.monotonic()
    program.signal(signum)
    assert program.wait(10) == status, program.text()
    assert time.monotonic() - signalled < 3
    assert "not stopped" not in program.text()
    if signum == signal.SIGINT:
        assert "KeyboardInterrupt" in program.text()
    true, still = sim.still()
    assert still
    assert 5 < true[0] < 190  # stopped under way
    assert motor_words(trace)[-1] == 0


def test_the_end_of_the_program_without_close_stops_the_motors(sim, trace, child):
    program = child("""
        import time, kelvora
        box = kelvora.Interface()
        box.set_motor(1, kelvora.RIGHT)
        box.set_motor(2, kelvora.RIGHT)
        print("running", flush=True)
        time.sleep(0.5)
    """)
    program.wait_for("running")
    assert program.wait(10) == 0, program.text()
    true, still = sim.still()
    assert still and true[0] > 5
    words = motor_words(trace)
    assert 0x0A in words and words[-1] == 0  # motors 1 and 2 right, then all off


def test_an_exception_leaving_a_with_block_stops_the_motors(sim, trace):
    with pytest.raises(ZeroDivisionError):
        with kelvora.Interface() as box:
            box.set_motor(1, kelvora.RIGHT)
            time.sleep(0.4)
            1 / 0
    assert box.closed
    true, still = sim.still()
    assert still and true[0] > 5
    assert motor_words(trace)[-1] == 0


def test_garbage_collection_of_an_open_robot_stops_it(sim, trace):
    box = kelvora.Interface()
    box.set_motor(1, kelvora.RIGHT)
    time.sleep(0.4)
    del box
    gc.collect()
    true, still = sim.still()
    assert still and true[0] > 5
    assert motor_words(trace)[-1] == 0


def test_a_program_that_handles_ctrl_c_itself_keeps_its_move(sim, child):
    program = child("""
        import signal, kelvora
        signal.signal(signal.SIGINT, lambda *_: print("caught", flush=True))
        robot = kelvora.Robot()
        robot.home()
        print("moving", flush=True)
        robot.move_to(40)
        print("arrived", robot.positions[0] in (40, 41), flush=True)
    """)
    program.wait_for("moving")
    program.signal(signal.SIGINT)
    assert program.wait(30) == 0, program.text()
    assert "caught" in program.text() and "arrived True" in program.text()
