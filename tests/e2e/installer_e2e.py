"""Installs, uses, updates and removes the Windows installer as a shop's IT would, silently, in
a Wine prefix of its own whose user name is beyond the ANSI code page:

    python3 installer_e2e.py SETUP-EXE ZIP ARTIFACT-DIR

The update comes from an older version that shipped one more file: the installer's own NSIS
project, rebuilt with that file, which the update must take away. The program is started
once the way its Start-menu shortcut starts it, and records an order into the install folder.
What the installer and the uninstaller must refuse is tried in the same way.
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

import window_e2e
from window_e2e import Till, VirtualDisplay, wait_for

SETUP = ""
ZIP = ""
ARTIFACTS = ""
KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\OrderingSystem"
RETIRED = "retired-by-the-update.txt"
USER = "陳小明"
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def shortcut(path):
    """The target and the working folder of a Windows shortcut (.lnk), from its bytes. The target
    is read from the item list's Unicode names: the ANSI path beside them turns 陳 into ?."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 20)[0]
    at, target, strings = 76, [], {}
    if flags & 0x1:  # HasLinkTargetIDList
        end = at + 2 + struct.unpack_from("<H", data, at)[0]
        at += 2
        while at < end - 2:
            item = data[at + 2:at + struct.unpack_from("<H", data, at)[0]]
            if item[0] & 0x70 == 0x20:  # a drive
                target.append(item[1:3].decode())
            elif item[0] & 0x70 == 0x30:  # a folder or file: its long name, then an offset
                start = len(item) - 4
                while item[start - 2:start] != b"\0\0":
                    start -= 2
                target.append(item[start:-4].decode("utf-16-le"))
            at += 2 + len(item)
        at = end
    if flags & 0x2:  # HasLinkInfo
        at += struct.unpack_from("<I", data, at)[0]
    for bit, name in [(0x4, "name"), (0x8, "relative"), (0x10, "folder"), (0x20, "arguments")]:
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            wide = 2 if flags & 0x80 else 1
            text = data[at + 2:at + 2 + count * wide]
            strings[name] = text.decode("utf-16-le" if wide == 2 else "cp1252").rstrip("\0")
            at += 2 + count * wide
    return "\\".join(target), strings.get("folder")


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="ordering-installer-")
        os.environ.update(WINEPREFIX=os.path.join(self.root, "prefix"), WINEDEBUG="-all",
                          WINEDLLOVERRIDES="winemenubuilder.exe=d", USER=USER, LOGNAME=USER)
        subprocess.run(["wineboot", "-i"], check=True, capture_output=True)
        self.drive = os.path.join(self.root, "prefix", "drive_c")
        self.profile = "C:\\users\\" + USER
        self.assertTrue(os.path.isdir(self.unix(self.profile)))
        window_e2e.WINDOWS_ZIP = ZIP  # records end lines in CR LF
        with zipfile.ZipFile(ZIP) as archive:
            self.shipped = {name.split("/", 1)[1]: archive.read(name)
                            for name in archive.namelist() if not name.endswith("/")}
        for name in list(self.shipped):
            while os.path.dirname(name):
                name = os.path.dirname(name)
                self.shipped[name + "/"] = None

    def tearDown(self):
        subprocess.run(["wineserver", "-k"], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def wine(self, *args):
        """Runs a Windows program and returns its exit code once it ends."""
        return subprocess.run(["wine", *args], capture_output=True).returncode

    def unix(self, path):
        return os.path.join(self.drive, *path[3:].split("\\"))

    def files(self, folder):
        """Each file's bytes and each folder (as name/, None) under folder; None if absent."""
        if not os.path.lexists(folder):
            return None
        if not os.path.isdir(folder):
            return open(folder, "rb").read()
        found = {}
        for directory, folders, names in os.walk(folder):
            for name in folders:
                found[os.path.relpath(os.path.join(directory, name), folder) + "/"] = None
            for name in names:
                path = os.path.join(directory, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, folder)] = f.read()
        return found

    def registry(self):
        """The uninstall entry's values, or None when there is none. Exported, since reg's
        own output is in the console's code page."""
        done = subprocess.run(["wine", "reg", "export", KEY, "C:\\entry.reg", "/y"],
                              capture_output=True, text=True)
        if done.returncode:
            self.assertIn("Unable to find the specified registry key", done.stderr + done.stdout)
            return None
        with open(self.unix("C:\\entry.reg"), encoding="utf-16") as f:
            text = f.read()
        values = {}
        for name, string, number in re.findall(r'^"(\w+)"=(?:"(.*)"|dword:(\w+))$', text, re.M):
            values[name] = int(number, 16) if number else re.sub(r"\\(.)", r"\1", string)
        return values

    def older_installer(self, version="1.0.0", extra=RETIRED):
        """This version's NSIS project, shipping one more file, as an older version might, or
        a newer one under its own version."""
        project = os.path.join(os.path.dirname(SETUP), "_CPack_Packages", "win64", "NSIS")
        older = os.path.join(self.root, version)
        os.makedirs(older)
        with open(os.path.join(older, extra), "w") as f:
            f.write("shipped by version %s only\n" % version)
        nsi = open(os.path.join(project, "project.nsi"), encoding="utf-8").read()
        for name, old, new in [
                ("install-files.nsh", "", 'SetOutPath "$INSTDIR"\nFile "%s"\n'
                 % os.path.join(older, extra)),
                ("installed-files.nsh", "!macroend", '!insertmacro ${ACTION} "%s"\n!macroend'
                 % extra)]:
            text = open(os.path.join(project, name), encoding="utf-8").read()
            with open(os.path.join(older, name), "w", encoding="utf-8") as f:
                f.write(text.replace(old, new, 1) if old else text + new)
            nsi = nsi.replace(os.path.join(project, name), os.path.join(older, name))
        setup = os.path.join(older, "older-setup.exe")
        nsi = re.sub(r'^\s*OutFile .*$', 'OutFile "%s"' % setup, nsi, flags=re.M)
        nsi = nsi.replace("1.0.0", version)
        # Stored, not compressed: what it installs is the point, and LZMA took most of the time.
        nsi = nsi.replace("SetCompressor /SOLID lzma", "SetCompress off")
        with open(os.path.join(older, "project.nsi"), "w", encoding="utf-8") as f:
            f.write(nsi)
        # Never signed with the release's key, whatever the environment names.
        env = {name: value for name, value in os.environ.items()
               if not name.startswith("ORDERING_SIGN_")}
        # Run where CPack runs it, with the Windows build root's makensis, which built the
        # installer under test: the project names the signing script by a relative name.
        subprocess.run([os.path.join(SOURCE, "windows", "scripts", "in-windows-root.sh"), "makensis",
                        "-NOCD", "-V1", os.path.join(older, "project.nsi")],
                       check=True, env=dict(env, ORDERING_ROOT_BINDS=self.root), cwd=project)
        return setup

    def test_install_use_update_remove(self):
        older = self.older_installer()
        install = self.profile + "\\AppData\\Local\\Programs\\Ordering System"
        folder = self.unix(install)
        menu = self.unix(self.profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs")
        links = [os.path.join(menu, "Ordering System.lnk"),
                 os.path.join(menu, "Ordering System orders.lnk")]

        self.assertEqual(self.wine(older, "/S"), 0)
        installed = self.files(folder)
        self.assertIn(RETIRED, installed)
        self.assertIn("Uninstall.exe", installed)
        for name, data in self.shipped.items():
            self.assertEqual(installed.get(name, False), data, name)

        self.assertEqual(shortcut(links[0]), (install + "\\ordering-system.exe", install))
        self.assertEqual(shortcut(links[1])[0], install)
        uninstaller = '"%s\\Uninstall.exe"' % install
        self.assertEqual(self.registry(), {
            "DisplayName": "Ordering System", "DisplayVersion": "1.0.0",
            "Publisher": PUBLISHER,
            "DisplayIcon": install + "\\ordering-system.exe,0", "InstallLocation": install,
            "UninstallString": uninstaller,
            "QuietUninstallString": uninstaller + " /S /SELFREMOVE _?=" + install,
            "NoModify": 1, "NoRepair": 1,
            "EstimatedSize": -(-sum(len(data or b"") for name, data in installed.items()
                                    if name != RETIRED) // 1024)})

        # As the shortcut starts it: its target, in its working folder.
        with VirtualDisplay() as screen:
            till = Till(screen, self.unix(shortcut(links[0])[1]),
                        command=["wine", self.unix(shortcut(links[0])[0])])
            try:
                for name in ["burger", "chicken", "yes", "pushButton"]:
                    till.click(name)
                till.click("pushButton_2")
                record = b"You order : burger, chicken \r\nTotal money is 300\r\nhave to pay 290\r\n"
                wait_for(lambda: till.record_file() == record, "the record in the install folder",
                         shown=till.record_file)
                till.screenshot(os.path.join(ARTIFACTS, "installed-window.png"))
                self.assertEqual(till.close(), 0)
            finally:
                till.kill()

        self.assertEqual(self.wine(SETUP, "/S"), 0)
        updated = self.files(folder)
        self.assertEqual(updated.pop("test.txt"), record)
        self.assertIn("Uninstall.exe", updated.keys())
        del updated["Uninstall.exe"]
        self.assertEqual(sorted(updated), sorted(self.shipped))
        self.assertEqual(updated, self.shipped)
        self.assertEqual(self.registry()["InstallLocation"], install)

        # As Settings runs it: it returns at once, its copy in %TEMP% goes on, waited for here.
        self.wine(self.unix(install + "\\Uninstall.exe"), "/S")
        subprocess.run(["wineserver", "-w"], check=True)
        self.assertEqual(self.files(folder), {"test.txt": record})
        self.assertEqual([link for link in links if os.path.exists(link)], [])
        self.assertIsNone(self.registry())

    def test_refusals_change_nothing(self):
        """Each refusal exits 2 with every file, the entry and the shortcuts as they were."""
        with open(self.unix("C:\\blocked"), "w") as f:
            f.write("a file where the folder would go\n")
        shop = self.unix("C:\\ShopTools")
        os.makedirs(shop)
        shutil.copy(self.unix("C:\\windows\\system32\\hostname.exe"), shop + "/Uninstall.exe")
        for name in ["README.txt", "notes.txt"]:
            with open(os.path.join(shop, name), "w") as f:
                f.write("the shop's own " + name + "\n")
        os.makedirs(self.unix("C:\\Ledger\\test.txt"))  # a folder, not the program's record
        with open(self.unix("C:\\Ledger\\test.txt\\ledger.xls"), "w") as f:
            f.write("the shop's ledger\n")
        newer = self.older_installer("1.1.0", "notes.txt")
        watched = ["C:\\ShopTools", "C:\\blocked", "C:\\Till", "C:\\Till2", "C:\\Ledger",
                   self.profile + "\\AppData\\Local\\Programs",
                   self.profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"]

        def state():
            found = {}
            for path in watched:
                files = self.files(self.unix(path))
                for name, data in files.items() if isinstance(files, dict) else [("", files)]:
                    found[path + "\\" + name] = data and hashlib.sha256(data).hexdigest()
            return found, self.registry()

        def refused(what, *command):
            before = state()
            self.assertEqual(self.wine(*command), 2, what)
            self.assertEqual(state(), before, what)

        refused("another program's folder", SETUP, "/S", "/D=C:\\ShopTools")
        refused("a folder under a file", SETUP, "/S", "/D=C:\\blocked\\Ordering")
        refused("a folder with a space under a file", SETUP, "/S", "/D=C:\\blocked\\Ordering System")
        refused("a relative folder", SETUP, "/S", "/D=Till")
        refused("a folder on a drive that does not exist", SETUP, "/S", "/D=Q:\\Till")
        refused("a folder holding a folder named test.txt", SETUP, "/S", "/D=C:\\Ledger")
        self.assertEqual(self.wine(SETUP, "/S", "/D=C:\\Till"), 0)
        with open(self.unix("C:\\remove.bat"), "w") as f:  # as IT runs the entry's quiet command
            f.write(self.registry()["QuietUninstallString"] + "\r\nexit /b %errorlevel%\r\n")
        refused("a second folder", SETUP, "/S", "/D=C:\\Till2")
        with open(self.unix("C:\\Till\\notes.txt"), "w") as f:
            f.write("the shop's own notes\n")
        refused("a newer version writing the shop's file", newer, "/S")
        with VirtualDisplay() as screen:
            till = Till(screen, self.unix("C:\\Till"))
            try:
                refused("an update while the program runs", SETUP, "/S")
                refused("a removal while the program runs", "cmd", "/c", "C:\\remove.bat")
                self.assertEqual(till.close(), 0)
            finally:
                till.kill()
        os.remove(self.unix("C:\\Till\\notes.txt"))
        self.assertEqual(self.wine(newer, "/S"), 0)
        refused("an older version over a newer one", SETUP, "/S")
        self.assertEqual(self.wine(SETUP, "/S", "/DOWNGRADE"), 0)
        self.assertNotIn("notes.txt", self.files(self.unix("C:\\Till")))
        self.assertEqual(self.registry()["DisplayVersion"], "1.0.0")
        os.remove(self.unix("C:\\Till\\Uninstall.exe"))  # quarantined, or deleted by hand
        self.assertEqual(self.wine(SETUP, "/S"), 0)
        self.assertIn("Uninstall.exe", self.files(self.unix("C:\\Till")))
        self.assertEqual(self.wine("cmd", "/c", "C:\\remove.bat"), 0)
        subprocess.run(["wineserver", "-w"], check=True)
        self.assertIsNone(self.files(self.unix("C:\\Till")))
        self.assertIsNone(self.registry())


if __name__ == "__main__":
    SETUP, ZIP, ARTIFACTS = (os.path.abspath(arg) for arg in sys.argv[1:4])
    PUBLISHER = sys.argv[4]  # as the build is configured: a release names its own
    os.makedirs(ARTIFACTS, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
