"""A PEP 517 build backend that builds the package "tav" with the project's
CMake build and packs it into a wheel. It needs no package beyond the
standard library (no setuptools or wheel), so that

    python3 -m pip install --no-build-isolation --target DIR .

works offline, at the project's root, with any Python 3.8+ that has pip.
TAV_BUILD_JOBS sets the number of compile jobs (2 by default);
TAV_CMAKE_BUILD names a CMake build folder of the project to build the
module in (build/release, say), so that what is built there already is not
built again. The metadata step builds nothing; the source distribution
holds the whole CMake project as it stands in the repository, with the
pyproject.toml at its top that points here."""

import base64
import glob
import hashlib
import io
import os
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

NAME = "tav"
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PACKAGE_FILES = ["__init__.py", "__init__.pyi", "__main__.py", "py.typed"]
# What the module's CMake build reads: the project without its tests, web
# page and benchmarks.
SDIST_PARTS = ["pyproject.toml", "CMakeLists.txt", "CMakePresets.json", "VERSION", "LICENSE",
               "README.md",
               "cmake", "include", "src", "apps", "python"]


def _summary():
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("description = "):
                return line.split("=", 1)[1].strip().strip('"')
    raise RuntimeError("pyproject.toml has no description")


def _version():
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        return f.read().strip()


def _dist_info():
    return "%s-%s.dist-info" % (NAME, _version())


def _tag():
    python = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "%s-%s-%s" % (python, python, platform)


def _metadata():
    with open(os.path.join(HERE, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\n"
            "Summary: %s\n"
            "License: MIT\nRequires-Python: >=3.8\nDescription-Content-Type: text/markdown\n\n%s"
            % (NAME, _version(), _summary(), readme))


def _build_module(work):
    reused = os.environ.get("TAV_CMAKE_BUILD")
    build = os.path.abspath(reused) if reused else os.path.join(work, "cmake")
    if not reused:
        subprocess.check_call([
            "cmake", "-S", ROOT, "-B", build,
            "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON",
            "-DTAV_BUILD_TESTS=OFF", "-DTAV_BUILD_PYTHON=ON",
            "-DPython_EXECUTABLE=" + sys.executable], stdout=sys.stderr)
    subprocess.check_call(["cmake", "--build", build, "--target", "tav_python", "--parallel",
                           os.environ.get("TAV_BUILD_JOBS", "2")], stdout=sys.stderr)
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    built = glob.glob(os.path.join(build, "python", NAME, "_tav" + suffix))
    if len(built) != 1:
        raise RuntimeError("the module %s/_tav%s was not built" % (NAME, suffix))
    return built[0], "%s/_tav%s" % (NAME, suffix)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d\n" % (name, digest, len(data))


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    dist_info = os.path.join(metadata_directory, _dist_info())
    os.makedirs(dist_info, exist_ok=True)
    with open(os.path.join(dist_info, "METADATA"), "w", encoding="utf-8") as f:
        f.write(_metadata())
    with open(os.path.join(dist_info, "LICENSE"), "wb") as f:
        f.write(_read(os.path.join(ROOT, "LICENSE")))
    return _dist_info()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    dist_info = _dist_info()
    wheel_name = "%s-%s-%s.whl" % (NAME, _version(), _tag())
    with tempfile.TemporaryDirectory(prefix="tav-wheel-") as work:
        module, module_name = _build_module(work)
        files = [(module_name, _read(module))]
        files += [("%s/%s" % (NAME, f), _read(os.path.join(HERE, NAME, f)))
                  for f in PACKAGE_FILES]
        files.append((dist_info + "/METADATA", _metadata().encode()))
        files.append((dist_info + "/LICENSE", _read(os.path.join(ROOT, "LICENSE"))))
        files.append((dist_info + "/WHEEL", (
            "Wheel-Version: 1.0\nGenerator: tav build_backend\nRoot-Is-Purelib: false\n"
            "Tag: %s\n" % _tag()).encode()))
        record = "".join(_record_line(n, d) for n, d in files) + dist_info + "/RECORD,,\n"
        files.append((dist_info + "/RECORD", record.encode()))
        with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w",
                             zipfile.ZIP_DEFLATED) as wheel:
            for name, data in files:
                wheel.writestr(name, data)
    return wheel_name


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (NAME, _version())
    sdist_name = base + ".tar.gz"

    def add(tar, name, data):
        info = tarfile.TarInfo("%s/%s" % (base, name))
        info.size, info.mode, info.mtime = len(data), 0o644, 0
        tar.addfile(info, io.BytesIO(data))

    with tarfile.open(os.path.join(sdist_directory, sdist_name), "w:gz") as tar:
        add(tar, "PKG-INFO", _metadata().encode())
        for part in SDIST_PARTS:
            top = os.path.join(ROOT, part)
            paths = [top] if os.path.isfile(top) else sorted(
                os.path.join(d, f) for d, dirs, files in os.walk(top)
                if "__pycache__" not in d for f in files)
            for path in paths:
                add(tar, os.path.relpath(path, ROOT).replace(os.sep, "/"), _read(path))
    return sdist_name
