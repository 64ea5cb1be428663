#!/usr/bin/env python3
"""tools/release with the real config-check: what a good release holds, that the same folder
gives the same bytes, and that every refusal leaves nothing behind."""
import hashlib
import importlib.machinery
import importlib.util
import json
import os
import shutil
import stat
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile
import zlib

TOOL = os.environ["RELEASE_TOOL"]
CONFIG_CHECK = os.environ["CONFIG_CHECK"]
EPOCH = 1700000000
EPOCH_FIELDS = (2023, 11, 14, 22, 13, 20)
BASE = "https://cdn.example.com/app/lumadesk/packages/2.4/"
PACKAGE = ("app", "lumadesk", "packages", "2.4", "Luma-2.4.zip")
DOCUMENT = ("app", "lumadesk", "version.json")
# Incompressible bytes (stored) and very compressible ones (deflated).
NOISE = b"".join(hashlib.sha256(bytes([i])).digest() for i in range(128))
FILES = {"Luma.exe": b"MZ" + NOISE, "data/readme.txt": b"Sample package\r\n" * 50,
         "data/说明.txt": "示例程序\r\n".encode("utf-8"), "data/empty.txt": b""}
FOLDERS = ["data/", "logs/"]  # logs stays empty


def make_appdir(root):
    appdir = os.path.join(root, "app")
    os.makedirs(os.path.join(appdir, "logs"))
    for name, data in FILES.items():
        os.makedirs(os.path.dirname(os.path.join(appdir, name)), exist_ok=True)
        with open(os.path.join(appdir, name), "wb") as f:
            f.write(data)
    return appdir


def release(appdir, outdir, *options, epoch=EPOCH, umask=None):
    """tools/release's result; appdir None for --document-only."""
    args = {"--package-name": "Luma", "--version": "2.4", "--application": "Luma.exe",
            "--shortcut": "极简桌面", "--base-url": BASE, "--config-check": CONFIG_CHECK}
    extra = []
    for option in options:
        key, _, value = option.partition("=")
        if key in args and value:
            args[key] = value
        else:
            extra.append(option)
    command = [TOOL] + [part for pair in args.items() for part in pair] + extra
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    folders = [outdir] if appdir is None else [appdir, outdir]
    return subprocess.run(command + folders, capture_output=True, text=True, env=env,
                          preexec_fn=None if umask is None else lambda: os.umask(umask))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree(folder):
    return sorted(os.path.relpath(os.path.join(top, name), folder)
                  for top, _, files in os.walk(folder) for name in files)


class GoodRelease(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp()
        cls.out = os.path.join(cls.root, "out")
        cls.result = release(make_appdir(cls.root), cls.out)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root)

    def setUp(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)

    def test_the_output_is_the_object_stores_layout_and_nothing_else(self):
        self.assertEqual(tree(self.out), sorted([os.path.join(*DOCUMENT), os.path.join(*PACKAGE)]))
        self.assertEqual(sorted(os.listdir(self.root)), ["app", "out"])  # no staging left

    def test_the_document_is_compact_and_names_the_package_by_address_and_hash(self):
        package = read(os.path.join(self.out, *PACKAGE))
        expected = ('{"package_name":"Luma","windows":{"application_name":"Luma.exe",'
                    '"desktop_shortcut":"极简桌面","version":"2.4","url":"' + BASE +
                    'Luma-2.4.zip","sign":"' + hashlib.sha256(package).hexdigest() + '"}}\n')
        self.assertEqual(read(os.path.join(self.out, *DOCUMENT)).decode("utf-8"), expected)
        # Both reading paths of the installer agree on it: no warning, and the same values.
        check = subprocess.run([CONFIG_CHECK, os.path.join(self.out, *DOCUMENT)],
                               capture_output=True)
        report = json.loads(check.stdout)
        self.assertEqual(check.returncode, 0)
        self.assertEqual((report["parser"], report["warnings"]), ("regex", []))
        self.assertEqual(report["url"], BASE + "Luma-2.4.zip")

    def test_the_package_holds_the_folder_sorted_utf8_flagged_and_at_one_time(self):
        path = os.path.join(self.out, *PACKAGE)
        with zipfile.ZipFile(path) as package:
            self.assertIsNone(package.testzip())
            entries = package.infolist()
            self.assertEqual([e.filename for e in entries], sorted(list(FILES) + FOLDERS))
            raw = read(path)
            for entry in entries:
                local_flags = struct.unpack_from("<H", raw, entry.header_offset + 6)[0]
                self.assertEqual((entry.flag_bits, local_flags), (0x800, 0x800), entry.filename)
                self.assertEqual(entry.date_time, EPOCH_FIELDS, entry.filename)
                self.assertIn(entry.compress_type, (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED))
                self.assertEqual(entry.external_attr >> 16, 0o40755 if entry.is_dir() else 0o100644)
                if not entry.is_dir():
                    self.assertEqual(package.read(entry), FILES[entry.filename])
            methods = {e.filename: e.compress_type for e in entries}
            self.assertEqual(methods["data/readme.txt"], zipfile.ZIP_DEFLATED)
            self.assertEqual(methods["Luma.exe"], zipfile.ZIP_STORED)


class SameBytes(unittest.TestCase):
    def test_the_same_folder_gives_the_same_release_whatever_its_files_times(self):
        with tempfile.TemporaryDirectory() as root:
            appdir = make_appdir(root)
            first = os.path.join(root, "first")
            self.assertEqual(release(appdir, first).returncode, 0)
            for top, folders, files in os.walk(appdir):
                for name in folders + files:
                    os.utime(os.path.join(top, name), (time.time() - 86400 * 400,) * 2)
            second = os.path.join(root, "second")
            self.assertEqual(release(appdir, second).returncode, 0)
            for parts in (PACKAGE, DOCUMENT):
                self.assertEqual(read(os.path.join(first, *parts)),
                                 read(os.path.join(second, *parts)))
            # Into the same folder again: the published package is the same, so it stays.
            again = release(appdir, first)
            self.assertEqual(again.returncode, 0, again.stderr)
            self.assertIn("kept " + os.path.join(first, *PACKAGE), again.stdout)


class Modes(unittest.TestCase):
    def test_outdir_and_its_folders_get_the_modes_the_umask_gives(self):
        # (umask, folders, files)
        for umask, folder_mode, file_mode in ((0o022, 0o755, 0o644), (0o027, 0o750, 0o640)):
            with self.subTest(oct(umask)), tempfile.TemporaryDirectory() as root:
                out = os.path.join(root, "out")
                result = release(make_appdir(root), out, umask=umask)
                self.assertEqual(result.returncode, 0, result.stderr)
                for top, folders, files in os.walk(out):
                    self.assertEqual(stat.S_IMODE(os.stat(top).st_mode), folder_mode, top)
                    for name in files:
                        path = os.path.join(top, name)
                        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), file_mode, path)


class DocumentOnly(unittest.TestCase):
    """Rolling back: version.json pointed again at a package the store holds already."""

    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        self.out = os.path.join(self.root, "out")
        appdir = make_appdir(self.root)
        for version in ("2.4", "2.5"):
            result = release(appdir, self.out, "--version=" + version,
                             "--base-url=https://cdn.example.com/p/" + version + "/")
            self.assertEqual(result.returncode, 0, result.stderr)
        self.published = {name: read(os.path.join(self.out, name)) for name in tree(self.out)}

    def document_only(self, *options):
        return release(None, self.out, "--document-only", "--version=2.4",
                       "--base-url=https://cdn.example.com/p/2.4/", *options)

    def test_the_document_points_at_the_kept_package_and_nothing_else_changes(self):
        result = self.document_only()
        self.assertEqual(result.returncode, 0, result.stderr)
        package = os.path.join("p", "2.4", "Luma-2.4.zip")
        self.assertIn("kept " + os.path.join(self.out, package), result.stdout)
        document = json.loads(read(os.path.join(self.out, *DOCUMENT)))["windows"]
        self.assertEqual((document["version"], document["url"], document["sign"]),
                         ("2.4", "https://cdn.example.com/p/2.4/Luma-2.4.zip",
                          hashlib.sha256(self.published[package]).hexdigest()))
        self.assertEqual(tree(self.out), sorted(self.published))
        for name, data in self.published.items():
            if name != os.path.join(*DOCUMENT):
                self.assertEqual(read(os.path.join(self.out, name)), data, name)

    def test_refusals_leave_the_document_as_it_was(self):
        # (case, options, exit status, what the message says)
        cases = [("no such package", ["--version=3.0", "--base-url=https://cdn.example.com/p/3.0/"],
                  1, "is not a file: --document-only"),
                 ("application not in the package", ["--application=Other.exe"], 1,
                  "does not find the application"),
                 ("an APPDIR as well", [self.root], 2, "with --document-only OUTDIR alone")]
        for case, options, status, message in cases:
            with self.subTest(case):
                result = self.document_only(*options)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(read(os.path.join(self.out, *DOCUMENT)),
                                 self.published[os.path.join(*DOCUMENT)])
                self.assertEqual(sorted(os.listdir(self.root)), ["app", "out"])


def move_into_subfolder(appdir):
    os.mkdir(appdir + "-wrapped")
    os.rename(appdir, os.path.join(appdir + "-wrapped", "Luma"))
    os.rename(appdir + "-wrapped", appdir)


class Refusals(unittest.TestCase):
    # (case, change to the folder, options, exit status, what the message says)
    Cases = [
        ("no application", None, ["--application=Missing.exe"], 1, "not a file at the root"),
        ("application in a subfolder", move_into_subfolder, [], 1, "it is at Luma/Luma.exe"),
        ("reserved name as version", None, ["--version=CON"], 1, "error:"),
        ("http base url", None, ["--base-url=http://cdn.example.com/p/"], 1, "--allow-warnings"),
        ("quotation mark in a value", None, ['--shortcut=a"b'], 1, "verbatim"),
        ("base url leaving its folder", None, ["--base-url=https://h/a/../../"], 1, "'..'"),
        ("symbolic link", lambda d: os.symlink("Luma.exe", os.path.join(d, "link.exe")), [], 1,
         "symbolic link"),
        ("names differing only in letter case",
         lambda d: shutil.copy(os.path.join(d, "data", "readme.txt"),
                               os.path.join(d, "data", "README.txt")), [], 1, "error:"),
        ("no config-check", None, ["--config-check=/nonexistent/config-check"], 2, "not found"),
        # subprocess passes the lone surrogate on as the byte it stands for, as a shell would.
        ("a name that is not UTF-8", None, ["--package-name=Luma\udcff"], 2,
         "'Luma\\xff' is not valid UTF-8"),
    ]

    def test_each_refusal_says_why_and_writes_nothing(self):
        for case, change, options, status, message in self.Cases:
            with self.subTest(case), tempfile.TemporaryDirectory() as root:
                appdir = make_appdir(root)
                if change:
                    change(appdir)
                result = release(appdir, os.path.join(root, "out"), *options)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(os.listdir(root), ["app"])

    def test_a_published_package_with_other_bytes_is_not_replaced(self):
        with tempfile.TemporaryDirectory() as root:
            out = os.path.join(root, "out")
            os.makedirs(os.path.join(out, *PACKAGE[:-1]))
            with open(os.path.join(out, *PACKAGE), "wb") as f:
                f.write(b"published earlier")
            result = release(make_appdir(root), out)
            self.assertEqual(result.returncode, 1)
            self.assertIn("exists with other contents", result.stderr)
            self.assertEqual(tree(out), [os.path.join(*PACKAGE)])
            self.assertEqual(read(os.path.join(out, *PACKAGE)), b"published earlier")
            self.assertEqual(sorted(os.listdir(root)), ["app", "out"])

    def test_warnings_are_published_only_when_allowed(self):
        with tempfile.TemporaryDirectory() as root:
            out = os.path.join(root, "out")
            result = release(make_appdir(root), out, "--base-url=http://cdn.example.com/p/",
                             "--allow-warnings")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("warning:", result.stderr)
            self.assertTrue(os.path.isfile(os.path.join(out, "p", "Luma-2.4.zip")))


def make_key(folder, name, curve="prime256v1"):
    """An EC private key and its public half, made by openssl: (private, public) paths."""
    private, public = os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".pub.pem")
    subprocess.run(["openssl", "ecparam", "-name", curve, "-genkey", "-noout", "-out", private],
                   check=True)
    subprocess.run(["openssl", "ec", "-in", private, "-pubout", "-out", public], check=True,
                   capture_output=True)
    return private, public


def config_check(*args):
    result = subprocess.run([CONFIG_CHECK, *args], capture_output=True)
    return result.returncode, json.loads(result.stdout) if result.stdout else result.stderr


class Signed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp()
        cls.keys = [make_key(cls.root, name) for name in ("current", "next", "stranger")]
        cls.out = os.path.join(cls.root, "out")
        cls.result = release(make_appdir(cls.root), cls.out, "--signing-key", cls.keys[0][0],
                             "--signing-key", cls.keys[1][0])
        cls.document = os.path.join(cls.out, *DOCUMENT)
        cls.package = os.path.join(cls.out, *PACKAGE)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root)

    def setUp(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)

    def test_sign_holds_an_entry_per_key_that_config_check_verifies(self):
        self.assertEqual(tree(self.out), sorted([os.path.join(*DOCUMENT), os.path.join(*PACKAGE)]))
        sign = json.loads(read(self.document))["windows"]["sign"]
        self.assertRegex(sign, "^es256:[0-9a-f]{16}:[0-9a-f]{128} es256:[0-9a-f]{16}:[0-9a-f]{128}$")
        for _, public in self.keys[:2]:
            code, report = config_check("--public-key", public, "--package", self.package,
                                        self.document)
            self.assertEqual((code, report["signature"]["verified"]), (0, True), report)
            self.assertIn(report["signature"]["key"], sign)

    def test_config_check_refuses_what_the_keys_did_not_sign(self):
        stranger = self.keys[2][1]
        code, report = config_check("--public-key", stranger, self.document)
        self.assertEqual(code, 1)
        self.assertIn("no well-formed es256 entry", report["errors"][0])
        # One bit of the package changed.
        other = os.path.join(self.root, "other.zip")
        package = bytearray(read(self.package))
        package[package.index(NOISE)] ^= 1
        with open(other, "wb") as f:
            f.write(package)
        code, report = config_check("--public-key", self.keys[0][1], "--package", other,
                                    self.document)
        self.assertEqual((code, report["signature"]["verified"]), (1, False), report)
        self.assertIn("verifies over this package", " ".join(report["errors"]))

    def test_bad_signing_keys_are_refused_before_anything_is_written(self):
        p384, _ = make_key(self.root, "p384", curve="secp384r1")
        current, public = self.keys[0]
        cases = [([p384], "not an EC P-256 key"), ([public], "no unencrypted PEM private key"),
                 ([os.path.join(self.root, "missing.pem")], "No such file"),
                 ([current, current], "a key given already")]
        for keys, message in cases:
            with self.subTest(message), tempfile.TemporaryDirectory() as root:
                options = [part for key in keys for part in ("--signing-key", key)]
                result = release(make_appdir(root), os.path.join(root, "out"), *options)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertEqual(os.listdir(root), ["app"])


    def test_a_value_with_a_control_character_is_not_signed(self):
        with tempfile.TemporaryDirectory() as root:
            result = release(make_appdir(root), os.path.join(root, "out"), "--shortcut=a\x1fb",
                             "--signing-key", self.keys[0][0])
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn("control character", result.stderr)
            self.assertEqual(os.listdir(root), ["app"])


def load_tool():
    loader = importlib.machinery.SourceFileLoader("release_tool", TOOL)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


class Zip64(unittest.TestCase):
    """Past 4 GiB on sparse files: a file of 4 GiB - 1 bytes (the first size a 32-bit field
    cannot hold) stands in the folder as a hole, and its data is written as a hole too, so that
    the files after it lie past 4 GiB without anything of that size being read or written."""

    def test_sizes_and_offsets_past_32_bits_are_read_back_by_zipfile_and_config_check(self):
        tool = load_tool()
        size = tool.ZIP32_LIMIT
        zeros, crc = memoryview(bytes(1 << 24)), 0
        for at in range(0, size, len(zeros)):
            crc = zlib.crc32(zeros[:min(len(zeros), size - at)], crc)
        with tempfile.TemporaryDirectory() as root:
            appdir = make_appdir(root)
            big = os.path.join(appdir, "big.bin")
            with open(big, "wb") as f:
                f.truncate(size)

            def pack(source, out):
                if source != big:
                    return tool.pack_file(source, out)
                out.seek(size, os.SEEK_CUR)
                return tool.STORED, crc, size, size

            package, document = os.path.join(root, "package.zip"), os.path.join(root, "v.json")
            tool.write_package(package, tool.list_folder(appdir), EPOCH, pack)
            with open(document, "w", encoding="utf-8") as f:
                f.write(tool.compact_document("Luma", "Luma.exe", "Luma", "2.4",
                                              "https://cdn.example.com/Luma-2.4.zip", ""))
            with zipfile.ZipFile(package) as archive:
                entries = {entry.filename: entry for entry in archive.infolist()}
                self.assertEqual(entries["big.bin"].file_size, size)
                self.assertGreater(entries["logs/"].header_offset, size)
                for name, data in FILES.items():
                    self.assertEqual(archive.read(name), data, name)
            code, report = config_check("--package", package, document)
            self.assertEqual(code, 0, report)
            self.assertEqual((report["package"]["entries"], report["package"]["bytes"]),
                             (len(FILES) + len(FOLDERS) + 1,
                              size + sum(len(data) for data in FILES.values())))


class E2eRelease(unittest.TestCase):
    def test_the_sample_release_is_addressed_to_the_local_test_server(self):
        with tempfile.TemporaryDirectory() as root:
            program = os.path.join(root, "sample_app.exe")
            with open(program, "wb") as f:
                f.write(b"MZ" + NOISE)
            out = os.path.join(root, "www")
            script = [os.environ["E2E_SCRIPT"], program, out, "--config-check", CONFIG_CHECK]
            for run in range(2):  # a second run renews its own package
                result = subprocess.run(script, capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stderr)
            document = json.loads(read(os.path.join(out, *DOCUMENT)))
            self.assertEqual(document["windows"]["url"],
                             "https://127.0.0.1:47443/packages/ReleaseSuite-1.0.zip")
            with zipfile.ZipFile(os.path.join(out, "packages", "ReleaseSuite-1.0.zip")) as package:
                self.assertEqual(package.namelist(), ["data/", "data/readme.txt", "data/说明.txt",
                                                      "sample_app.exe"])


if __name__ == "__main__":
    unittest.main()
