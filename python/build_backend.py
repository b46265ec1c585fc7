"""A PEP 517 build backend that builds the module "tav" with the project's
CMake build and packs it into a wheel. It needs no package beyond the
standard library (no setuptools or wheel), so that

    python3 -m pip install --no-build-isolation --target DIR .

works offline with any Python 3.8+ that has pip. TAV_BUILD_JOBS sets the
number of compile jobs (2 by default)."""

import base64
import glob
import hashlib
import os
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

NAME = "tav"
VERSION = "1.0.0"
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def _tag():
    python = "cp%d%d" % sys.version_info[:2]
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    return "%s-%s-%s" % (python, python, platform)


def _metadata():
    with open(os.path.join(HERE, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\n"
            "Summary: Plaine & Easie incipit records to MusicXML 1.0 documents, in memory\n"
            "License: MIT\nRequires-Python: >=3.8\nDescription-Content-Type: text/markdown\n\n%s"
            % (NAME, VERSION, readme))


def _build_module(work):
    build = os.path.join(work, "cmake")
    subprocess.check_call([
        "cmake", "-S", ROOT, "-B", build,
        "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON",
        "-DTAV_BUILD_TESTS=OFF", "-DTAV_BUILD_PYTHON=ON",
        "-DPython_EXECUTABLE=" + sys.executable], stdout=sys.stderr)
    subprocess.check_call(["cmake", "--build", build, "--target", "tav_python", "--parallel",
                           os.environ.get("TAV_BUILD_JOBS", "2")], stdout=sys.stderr)
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    built = glob.glob(os.path.join(build, "python", NAME + suffix))
    if len(built) != 1:
        raise RuntimeError("the module %s%s was not built" % (NAME, suffix))
    return built[0], NAME + suffix


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d\n" % (name, digest, len(data))


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    dist_info = "%s-%s.dist-info" % (NAME, VERSION)
    wheel_name = "%s-%s-%s.whl" % (NAME, VERSION, _tag())
    with tempfile.TemporaryDirectory(prefix="tav-wheel-") as work:
        module, module_name = _build_module(work)
        with open(module, "rb") as f:
            files = [(module_name, f.read())]
        files.append((dist_info + "/METADATA", _metadata().encode()))
        with open(os.path.join(ROOT, "LICENSE"), "rb") as f:
            files.append((dist_info + "/LICENSE", f.read()))
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
    raise NotImplementedError("the module is built from the project's source tree")
