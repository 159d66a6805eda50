# SPDX-License-Identifier: MIT
"""kelvora.Robot against kelvora-sim: the program's moves with the simulator's true
positions as the verdict, the settings rules, and every way a call can end early."""

import threading
import time

import pytest

import kelvora
from conftest import arrived, motor_words, near

ROB5_SETTINGS = "[Common]\r\nRobModel=Rob5\r\n[Rob5]\r\nWagen=800\r\n"


@pytest.mark.parametrize("where, text, kwargs, expected", [
    # no file: the built-in model Rob3 on COM1
    (None, None, {}, ("Rob3", "Säulenroboter",
                      ("Säule", "Arm horizontal", "Arm vertikal", "Greifer"), (240, 160, 150, 28))),
    # the user's file, read when no settings file is named
    ("user", ROB5_SETTINGS, {}, ("Rob5", "Säulenroboter",
                                 ("Säule", "Arm horizontal", "Arm vertikal", "Wagen", "Greifer"),
                                 (240, 160, 150, 800, 28))),
    # a named file; model= picks another entry of it, with that entry's values
    ("named", "[Common]\r\nRobModel=Rob5\r\n[Rob2]\r\nRobType=Z\r\nRobText=Schwei\xdf-Roboter\r\n"
              "ArmV=80\r\n", {"model": "Rob2"},
     ("Rob2", "Schweiß-Roboter", ("Säule", "Arm horizontal", "Arm vertikal"), (240, 160, 80))),
])
def test_model_and_port_come_from_the_settings_file(sim, home_dir, tmp_path, where, text, kwargs,
                                                     expected):
    if where == "user":
        (home_dir / ".config" / "kelvora").mkdir()
        (home_dir / ".config" / "kelvora" / "Kelvora.INI").write_bytes(text.encode("cp1252"))
    elif where == "named":
        path = tmp_path / "Kelvora.INI"
        path.write_bytes(text.encode("cp1252"))
        kwargs = dict(kwargs, settings=path)
    with kelvora.Robot(**kwargs) as robot:
        assert (robot.model, robot.description, robot.axes, robot.maxima) == expected
        assert robot.port == "COM1"
        assert robot.positions == (None,) * len(expected[2])


def test_home_moves_gripper_and_jog_leave_the_true_positions(sim):
    with kelvora.Robot() as robot:
        robot.home()
        assert robot.positions == (0, 0, 0, 0)
        assert near(robot.positions, sim.positions())

        robot.move_to(30, 20, 10)
        assert near(robot.positions, sim.positions())
        assert arrived(robot.positions[0], 30)
        column = robot.positions[0]
        robot.move_to(arm_vertikal=15, säule=None)  # by name; None keeps the axis
        assert robot.positions[0] == column and arrived(robot.positions[2], 15)
        robot.move_to(saeule=25)
        assert arrived(robot.positions[0], 25)

        robot.gripper_close()
        assert arrived(robot.positions[3], 28)
        robot.gripper_open()
        assert robot.positions[3] == 0
        assert near(robot.positions, sim.positions())

        before_jog, true_before = robot.positions[1], sim.positions()[1]
        robot.jog("Arm horizontal", kelvora.RIGHT, 0.3)
        after_jog = robot.positions[1]
        assert before_jog < after_jog < before_jog + 30  # about 12 at 40 units a second
        true, still = sim.still()
        # The jog's own travel, as the program counted it, its run-down included.
        assert still and abs((true[1] - true_before) - (after_jog - before_jog)) <= 1
        robot.jog(2, kelvora.LEFT, 5)  # runs to its end switch before the time is up
        assert robot.positions[1] == 0 and sim.positions()[1] < 1


def test_wait_for_input_and_its_time_limit(sim):
    with kelvora.Robot() as robot:
        robot.home()
        assert robot.wait_for_input(1, True)  # the column's end switch is closed at 0
        start = time.monotonic()
        assert robot.wait_for_input(1, False, timeout=0.3) is False
        assert 0.25 <= time.monotonic() - start < 3


def test_rob5_outputs_input_11_and_a_script_with_the_wait(make_sim, trace, tmp_path):
    sim = make_sim("--layout", "rob5")
    with kelvora.Robot(model="Rob5") as robot:
        robot.output(6, True)
        robot.output(7, True)
        robot.output(6, False)
        waited = []
        thread = threading.Thread(target=lambda: waited.append(robot.wait_for_input(11)))
        thread.start()
        time.sleep(0.3)
        sim.send("i")  # the switch on input 11 closes
        thread.join(5)
        assert waited == [True]
        script = tmp_path / "WAIT.RB5"
        kelvora.write_script(script, [(0, 0, 0, 0, 0, 1, 0, 1), (5, 4, 3, 6, 1, 0, 0, 1)],
                             model="Rob5")
        robot.play(script)
        assert near(robot.positions, sim.positions())
        assert arrived(robot.positions[4], 28)
    m6_left, m7_left = 1 << 10, 1 << 12  # motor m's left bit is 2m - 2
    words = motor_words(trace)
    assert any(w & m6_left for w in words) and any(w & m7_left for w in words)
    assert words[-1] == 0


def test_extra_motor_of_a_type_z_model_and_what_each_type_refuses(sim, tmp_path, trace):
    ini = tmp_path / "Kelvora.INI"
    ini.write_bytes(b"[Common]\r\nRobModel=Rob2\r\n[Rob2]\r\nRobType=Z\r\n")
    with kelvora.Robot(settings=str(ini)) as robot:
        with pytest.raises(RuntimeError):
            robot.gripper_close()
        with pytest.raises(RuntimeError):
            robot.output(6, True)
        robot.extra_motor(True)
        assert motor_words(trace)[-1] & 0x40  # motor 4 left
        robot.extra_motor(False)
    with kelvora.Robot() as robot, pytest.raises(RuntimeError):
        robot.extra_motor(True)


@pytest.mark.parametrize("call, error", [
    (lambda r: r.move_to(1, 2, 3, 4, 5), ValueError),  # four axes
    (lambda r: r.move_to(241), ValueError),  # above the column's maximum
    (lambda r: r.move_to(-1), ValueError),
    (lambda r: r.move_to(ellbogen=3), ValueError),  # no such axis
    (lambda r: r.move_to(3, säule=4), TypeError),  # the column twice
    (lambda r: r.move_to(2.5), TypeError),
    (lambda r: r.jog(5, kelvora.LEFT, 1), ValueError),
    (lambda r: r.jog(1, kelvora.OFF, 1), ValueError),
    (lambda r: r.jog(1, kelvora.LEFT, 0), ValueError),
    (lambda r: r.wait_for_input(9), ValueError),  # 8 inputs without the extension
    (lambda r: r.wait_for_input(1, timeout=-1), ValueError),
    (lambda r: r.play([(1, 2, 3)]), ValueError),  # a line has four values
    (lambda r: r.play([]), ValueError),
])
def test_bad_arguments_are_refused_before_anything_moves(sim, call, error):
    with kelvora.Robot() as robot:
        with pytest.raises(error):
            call(robot)
        assert robot.positions == (None,) * 4  # nothing was driven


def test_bad_ports_models_and_files(home_dir, tmp_path, monkeypatch):
    with pytest.raises(ValueError):
        kelvora.Robot(model="Rob10")
    with pytest.raises(ValueError):
        kelvora.Robot(port="COM10")
    with pytest.raises(FileNotFoundError):
        kelvora.Robot(settings=tmp_path / "none.INI")
    monkeypatch.setenv("ZQBREL_COM7", str(tmp_path / "no-device"))
    with pytest.raises(kelvora.InterfaceError) as caught:
        kelvora.Robot(port="COM7")
    e = caught.value
    assert isinstance(e, OSError) and e.errno == 2
    assert (e.port, e.device) == ("COM7", str(tmp_path / "no-device"))
    assert "no such device" in e.reason and "COM7" in str(e)


def test_a_closed_robot_refuses_every_call_and_closes_twice(sim):
    robot = kelvora.Robot()
    robot.close()
    robot.close()
    assert robot.closed
    with pytest.raises(kelvora.InterfaceError, match="closed"):
        robot.home()
    robot.stop()  # does nothing


def test_stop_from_a_second_thread_ends_the_move(sim, trace):
    with kelvora.Robot() as robot:
        robot.home()
        stopped = []

        def stop_soon():
            time.sleep(0.5)
            stopped.append(time.monotonic())
            robot.stop()

        threading.Thread(target=stop_soon).start()
        with pytest.raises(kelvora.MoveStopped):
            robot.move_to(200, 150)
        assert time.monotonic() - stopped[0] < 1  # at once, even with the settle pause
        true, still = sim.still()
        assert still and 5 < true[0] < 100
        # The GIL was free meanwhile: the other thread ran, and the robot still works.
        robot.move_to(10, 10)
        assert near(robot.positions[:2], sim.positions()[:2])
    assert motor_words(trace)[-1] == 0


def test_play_once_and_repeated_until_stop(sim, tmp_path):
    script = tmp_path / "PLAY.RB3"
    kelvora.write_script(script, [(0, 0, 0, 0), (12, 8, 6, 1)])
    with kelvora.Robot() as robot:
        robot.play(script)
        assert arrived(robot.positions[3], 28)
        assert near(robot.positions, sim.positions())
        threading.Timer(1.5, robot.stop).start()
        start = time.monotonic()
        with pytest.raises(kelvora.MoveStopped):
            robot.play(kelvora.read_script(script), repeat=True)
        assert 1.4 < time.monotonic() - start < 10
        true, still = sim.still()
        assert still


def test_positions_can_be_read_from_another_thread_during_a_move(sim):
    with kelvora.Robot() as robot:
        robot.home()
        seen = []
        done = threading.Event()

        def watch():
            while not done.is_set():
                seen.append(robot.positions[0])
                time.sleep(0.02)

        watcher = threading.Thread(target=watch)
        watcher.start()
        robot.move_to(25)
        done.set()
        watcher.join()
        # Seen rising as it moved, and where it ended.
        assert len(set(seen)) > 3 and seen == sorted(seen) and arrived(robot.positions[0], 25)
