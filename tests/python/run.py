"""Runs the module's tests with pytest; exit 77 (skipped) naming what is
missing where pytest or Pillow is not installed."""
import sys

for module, package in (("pytest", "python3-pytest"), ("PIL", "python3-pil")):
    try:
        __import__(module)
    except ImportError:
        print(f"skipped: the Python module's tests need {package}")
        sys.exit(77)

import pytest  # noqa: E402

sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", sys.argv[1]]))
