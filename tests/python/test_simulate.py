# SPDX-License-Identifier: MIT
"""Robot(simulate=True) for a student without the kit: nothing set up, no settings file,
no port mapped, the simulator not on PATH; it is started and ended with the robot."""

import os

CHECK = """
    import os, kelvora

    def simulators():
        # kelvora-sim processes started by this one
        found = 0
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/stat" % pid) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                with open("/proc/%s/comm" % pid) as f:
                    name = f.read().strip()
            except OSError:
                continue
            found += int(fields[1]) == os.getpid() and name == "kelvora-sim"
        return found

    with kelvora.Robot(simulate=True, view=True) as robot:
        print("port", robot.port, robot.positions, simulators())
        robot.home()
        robot.move_to(10, 8, 6)
        robot.gripper_close()
        print("positions", robot.positions)
    print("after close", simulators())
    rob5 = kelvora.Robot(model="Rob5", simulate=True)
    rob5.wait_for_input(11, False)  # the extension module's inputs answer
    print("rob5", rob5.axes[3], rob5.positions)
    del rob5
    print("after del", simulators())
"""


def test_simulate_needs_nothing_else(tmp_path, child, monkeypatch):
    monkeypatch.setenv("HOME", str(tmp_path))
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    monkeypatch.setenv("PATH", "/usr/bin:/bin")
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        monkeypatch.delenv(name, raising=False)
    for name in list(os.environ):
        if name.startswith("ZQBREL_"):
            monkeypatch.delenv(name)
    program = child(CHECK)
    assert program.wait(60) == 0, program.text()
    out = program.text()
    assert "port COM1 (None, None, None, None) 1" in out
    positions = eval(out.split("positions ", 1)[1].splitlines()[0])
    assert None not in positions and positions[3] in (28, 29)  # the gripper closed
    assert "after close 0" in out and "after del 0" in out
    assert "rob5 Wagen (None, None, None, None, None)" in out
    assert "no window" in out  # view=True without a display says so and runs on
    assert not os.path.exists(tmp_path / "config" / "kelvora" / "Kelvora.INI")
