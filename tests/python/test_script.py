# SPDX-License-Identifier: MIT
"""read_script and write_script: the program's script files, byte for byte."""

import os

import pytest

import kelvora
from conftest import SOURCE

# The program's own worked examples of the format: a zero line and a taught line of Rob3,
# and one line of Rob5.
ROB3_FILE = (b"     0     0     0     0\r\n"
             b"   120    85    40     1\r\n")
ROB5_LINE = bytes.fromhex("2032303020203335202034302035303020202031203120302031") + b"\r\n"


@pytest.mark.parametrize("name, lines, model, data", [
    ("DEMO.RB3", [(0, 0, 0, 0), (120, 85, 40, 1)], "Rob3", ROB3_FILE),
    ("DEMO.RB5", [(200, 35, 40, 500, 1, 1, 0, 1)], "Rob5", ROB5_LINE),
    ("WIDE.RB3", [(-99999, 999999, 0, 0)], "Rob3", b"-99999999999     0     0\r\n"),
])
def test_written_and_read_as_the_program_does(tmp_path, name, lines, model, data):
    path = tmp_path / name
    kelvora.write_script(path, lines, model=model)
    assert path.read_bytes() == data
    assert kelvora.read_script(path) == lines  # the layout from the extension
    assert kelvora.read_script(str(path), model=model) == lines


def test_the_demo_script_reads_and_writes_back_byte_equal(tmp_path):
    demo = os.path.join(SOURCE, "scripts", "demo.RB3")
    lines = kelvora.read_script(demo)
    assert lines[0] == (0, 0, 0, 0) and all(len(line) == 4 for line in lines)
    kelvora.write_script(tmp_path / "copy.RB3", lines)
    with open(demo, "rb") as f:
        assert (tmp_path / "copy.RB3").read_bytes() == f.read()


def test_lines_without_line_end_or_with_single_line_feeds_read_the_same(tmp_path):
    path = tmp_path / "LF.RB3"
    path.write_bytes(b"     1     2     3     0\n     4     5     6     1")
    assert kelvora.read_script(path) == [(1, 2, 3, 0), (4, 5, 6, 1)]


@pytest.mark.parametrize("lines, model, error", [
    ([(1, 2, 3)], "Rob3", ValueError),  # a line of Rob3 has four values
    ([(1, 2, 3, 4, 5, 6, 7, 8)], "Rob3", ValueError),
    ([(10000, 0, 0, 0, 0, 0, 0, 0)], "Rob5", ValueError),  # wider than its column
    ([(0, 0, 0, 0, 0, 100, 0, 0)], "Rob5", ValueError),
    ([(1000000, 0, 0, 0)], "Rob3", ValueError),
    ([(1.5, 0, 0, 0)], "Rob3", TypeError),
    (["     0     0     0     0"], "Rob3", TypeError),
    ([(0, 0, 0, 0)], "Rob10", ValueError),
])
def test_what_cannot_be_written_is_refused_and_the_file_left_alone(tmp_path, lines, model, error):
    path = tmp_path / "KEEP.RB3"
    path.write_bytes(ROB3_FILE)
    with pytest.raises(error):
        kelvora.write_script(path, lines, model=model)
    assert path.read_bytes() == ROB3_FILE


def test_unreadable_files_and_lines(tmp_path):
    with pytest.raises(FileNotFoundError):
        kelvora.read_script(tmp_path / "none.RB3")
    with pytest.raises(IsADirectoryError):
        kelvora.read_script(tmp_path)
    with pytest.raises(FileNotFoundError):
        kelvora.write_script(tmp_path / "no" / "dir.RB3", [(0, 0, 0, 0)])
    bad = tmp_path / "BAD.RB3"
    bad.write_bytes(ROB3_FILE + b"\r\n")  # an empty line
    with pytest.raises(ValueError, match="line 3: '' ist kein gültiger Integerwert"):
        kelvora.read_script(bad)
    with pytest.raises(ValueError, match="line 1"):
        kelvora.read_script(bad, model="Rob5")  # a Rob3 file read as Rob5
