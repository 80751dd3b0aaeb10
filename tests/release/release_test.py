#!/usr/bin/python3
"""Checks of the release packages: what the exe imports and carries, and the installer under
Wine (silent install for all users and for the current user, the program started through its
Start-menu shortcut, silent uninstall).

Usage: release_test.py OUT_DIR VTDRIVER_EXE
OUT_DIR holds stage/varnocle.exe and varnocle-<version>-setup.exe (made by scripts/package).
Runs in its own Wine prefix (a copy of the tests' prefix, made again when scripts/setup
brings that one up to date), on the current DISPLAY.
"""
import glob
import os
import shutil
import struct
import subprocess
import sys
import time
import unittest

import pefile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))
import demo_mailbox  # noqa: E402  (settings files as the program writes them)

OUT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""
VTDRIVER = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else ""
# The Wine variables as the scripts set them (scripts/lib/prefixes.sh is the one place), with
# the tests' prefix, never the one scripts/run keeps the user's settings in.
WINE_ENV = dict(line.split("=", 1) for line in subprocess.run(
    [os.path.join(ROOT, "scripts", "test-env"), "env"], check=True, stdin=subprocess.DEVNULL,
    stdout=subprocess.PIPE, text=True).stdout.splitlines() if line.startswith("WINE"))
BASE_PREFIX = WINE_ENV["WINEPREFIX"]
PREFIX = BASE_PREFIX + "-release"
VERSION = "1.1.2"
SIZE_LIMIT = 6 * 1024 * 1024

# Libraries a static build must not need next to the exe.
FORBIDDEN = ("libstdc++", "libgcc", "libwinpthread", "libssl", "libcrypto", "zlib")


def exe_path():
    return os.path.join(OUT, "stage", "varnocle.exe")


def setup_path():
    return os.path.join(OUT, f"varnocle-{VERSION}-setup.exe")


class ReleaseExe(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(exe_path())

    def test_imports_only_system_dlls(self):
        system32 = os.path.join(BASE_PREFIX, "drive_c", "windows", "system32")
        present = {n.lower() for n in os.listdir(system32)}
        names = [e.dll.decode().lower() for e in self.pe.DIRECTORY_ENTRY_IMPORT]
        self.assertIn("kernel32.dll", names)
        for name in names:
            self.assertFalse(name.startswith(FORBIDDEN), name)
            self.assertIn(name, present, f"{name} is not a system DLL")

    def test_is_a_64_bit_gui_program(self):
        self.assertEqual(self.pe.FILE_HEADER.Machine, 0x8664)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, 2)  # Windows GUI, no console

    def test_version_record(self):
        info = self.pe.VS_FIXEDFILEINFO[0]
        version = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        self.assertEqual(version(info.FileVersionMS, info.FileVersionLS), (1, 1, 2, 0))
        self.assertEqual(version(info.ProductVersionMS, info.ProductVersionLS), (1, 1, 2, 0))

    def test_manifest(self):
        manifest = self.resource(pefile.RESOURCE_TYPE["RT_MANIFEST"], 1)
        self.assertIn(b"Microsoft.Windows.Common-Controls", manifest)
        self.assertIn(b'version="6.0.0.0"', manifest)
        self.assertIn(b'level="asInvoker"', manifest)
        self.assertIn(b">UTF-8</activeCodePage>", manifest)
        self.assertIn(b">PerMonitorV2, PerMonitor</dpiAwareness>", manifest)
        self.assertIn(b'<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>', manifest)

    def test_holds_no_folder_of_the_build_machine(self):
        # A folder compiled in (OpenSSL's for openssl.cnf, engines and modules) is looked for on
        # the user's current drive, where any user may create it. Only folders that
        # administrators alone can create may be named.
        with open(exe_path(), "rb") as f:
            data = f.read()
        cache = os.environ.get("VARNOCLE_CACHE", os.path.expanduser("~/.cache/varnocle"))
        folders = {ROOT, os.path.realpath(ROOT), cache, os.path.realpath(cache),
                   os.path.expanduser("~") + "/", "/root/", "/home/", "/usr/local/", "/tmp/",
                   "/openssl-", "/build/"}
        for folder in folders:
            for encoding in ("ascii", "utf-16-le"):
                self.assertNotIn(folder.encode(encoding), data, f"{folder} ({encoding})")

    def test_size(self):
        size = os.path.getsize(exe_path())
        print(f"\nvarnocle.exe: {size} bytes; setup: {os.path.getsize(setup_path())} bytes",
              file=sys.stderr)
        self.assertLess(size, SIZE_LIMIT)

    def resource(self, type_id, name_id):
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if entry.id != type_id:
                continue
            for name in entry.directory.entries:
                if name.id == name_id:
                    data = name.directory.entries[0].data.struct
                    return self.pe.get_data(data.OffsetToData, data.Size)
        self.fail(f"no resource {type_id}/{name_id}")


class PortableZip(unittest.TestCase):
    def test_holds_the_program_its_certificates_and_the_readme(self):
        import zipfile
        with zipfile.ZipFile(os.path.join(OUT, f"varnocle-{VERSION}-portable.zip")) as z:
            self.assertEqual(sorted(z.namelist()), ["README.txt", "cacert.pem", "varnocle.exe"])
            with open(exe_path(), "rb") as f:
                self.assertEqual(z.read("varnocle.exe"), f.read())
            self.assertIn(b"BEGIN CERTIFICATE", z.read("cacert.pem"))
            self.assertIn(b"\r\n", z.read("README.txt"))  # readable in Notepad


def ready_marks(prefix):
    """The marks scripts/setup leaves in a prefix it made; a copy lacking one is outdated."""
    return {os.path.basename(p) for p in glob.glob(os.path.join(prefix, ".varnocle-ready-*"))}


def lnk_working_dir(path):
    """The working folder stored in a shell link, or None."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    unicode = flags & 0x80
    pos = 0x4C
    if flags & 0x01:  # target id list
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 0x02:  # link info
        pos += struct.unpack_from("<I", data, pos)[0]
    for bit in (0x04, 0x08, 0x10):  # name, relative path, working folder
        if not flags & bit:
            continue
        count = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        size = count * (2 if unicode else 1)
        text = data[pos:pos + size].decode("utf-16-le" if unicode else "latin-1")
        pos += size
        if bit == 0x10:
            return text.rstrip("\0")
    return None


class Installer(unittest.TestCase):
    """One install/start/uninstall round per mode, in a private prefix."""

    @classmethod
    def setUpClass(cls):
        if not ready_marks(BASE_PREFIX) <= ready_marks(PREFIX):
            shutil.rmtree(PREFIX, ignore_errors=True)
            subprocess.run(["cp", "-a", BASE_PREFIX, PREFIX], check=True)
        cls.env = dict(os.environ, **WINE_ENV)
        cls.env["WINEPREFIX"] = PREFIX
        subprocess.run(["wineserver", "-p"], env=cls.env)
        # Wine's services start with the first program; started here with no pipes attached,
        # they cannot hold a later command's output open.
        subprocess.run(["wine", "cmd.exe", "/c", "exit"], env=cls.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        cls.drive_c = os.path.join(PREFIX, "drive_c")
        cls.user_dir = glob.glob(os.path.join(cls.drive_c, "users", "*", "AppData"))[0]
        cls.user_dir = os.path.dirname(cls.user_dir)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env)

    def wine(self, *args, timeout=120, output=False):
        # Output is read only from our own small tools; an installer may start programs
        # that keep a pipe open long after it ends.
        out = subprocess.PIPE if output else subprocess.DEVNULL
        return subprocess.run(["wine", *args], env=self.env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)

    def reg_has(self, root, key):
        return self.wine("reg", "query", f"{root}\\{key}").returncode == 0

    def appdata(self):
        return os.path.join(self.user_dir, "AppData", "Roaming", "varnocle")

    def write_settings(self):
        # One account on a port where nothing listens: the program starts, checks and
        # fails quietly, and its first check opens the certificate bundle.
        demo_mailbox.write_settings(os.path.join(self.appdata(), "varnocle.ini"),
                                    [demo_mailbox.account_section("user", "", 9, True)])

    def wineserver_pid(self):
        """The wineserver of our prefix: its folder is named after the prefix's device and inode."""
        st = os.stat(PREFIX)
        name = "server-%x-%x" % (st.st_dev, st.st_ino)
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/comm") as f:
                    comm = f.read()
                if (comm.startswith("wineserver")
                        and os.path.basename(os.readlink(f"/proc/{pid}/cwd")) == name):
                    return int(pid)
            except OSError:
                continue
        self.fail("no wineserver for the test prefix")

    def start_through_shortcut(self, lnk):
        """Starts the program as the Start menu would and returns the files it opened."""
        # Wine's server opens files for its programs, so that is the process to watch.
        trace = os.path.join(OUT, "release-test-trace.txt")
        if os.path.exists(trace):
            os.remove(trace)
        tracer = subprocess.Popen(
            ["strace", "-f", "-qq", "-e", "trace=openat,open", "-o", trace,
             "-p", str(self.wineserver_pid())],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        proc = subprocess.Popen(["wine", "start", "/unix", lnk], env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        opened = ""
        try:
            found = self.wine(VTDRIVER, "wait", "timeout=30", timeout=60, output=True)
            self.assertEqual(found.returncode, 0, found.stdout.decode(errors="replace"))
            deadline = time.time() + 30
            while time.time() < deadline:
                with open(trace, errors="replace") as f:
                    opened = f.read()
                if "cacert.pem" in opened:
                    break
                time.sleep(0.5)
            self.wine(VTDRIVER, "post", "0x10", "0", "0")  # WM_CLOSE: the program saves and ends
            self.wine(VTDRIVER, "wait", "gone", "timeout=20", timeout=60)
        finally:
            tracer.terminate()
            tracer.wait(timeout=30)
            proc.wait(timeout=60)
        return opened

    def round(self, mode, install_dir, start_menu, root):
        key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Varnocle"
        # Leftovers of an interrupted earlier run would hide what this one does.
        shutil.rmtree(install_dir, ignore_errors=True)
        self.wine("reg", "delete", f"{root}\\{key}", "/f")
        self.write_settings()
        result = self.wine(setup_path(), "/S", f"/{mode}", timeout=300)
        self.assertEqual(result.returncode, 0)
        for name in ("varnocle.exe", "cacert.pem", "README.txt", "uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(install_dir, name)), name)
        lnk = os.path.join(start_menu, "Varnocle.lnk")
        self.assertTrue(os.path.isfile(lnk))
        workdir = lnk_working_dir(lnk)
        self.assertIsNotNone(workdir)
        self.assertEqual(workdir.lower().rstrip("\\"),
                         self.windows_path(install_dir).lower().rstrip("\\"))
        self.assertTrue(self.reg_has(root, key))

        opened = self.start_through_shortcut(lnk)
        bundle = os.path.join(install_dir, "cacert.pem")
        opened = opened.replace(os.path.join(PREFIX, "dosdevices", "c:"), self.drive_c)
        self.assertTrue(any(bundle in line and "= -1" not in line
                            for line in opened.splitlines()),
                        "the program did not open the installed cacert.pem")

        result = self.wine(os.path.join(install_dir, "uninstall.exe"), "/S", f"/{mode}",
                           timeout=300)
        self.assertEqual(result.returncode, 0)
        # The uninstaller copies itself and goes on in the background: wait for it.
        deadline = time.time() + 60
        while os.path.exists(os.path.join(install_dir, "varnocle.exe")) and time.time() < deadline:
            time.sleep(0.5)
        self.assertFalse(os.path.exists(install_dir))
        self.assertFalse(os.path.exists(lnk))
        self.assertFalse(self.reg_has(root, key))
        self.assertTrue(os.path.isfile(os.path.join(self.appdata(), "varnocle.ini")),
                        "the uninstaller removed the user's settings")

    def test_uninstall_removes_settings_only_when_asked(self):
        install_dir = os.path.join(self.user_dir, "AppData", "Local", "Programs", "Varnocle")
        self.write_settings()
        self.assertEqual(self.wine(setup_path(), "/S", "/CurrentUser", timeout=300).returncode, 0)
        self.wine(os.path.join(install_dir, "uninstall.exe"), "/S", "/CurrentUser",
                  "/REMOVESETTINGS", timeout=300)
        deadline = time.time() + 60
        while os.path.exists(self.appdata()) and time.time() < deadline:
            time.sleep(0.5)
        self.assertFalse(os.path.exists(self.appdata()))
        self.assertFalse(os.path.exists(install_dir))

    def windows_path(self, unix_path):
        rel = os.path.relpath(unix_path, self.drive_c)
        return "C:\\" + rel.replace("/", "\\")

    def test_all_users(self):
        self.round("AllUsers", os.path.join(self.drive_c, "Program Files", "Varnocle"),
                   os.path.join(self.drive_c, "ProgramData", "Microsoft", "Windows",
                                "Start Menu", "Programs"), "HKLM")

    def test_current_user(self):
        self.round("CurrentUser",
                   os.path.join(self.user_dir, "AppData", "Local", "Programs", "Varnocle"),
                   os.path.join(self.user_dir, "AppData", "Roaming", "Microsoft", "Windows",
                                "Start Menu", "Programs"), "HKCU")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
