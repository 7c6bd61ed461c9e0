"""Runs the module's tests with pytest; exit 77 (a skip for CTest) when
pytest or numpy is missing."""

import importlib.util
import sys

missing = [m for m in ("pytest", "numpy") if importlib.util.find_spec(m) is None]
if missing:
    print(f"skipped: {' and '.join(missing)} not installed for {sys.executable}")
    sys.exit(77)

import pytest  # noqa: E402

sys.exit(pytest.main(sys.argv[1:]))
