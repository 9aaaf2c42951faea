"""Shared by the tests: the programs the package's results are compared with.

KEMRO_GRID and KEMRO_OBSERVED name the built kemro-grid and kemro-observed
(make python-test sets them); without them the comparisons are skipped.
"""

import csv
import io
import math
import os
import subprocess

import numpy as np
import pytest


def run_program(variable, args):
    """The CSV records a program writes for `args`, as a dict of column lists."""
    program = os.environ.get(variable)
    if not program:
        pytest.skip(f"{variable} is not set")
    out = subprocess.run([program, *args, "--csv"], check=True, capture_output=True, text=True)
    rows = list(csv.reader(io.StringIO(out.stdout)))
    return {name: [row[i] for row in rows[1:]] for i, name in enumerate(rows[0])}


def assert_column_equals_text(name, values, texts):
    """Every value equals the number its CSV text reads back as, to the last bit
    (an empty field: NaN; Inf and -Inf: the infinities), or the text itself."""
    assert len(values) == len(texts), name
    for i, (value, text) in enumerate(zip(values, texts)):
        if isinstance(value, str):
            assert value == text, (name, i)
        elif value is None:  # a text without a value: an empty field
            assert text == "", (name, i)
        elif isinstance(value, (bool, np.bool_)):
            assert ("true" if value else "false") == text, (name, i)
        elif text == "":
            assert math.isnan(value), (name, i, value)
        else:
            expected = float(text)
            assert value == expected and math.copysign(1, value) == math.copysign(
                1, expected), (name, i, value, text)
