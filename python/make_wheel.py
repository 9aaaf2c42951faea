"""Packs the built package directory into a wheel that pip installs offline.

    make_wheel.py BUILD_DIR VERSION OUT_DIR

BUILD_DIR/kemro holds the package as the build assembled it (the Python
files and the extension module). The wheel, named after the interpreter that
runs this script, goes to OUT_DIR; it carries the metadata pip needs
(METADATA with VERSION, WHEEL, RECORD with every file's hash) and nothing to
build.
"""

import base64
import hashlib
import pathlib
import re
import sys
import sysconfig
import zipfile

SUMMARY = "Exact adverse-impact analysis for personnel selection"
REQUIRES = ["numpy", "pandas"]


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def main():
    build, version, out = pathlib.Path(sys.argv[1]), sys.argv[2], pathlib.Path(sys.argv[3])
    if not re.fullmatch(r"[0-9]+(\.[0-9]+)+", version):
        sys.exit(f"make_wheel.py: VERSION holds '{version}', not a version number")
    package = build / "kemro"
    files = sorted(p for p in package.iterdir()
                   if p.is_file() and (p.suffix in (".py", ".pyi", ".so") or p.name == "py.typed"))
    if not any(p.suffix == ".so" for p in files):
        sys.exit(f"make_wheel.py: no extension module in {package}")
    python = f"cp{sys.version_info.major}{sys.version_info.minor}"
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    tag = f"{python}-{python}-{platform}"
    info = f"kemro-{version}.dist-info"
    metadata = "\n".join(["Metadata-Version: 2.1", "Name: kemro", f"Version: {version}",
                          f"Summary: {SUMMARY}", "Requires-Python: >=3.9"]
                         + [f"Requires-Dist: {r}" for r in REQUIRES]) + "\n"
    wheel = ("Wheel-Version: 1.0\nGenerator: kemro make_wheel.py\nRoot-Is-Purelib: false\n"
             f"Tag: {tag}\n")
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("kemro-*.whl"):
        old.unlink()
    target = out / f"kemro-{version}-{tag}.whl"
    records = []
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        for path in files:
            name = f"kemro/{path.name}"
            data = path.read_bytes()
            z.writestr(name, data)
            records.append(record_line(name, data))
        for name, text in ((f"{info}/METADATA", metadata), (f"{info}/WHEEL", wheel)):
            z.writestr(name, text)
            records.append(record_line(name, text.encode()))
        records.append(f"{info}/RECORD,,")
        z.writestr(f"{info}/RECORD", "\n".join(records) + "\n")
    print(target)


if __name__ == "__main__":
    main()
