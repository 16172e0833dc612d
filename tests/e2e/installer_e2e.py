"""Installs, uses, updates and removes the Windows installer as a shop's IT would, silently, in
a Wine prefix of its own:

    python3 installer_e2e.py SETUP-EXE ZIP ARTIFACT-DIR

The update comes from an older version that shipped one more file: the installer's own NSIS
project, rebuilt with that file, which the update must take away. The program is started
once the way its Start-menu shortcut starts it, and records an order into the install folder.
"""

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


def shortcut(path):
    """The target and the working folder of a Windows shortcut (.lnk), from its bytes."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 20)[0]
    at, target, strings = 76, None, {}
    if flags & 0x1:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x2:  # HasLinkInfo: LocalBasePath, ANSI
        size, _, _, _, base, _, suffix = struct.unpack_from("<7I", data, at)
        cut = lambda offset: data[at + offset:data.index(b"\0", at + offset)].decode("cp1252")
        target = cut(base) + cut(suffix)
        at += size
    for bit, name in [(0x4, "name"), (0x8, "relative"), (0x10, "folder"), (0x20, "arguments")]:
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            wide = 2 if flags & 0x80 else 1
            text = data[at + 2:at + 2 + count * wide]
            strings[name] = text.decode("utf-16-le" if wide == 2 else "cp1252").rstrip("\0")
            at += 2 + count * wide
    return target, strings.get("folder")


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="ordering-installer-")
        os.environ.update(WINEPREFIX=os.path.join(self.root, "prefix"), WINEDEBUG="-all",
                          WINEDLLOVERRIDES="winemenubuilder.exe=d")
        subprocess.run(["wineboot", "-i"], check=True, capture_output=True)
        window_e2e.WINDOWS_ZIP = ZIP  # records end lines in CR LF
        with zipfile.ZipFile(ZIP) as archive:
            self.shipped = {name.split("/", 1)[1]: archive.read(name)
                            for name in archive.namelist() if not name.endswith("/")}

    def tearDown(self):
        subprocess.run(["wineserver", "-k"], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def wine(self, *args):
        """Runs a Windows program and waits for every process it started to end."""
        subprocess.run(["wine", *args], check=True, capture_output=True)
        subprocess.run(["wineserver", "-w"], check=True)

    def variable(self, name):
        return subprocess.run(["wine", "cmd", "/c", "echo %" + name + "%"], check=True,
                              capture_output=True, text=True).stdout.strip()

    def unix(self, path):
        return subprocess.run(["winepath", "-u", path], check=True, capture_output=True,
                              text=True).stdout.strip()

    def files(self, folder):
        found = {}
        for directory, _, names in os.walk(folder):
            for name in names:
                path = os.path.join(directory, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, folder)] = f.read()
        return found

    def registry(self):
        done = subprocess.run(["wine", "reg", "query", KEY], capture_output=True, text=True)
        return dict(re.findall(r"^\s+(\w+)\s+REG_\w+\s+(.*?)\s*$", done.stdout, re.M))

    def older_installer(self):
        """This version's NSIS project, shipping one more file, as an older version might."""
        project = os.path.join(os.path.dirname(SETUP), "_CPack_Packages", "win64", "NSIS")
        older = os.path.join(self.root, "older")
        os.makedirs(older)
        with open(os.path.join(older, RETIRED), "w") as f:
            f.write("shipped by an older version only\n")
        nsi = open(os.path.join(project, "project.nsi"), encoding="utf-8").read()
        for name, extra in [("install-files.nsh", 'SetOutPath "$INSTDIR"\nFile "%s"\n'
                             % os.path.join(older, RETIRED)),
                            ("uninstall-files.nsh", 'Delete "$INSTDIR\\%s"\n' % RETIRED)]:
            text = open(os.path.join(project, name), encoding="utf-8").read()
            with open(os.path.join(older, name), "w", encoding="utf-8") as f:
                f.write(text + extra)
            nsi = nsi.replace(os.path.join(project, name), os.path.join(older, name))
        setup = os.path.join(older, "older-setup.exe")
        nsi = re.sub(r'^\s*OutFile .*$', 'OutFile "%s"' % setup, nsi, flags=re.M)
        with open(os.path.join(older, "project.nsi"), "w", encoding="utf-8") as f:
            f.write(nsi)
        subprocess.run(["makensis", "-V1", os.path.join(older, "project.nsi")], check=True)
        return setup

    def test_install_use_update_remove(self):
        older = self.older_installer()
        install = self.variable("LOCALAPPDATA") + "\\Programs\\Ordering System"
        folder = self.unix(install)
        menu = self.unix(self.variable("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs")
        links = [os.path.join(menu, "Ordering System.lnk"),
                 os.path.join(menu, "Ordering System orders.lnk")]

        self.wine(older, "/S")
        installed = self.files(folder)
        self.assertIn(RETIRED, installed)
        self.assertIn("Uninstall.exe", installed)
        for name, data in self.shipped.items():
            self.assertEqual(installed.get(name), data, name)

        self.assertEqual(shortcut(links[0]), (install + "\\ordering-system.exe", install))
        self.assertEqual(shortcut(links[1])[0], install)
        values = self.registry()
        uninstaller = '"%s\\Uninstall.exe"' % install
        self.assertEqual({k: v for k, v in values.items() if k != "EstimatedSize"}, {
            "DisplayName": "Ordering System", "DisplayVersion": "1.0.0",
            "Publisher": "the Ordering System developers",
            "DisplayIcon": install + "\\ordering-system.exe,0", "InstallLocation": install,
            "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " /S",
            "NoModify": "0x1", "NoRepair": "0x1"})
        self.assertGreater(int(values["EstimatedSize"], 16) * 1024,
                           sum(map(len, self.shipped.values())) * 0.9)

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

        self.wine(SETUP, "/S")
        updated = self.files(folder)
        self.assertEqual(updated.pop("test.txt"), record)
        self.assertIn("Uninstall.exe", updated.keys())
        del updated["Uninstall.exe"]
        self.assertEqual(sorted(updated), sorted(self.shipped))
        self.assertEqual(updated, self.shipped)
        self.assertEqual(self.registry()["InstallLocation"], install)

        self.wine(self.unix(install + "\\Uninstall.exe"), "/S")
        self.assertEqual(self.files(folder), {"test.txt": record})
        self.assertEqual([link for link in links if os.path.exists(link)], [])
        self.assertEqual(self.registry(), {})


if __name__ == "__main__":
    SETUP, ZIP, ARTIFACTS = (os.path.abspath(arg) for arg in sys.argv[1:4])
    os.makedirs(ARTIFACTS, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
