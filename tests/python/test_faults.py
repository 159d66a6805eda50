# SPDX-License-Identifier: MIT
"""What goes wrong with the robot, against kelvora-sim's faults: each is raised once as
the exception that names it, every motor is off, and the positions the program holds
are true or None, judged by the simulator's true positions."""

import signal
import threading
import time

import pytest

import kelvora
from conftest import arrived, near

ALL_NONE = (None,) * 4


def test_an_interrupted_home_run_leaves_the_axes_off_their_switches_unknown(make_sim, child):
    make_sim("-p", "150,100,100,10")  # the gripper gets to its switch first, in 0.25 s
    program = child("""
        import kelvora
        robot = kelvora.Robot()
        print("homing", flush=True)
        try:
            robot.home()
        except KeyboardInterrupt:
            print("interrupted", robot.positions, flush=True)
        robot.move_to(20)  # from None: to its end switch, then to 20
        print("moved", robot.positions, flush=True)
    """)
    program.wait_for("homing")
    time.sleep(0.6)
    program.signal(signal.SIGINT)
    assert program.wait(60) == 0, program.text()
    assert "interrupted (None, None, None, 0)" in program.text()
    moved = eval(program.text().split("moved ", 1)[1].splitlines()[0])
    assert arrived(moved[0], 20) and moved[1:] == (None, None, 0)


def home_when_back(robot, seconds=10):
    """home() once the box answers again."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            return robot.home()
        except kelvora.InterfaceError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


@pytest.mark.parametrize("fault, mend", [("s", "n"), ("r", None)])  # silent; replugged
def test_an_interface_error_loses_every_position_and_is_raised_once(make_sim, tmp_path, fault,
                                                                     mend):
    sim = make_sim("--link", str(tmp_path / "box"))
    with kelvora.Robot() as robot:
        robot.home()
        threading.Timer(0.5, sim.send, [fault]).start()
        with pytest.raises(kelvora.InterfaceError) as caught:
            robot.move_to(200, 150)
        assert "stopped answering" in str(caught.value) and "may run on" in str(caught.value)
        assert robot.positions == ALL_NONE
        if mend:
            sim.send(mend)
        home_when_back(robot)
        assert robot.positions == (0, 0, 0, 0)
        robot.move_to(30, 20)
        assert near(robot.positions, sim.positions())


def test_a_box_gone_silent_between_calls_shows_at_once_and_is_raised_by_the_next_call(sim):
    with kelvora.Robot() as robot:
        robot.home()
        robot.move_to(20)
        sim.send("s")
        deadline = time.monotonic() + 5
        while robot.positions != ALL_NONE and time.monotonic() < deadline:
            time.sleep(0.05)
        assert robot.positions == ALL_NONE  # reading them never raises
        with pytest.raises(kelvora.InterfaceError, match="move_to did nothing"):
            robot.move_to(50)
        sim.send("n")
        time.sleep(0.1)
        robot.move_to(10)  # raised once: this call works, homing the axis first
        assert arrived(robot.positions[0], 10) and near(robot.positions[:1], sim.positions())


# Down into its stop without the switch closing: from where it stands, and from 0 held
# on a switch that opened meanwhile (which gives that 0 up).
@pytest.mark.parametrize("homed", [False, True])
def test_a_broken_end_switch_makes_home_raise_naming_the_axis(make_sim, homed):
    sim = make_sim("-p", "40,20,10,5")
    with kelvora.Robot() as robot:
        if homed:
            robot.home()
        sim.send("e1")
        time.sleep(0.1)
        with pytest.raises(kelvora.AxisStalled) as caught:
            robot.home()
        e = caught.value
        assert isinstance(e, kelvora.AxisError) and isinstance(e, OSError)
        assert not isinstance(e, kelvora.MoveStopped)
        assert (e.axis, e.name, e.axes, e.names) == (1, "Säule", (1,), ("Säule",))
        assert "Säule (1)" in str(e) and "home stopped" in str(e)
        assert robot.positions == (None, 0, 0, 0)
        true, still = sim.still()
        assert still and true[0] < 1
        sim.send("e1")
        robot.home()
        assert robot.positions == (0, 0, 0, 0)


@pytest.mark.parametrize("axis, call", [
    (1, lambda r: r.move_to(200)),
    (1, lambda r: r.jog(1, kelvora.RIGHT, 5)),
    (4, lambda r: r.gripper_close()),
    (1, lambda r: r.play([(200, 30, 20, 0), (10, 30, 20, 0)], repeat=True)),
])
def test_a_stalled_axis_stops_the_call_and_only_its_position_is_lost(sim, axis, call):
    with kelvora.Robot() as robot:
        robot.home()
        robot.move_to(10, 30, 20)
        sim.send(str(axis))  # its impulse switch sticks
        with pytest.raises(kelvora.AxisStalled) as caught:
            call(robot)
        name = robot.axes[axis - 1]
        assert (caught.value.axis, caught.value.name) == (axis, name)
        assert "%s (%d) does not move" % (name, axis) in str(caught.value)
        held = robot.positions
        assert held[axis - 1] is None
        true, still = sim.still()
        assert still
        others = [i for i in range(4) if i != axis - 1]
        assert near([held[i] for i in others], [true[i] for i in others])
        sim.send(str(axis))
        robot.home()  # raised once: the robot works again
        assert robot.positions == (0, 0, 0, 0)


def hold_the_gil(after, count=100_000_000):
    """Another thread that, after a while, keeps the GIL inside one long C call (half a
    second and more)."""
    def work():
        time.sleep(after)
        sum(range(count))
    thread = threading.Thread(target=work)
    thread.start()
    return thread


def test_a_move_on_the_main_thread_that_cannot_get_the_gil_trips_the_watchdog(sim):
    with kelvora.Robot() as robot:
        robot.home()
        hog = hold_the_gil(0.4)
        with pytest.raises(kelvora.WatchdogTripped, match="GIL") as caught:
            robot.move_to(150, 100)
        hog.join()
        assert isinstance(caught.value, RuntimeError)
        assert robot.positions[:2] == (None, None) and robot.positions[2:] == (0, 0)
        true, still = sim.still()
        assert still and 5 < true[0] < 150
        # A move on a thread of its own never waits for the GIL: the same load passes.
        robot.home()
        errors = []

        def move():
            try:
                robot.move_to(80, 60)
            except Exception as e:  # noqa: BLE001 (reported below)
                errors.append(e)

        mover = threading.Thread(target=move)
        mover.start()
        time.sleep(0.4)
        sum(range(100_000_000))
        mover.join()
        assert errors == [] and near(robot.positions, sim.positions())
