"""Builds the extension nimbrel_tavik_util._core with the project's own CMake build (the metadata
is in pyproject.toml). The library's code goes into the extension, so the installed module needs
no libnimbrel_tavik_util.so; it links GLPK, yaml-cpp, libyaml and simdjson from the system."""
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(nimbrel_tavik_util\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        out = Path(self.get_ext_fullpath(ext.name)).resolve().parent
        build = Path(self.build_temp).resolve() / "cmake"
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build), *generator,
             "-DCMAKE_BUILD_TYPE=Release",
             f"-DPython3_EXECUTABLE={sys.executable}",
             "-DNIMBREL_TAVIK_UTIL_PYTHON=ON", "-DNIMBREL_TAVIK_UTIL_INSTALL=OFF",
             "-DNTU_BUILD_TESTS=OFF", "-DNTU_BUILD_TOOLS=OFF", "-DNTU_BUILD_EXAMPLES=OFF",
             "-DNTU_BUILD_FUZZ_REPLAY=OFF", f"-DNTU_PYTHON_OUTPUT_DIR={out}"],
            check=True)
        jobs = ["-j", str(self.parallel)] if self.parallel else []
        subprocess.run(["cmake", "--build", str(build), "--target", "ntu_python", *jobs],
                       check=True)


setup(
    version=project_version(),
    ext_modules=[Extension("nimbrel_tavik_util._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
