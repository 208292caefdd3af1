"""Builds the shared library with CMake and puts it inside the package.

The rest of the package's description is in pyproject.toml. The version is
the one in include/maskjpeg.h. Extra CMake arguments can be given in the
MASKJPEG_CMAKE_ARGS environment variable (split on spaces).
"""
import os
import re
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = os.path.dirname(os.path.abspath(__file__))

if sys.platform == "win32":
    LIBRARY = "maskjpeg.dll"
elif sys.platform == "darwin":
    LIBRARY = "libmaskjpeg.1.dylib"
else:
    LIBRARY = "libmaskjpeg.so.1"


def header_version():
    with open(os.path.join(ROOT, "include", "maskjpeg.h")) as header:
        text = header.read()
    return ".".join(re.search(r"#define MASKJPEG_VERSION_%s (\d+)" % part, text).group(1)
                    for part in ("MAJOR", "MINOR", "PATCH"))


class BuildWithLibrary(build_py):
    """build_py, plus the library built by CMake and a _version.py."""

    def run(self):
        super().run()
        build = os.path.join(os.path.abspath(self.get_finalized_command("build").build_temp),
                             "cmake")
        stage = os.path.join(build, "stage")
        cmake = os.environ.get("CMAKE", "cmake")
        extra = os.environ.get("MASKJPEG_CMAKE_ARGS", "").split()
        subprocess.check_call([cmake, "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                               "-DMASKJPEG_BUILD_TESTS=OFF", "-DMASKJPEG_BUILD_TOOLS=OFF",
                               "-DCMAKE_INSTALL_LIBDIR=lib", "-DCMAKE_INSTALL_BINDIR=bin"] + extra)
        subprocess.check_call([cmake, "--build", build, "--config", "Release",
                               "--target", "maskjpeg", "-j", str(os.cpu_count() or 2)])
        subprocess.check_call([cmake, "--install", build, "--config", "Release",
                               "--prefix", stage])
        built = os.path.join(stage, "bin" if sys.platform == "win32" else "lib", LIBRARY)
        package = os.path.join(self.build_lib, "maskjpeg")
        # copyfile follows the soname link: the package holds one real file.
        shutil.copyfile(built, os.path.join(package, LIBRARY))
        with open(os.path.join(package, "_version.py"), "w") as out:
            out.write("__version__ = %r\n" % header_version())


class BinaryDistribution(Distribution):
    """The package carries a native library, so its wheel is per platform."""

    def has_ext_modules(self):
        return True


commands = {"build_py": BuildWithLibrary}
try:
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        """Tagged for the platform but any Python 3: the library is loaded
        through ctypes, not built against one Python's ABI."""

        def get_tag(self):
            return ("py3", "none", super().get_tag()[2])

    commands["bdist_wheel"] = PlatformWheel
except ImportError:
    pass

setup(
    version=header_version(),
    cmdclass=commands,
    distclass=BinaryDistribution,
    # setuptools' own build tree, apart from the CMake ones in build*/.
    options={"build": {"build_base": "build-python"}},
)
