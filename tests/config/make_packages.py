#!/usr/bin/env python3
"""Makes the packages that the package and live checks are tested on, with the tools publishers
use (Python's zipfile, Info-ZIP zip, 7-Zip), in OUTDIR; OUTDIR is also the test server's root.

Usage: make_packages.py OUTDIR BASE   (BASE: https://HOST:PORT of the test server over OUTDIR)
"""

import hashlib
import os
import shutil
import subprocess
import sys
import zipfile

PROGRAM = b"MZ" + b"LumaDesk program " * 2000  # compressible, so that 7-Zip compresses it

def document(url, application="LumaDesk.exe", sign="0"):
    return ('{"package_name":"lumadesk","windows":{"application_name":"%s",'
            '"desktop_shortcut":"LumaDesk","version":"2.4.1","url":"%s","sign":"%s"}}\n'
            % (application, url, sign))


def sha256_of(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(data.encode() if isinstance(data, str) else data)


def run(command, cwd):
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def python_zip(path, names, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w", method) as archive:
        for name in names:
            archive.writestr(name, PROGRAM if name.endswith(".exe") else b"data")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1])
    base = sys.argv[2]
    for tool in ("zip", "7z"):
        if not shutil.which(tool):
            sys.exit("make_packages: %s is missing (Debian: zip, p7zip-full)" % tool)
    shutil.rmtree(out, ignore_errors=True)
    app = os.path.join(out, "src", "LumaDesk")  # a folder named like the program
    write(os.path.join(app, "LumaDesk.exe"), PROGRAM)
    write(os.path.join(app, "data", "数据.txt"), "data")
    write(os.path.join(app, "readme.txt"), "readme")
    at = lambda name: os.path.join(out, name)

    write(at("document.json"), document("https://cdn.example.com/lumadesk-2.4.1.zip"))
    python_zip(at("python.zip"), ["LumaDesk.exe", "data/", "data/数据.txt", "readme.txt"])
    run(["zip", "-qr", at("infozip.zip"), "."], app)
    run(["zip", "-qr", at("folder.zip"), "LumaDesk"], os.path.dirname(app))
    run(["zip", "-q", "-P", "secret", at("encrypted.zip"), "LumaDesk.exe", "readme.txt"], app)
    os.symlink("LumaDesk.exe", os.path.join(app, "link.exe"))
    run(["zip", "-qy", at("symlink.zip"), "LumaDesk.exe", "link.exe"], app)
    os.remove(os.path.join(app, "link.exe"))
    for name, method in (("7z-deflate", "Deflate"), ("7z-deflate64", "Deflate64"),
                         ("7z-lzma", "LZMA")):
        run(["7z", "a", "-tzip", "-mm=" + method, at(name + ".zip"), "."], app)

    # A name in GBK without the UTF-8 flag: zipfile flags every name outside ASCII, so a
    # placeholder of the same length is written and then replaced.
    python_zip(at("gbk.zip"), ["LumaDesk.exe", "XXXX.txt"])
    with open(at("gbk.zip"), "rb") as file:
        data = file.read().replace(b"XXXX.txt", "中文.txt".encode("gbk"))
    write(at("gbk.zip"), data)
    python_zip(at("case.zip"), ["LumaDesk.exe", "Readme.txt", "README.TXT"])
    python_zip(at("reserved.zip"), ["LumaDesk.exe", "CON.txt", "sub/aux", "nul"])
    python_zip(at("long-path.zip"), ["LumaDesk.exe", "assets/" + "long-folder-name/" * 12 + "x.txt"])
    python_zip(at("no-app.zip"), ["readme.txt", "data/a.txt"])
    # More than 65535 entries: the end record is in its ZIP64 form.
    python_zip(at("zip64.zip"), ["LumaDesk.exe"] + ["f/%05d" % i for i in range(65535)],
               zipfile.ZIP_STORED)
    # A self-extractor's stub before the archive.
    with open(at("python.zip"), "rb") as file:
        write(at("prefixed.zip"), b"MZ stub " * 512 + file.read())
    write(at("not-a-zip.zip"), "<html><body>404 Not Found</body></html>\n")
    with open(at("python.zip"), "rb") as file:
        data = file.read()
    write(at("cut.zip"), data[: len(data) // 2])

    # A document whose sign holds python.zip's SHA-256, as tools/release writes it (upper case:
    # the hash is compared without letter case).
    python_hash = sha256_of(at("python.zip"))
    write(at("document-hash.json"), document("https://cdn.example.com/lumadesk-2.4.1.zip",
                                             sign=python_hash.upper()))

    # The documents that the live tests put in place as app/lumadesk/version.json.
    write(at("live/good.json"), document(base + "/python.zip", sign=python_hash))
    write(at("live/stale-package.json"),
          document(base + "/no-app.zip", application="readme.txt", sign=python_hash))
    write(at("live/missing-package.json"), document(base + "/no-such-package.zip"))
    write(at("live/no-app.json"), document(base + "/no-app.zip"))
    write(at("live/short-package.json"), document(base + "/test/close?after=1000&size=5000"))


if __name__ == "__main__":
    main()
