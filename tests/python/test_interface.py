# SPDX-License-Identifier: MIT
"""kelvora.Interface against kelvora-sim: the driver on one port, every call."""

import threading
import time

import pytest

import kelvora
from conftest import motor_words


def test_motors_outputs_inputs_and_counters(make_sim, trace):
    sim = make_sim("-p", "0,3,3,3")  # the column on its end switch (input 1)
    with kelvora.Interface("COM1") as box:
        assert box.port == "COM1" and not box.closed
        time.sleep(0.05)
        assert box.input(1) and not box.input(3)
        assert box.inputs & 0xFF == box.inputs and box.inputs & 1
        box.set_motor(2, kelvora.RIGHT)
        time.sleep(0.5)
        box.set_motor(2, kelvora.OFF)
        time.sleep(0.2)
        counted = box.counter(4)  # arm horizontal's impulses
        true = sim.positions()[1]
        assert abs(counted - (true - 3)) <= 1.5
        box.set_motor(0, kelvora.RIGHT)  # every motor
        time.sleep(0.05)
        box.set_motor(0, kelvora.OFF)
        # Single output 3 is motor 2's left bit; on the serial box an output is active low.
        box.set_output(3, False)
        time.sleep(0.05)
        box.set_output(3, True)
    words = motor_words(trace)
    assert 0x08 in words and 0xAA in words and 0x04 in words and words[-1] == 0
    box.close()  # again: nothing happens
    with pytest.raises(kelvora.InterfaceError, match="closed"):
        box.input(1)


def test_wait_for_input_its_time_limit_and_another_thread_meanwhile(sim):
    with kelvora.Interface() as box:
        assert box.wait_for_input(1, False)
        ticks = []
        ticker = threading.Thread(target=lambda: [ticks.append(time.sleep(0.01)) for _ in range(20)])
        ticker.start()
        start = time.monotonic()
        assert box.wait_for_input(1, True, timeout=0.4) is False  # nothing closes it
        assert 0.35 <= time.monotonic() - start < 3
        ticker.join()
        assert len(ticks) == 20  # the GIL was free while it waited
        box.set_motor(1, kelvora.LEFT)  # toward the end switch, at 3
        assert box.wait_for_input(1, True, timeout=5)
        box.set_motor(1, kelvora.OFF)


@pytest.mark.parametrize("call", [
    lambda b: b.set_motor(5, kelvora.LEFT),  # 4 motors without the extension
    lambda b: b.set_motor(1, 3),
    lambda b: b.set_output(9, True),
    lambda b: b.input(0),
    lambda b: b.input(9),
    lambda b: b.counter(17),
    lambda b: b.wait_for_input(9),
])
def test_numbers_out_of_range_are_value_errors(sim, call):
    with kelvora.Interface() as box, pytest.raises(ValueError):
        call(box)


def test_sixteen_inputs_and_bad_arguments(sim):
    with kelvora.Interface(inputs=16) as box:
        box.set_motor(8, kelvora.OFF)
        assert box.input(16) is False
    for kwargs in ({"inputs": 12}, {"port": "COM0"}, {"port": "NONE"}):
        with pytest.raises(ValueError):
            kelvora.Interface(**kwargs)
