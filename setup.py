"""pip install --no-build-isolation . : the Python module, built by CMake
from this tree (Debian's cmake, ninja-build, python3-dev, python3-pybind11
and the library's own build dependencies)."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
VERSION = re.search(r"project\(Lumarin VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


class CMakeBuild(build_ext):
    """Builds the _lumarin target only, in Release, for this interpreter."""

    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                        "-DLUMARIN_BUILD_TESTS=OFF", "-DLUMARIN_BUILD_BENCH=OFF", "-DLUMARIN_INSTALL=OFF",
                        f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_lumarin"], check=True)
        built = next((build / "python" / "lumarin").glob("_lumarin*.so"))
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    name="lumarin",
    version=VERSION,
    description="Text into pictures and printer bytes, shaped in every script",
    packages=["lumarin"],
    package_dir={"": "python"},
    package_data={"lumarin": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension("lumarin._lumarin", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    zip_safe=False,
)
