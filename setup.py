"""Builds the shared library with CMake and puts it inside the package.

The rest of the package's description is in pyproject.toml. The version is
the one in include/maskjpeg.h. Extra CMake arguments can be given in the
MASKJPEG_CMAKE_ARGS environment variable (split on spaces).
"""
import os
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = os.path.dirname(os.path.abspath(__file__))

# The package itself knows the library's file name on each platform and
# reads the version from the header; importing it loads no library.
sys.path.insert(0, os.path.join(ROOT, "python"))
import maskjpeg  # noqa: E402


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
        built = os.path.join(stage, "bin" if sys.platform == "win32" else "lib", maskjpeg.SONAME)
        package = os.path.join(self.build_lib, "maskjpeg")
        # copyfile follows the soname link: the package holds one real file.
        shutil.copyfile(built, os.path.join(package, maskjpeg.SONAME))
        with open(os.path.join(package, "_version.py"), "w") as out:
            out.write("__version__ = %r\n" % maskjpeg.__version__)


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
    version=maskjpeg.__version__,
    cmdclass=commands,
    distclass=BinaryDistribution,
    # setuptools' own build tree, apart from the CMake ones in build*/.
    options={"build": {"build_base": "build-python"}},
)
