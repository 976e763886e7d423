"""A build backend that needs only the standard library: it packs the
`orvane` package (its .py files and kinds.json, the copy of protocol/kinds.json
that protocol/generate.py --python writes) into a wheel, so that pip
installs it without fetching a build tool from the network."""

import base64
import hashlib
import pathlib
import tarfile
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
NAME, VERSION = "orvane", "0.1"
DIST_INFO = f"{NAME}-{VERSION}.dist-info"
METADATA = (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {VERSION}\n"
            "Summary: Python client for simulations that drive the Orvane 3D viewer\n"
            "Requires-Python: >=3.11\n")
WHEEL = "Wheel-Version: 1.0\nGenerator: wheelmaker\nRoot-Is-Purelib: true\nTag: py3-none-any\n"


def _package_files():
    return sorted(p for p in (ROOT / NAME).rglob("*")
                  if p.is_file() and p.suffix in (".py", ".json") and "__pycache__" not in p.parts)


def _hash(data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"sha256={digest},{len(data)}"


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    info = pathlib.Path(metadata_directory) / DIST_INFO
    info.mkdir(parents=True, exist_ok=True)
    (info / "METADATA").write_text(METADATA)
    (info / "WHEEL").write_text(WHEEL)
    return DIST_INFO


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    name = f"{NAME}-{VERSION}-py3-none-any.whl"
    records = []
    with zipfile.ZipFile(pathlib.Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        def add(arcname, data):
            wheel.writestr(arcname, data)
            records.append(f"{arcname},{_hash(data)}")
        for path in _package_files():
            add(path.relative_to(ROOT).as_posix(), path.read_bytes())
        add(f"{DIST_INFO}/METADATA", METADATA.encode())
        add(f"{DIST_INFO}/WHEEL", WHEEL.encode())
        records.append(f"{DIST_INFO}/RECORD,,")
        wheel.writestr(f"{DIST_INFO}/RECORD", "\n".join(records) + "\n")
    return name


def build_sdist(sdist_directory, config_settings=None):
    name = f"{NAME}-{VERSION}"
    with tarfile.open(pathlib.Path(sdist_directory) / f"{name}.tar.gz", "w:gz") as sdist:
        for path in [ROOT / "pyproject.toml", ROOT / "_build" / "wheelmaker.py", *_package_files()]:
            sdist.add(path, f"{name}/{path.relative_to(ROOT).as_posix()}")
    return f"{name}.tar.gz"
