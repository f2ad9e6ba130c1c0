"""Builds the q390 package's compiled module with the project's CMake build (pyproject.toml)."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
# Kept apart from the project's own build folders; Q390_PYTHON_BUILD moves it.
BUILD = Path(os.environ.get("Q390_PYTHON_BUILD", ROOT / "build-python"))
BUILD.mkdir(parents=True, exist_ok=True)


def version():
    """The version project() gives in CMakeLists.txt, the one place it is written."""
    return re.search(r"project\(q390 VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        cmake = BUILD / "cmake"
        subprocess.run(["cmake", "-S", ROOT, "-B", cmake, "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
                        "-DQ390_BENCH=OFF", f"-DPython3_EXECUTABLE={sys.executable}",
                        *os.environ.get("CMAKE_ARGS", "").split()], check=True)
        subprocess.run(["cmake", "--build", cmake, "--target", "q390-python", "-j", str(os.cpu_count() or 1)],
                       check=True)
        built = next((cmake / "src/python/q390").glob("_q390.*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=version(),
    ext_modules=[Extension("q390._q390", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD)}, "egg_info": {"egg_base": str(BUILD)}},
)
