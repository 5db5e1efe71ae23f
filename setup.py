"""Builds the Python package's compiled part with CMake (see pyproject.toml).

The extension is built for the interpreter that runs this script, from the
same tree as the program, without the window and the tests.
"""

import os
import re
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as lists:
        return re.search(r"project\(Sievetext VERSION ([0-9.]+)", lists.read()).group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class BuildWithCMake(build_ext):
    def build_extension(self, ext):
        built = os.path.abspath(self.get_ext_fullpath(ext.name))
        tree = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        arguments = [
            "-S", ROOT, "-B", tree, "-G", "Ninja",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DPython_EXECUTABLE=" + sys.executable,
            "-DSIEVETEXT_BUILD_GUI=OFF", "-DSIEVETEXT_BUILD_TESTS=OFF",
            "-DSIEVETEXT_BUILD_PYTHON=ON",
        ]
        try:
            import pybind11
            arguments.append("-Dpybind11_DIR=" + pybind11.get_cmake_dir())
        except ImportError:
            pass  # pybind11-dev's CMake package
        launcher = os.environ.get("SIEVETEXT_COMPILER_LAUNCHER")
        if launcher:
            arguments.append("-DCMAKE_CXX_COMPILER_LAUNCHER=" + launcher)
        subprocess.run(["cmake"] + arguments, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", tree, "--target", "sievetext_python", "-j", jobs],
                       check=True)
        suffix = sysconfig.get_config_var("EXT_SUFFIX")
        compiled = os.path.join(tree, "python", "sievetext", "_sievetext" + suffix)
        os.makedirs(os.path.dirname(built), exist_ok=True)
        self.copy_file(compiled, built)


setup(
    version=project_version(),
    ext_modules=[CMakeExtension("sievetext._sievetext")],
    cmdclass={"build_ext": BuildWithCMake},
)
