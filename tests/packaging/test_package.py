"""The Debian package: files, dependencies, lintian; then installed with dpkg, run headless on a
simulated laptop, and purged. Only in a throwaway root: run it through test-package."""
import ctypes
import os
import re
import subprocess
import sys
import tempfile
import unittest

DEB = os.environ.get("AMPORA_DEB", "")
BUNDLE = "/usr/lib/ampora/Ampora.app"
MONITOR = BUNDLE + "/Contents/MacOS/Ampora"
HELPER = BUNDLE + "/Contents/Library/LoginItems/Ampora-Helper.app/Contents/MacOS/Ampora-Helper"
DESKTOP = "/usr/share/applications/com.larchmoor.Ampora.desktop"
METAINFO = "/usr/share/metainfo/com.larchmoor.Ampora.metainfo.xml"
GTK_MODULE = BUNDLE + "/Contents/PlugIns/ampora-gtk.so"
PROGRAMS = ["/usr/bin/ampora", MONITOR, HELPER]
DATA = [BUNDLE + "/Contents/Resources/Ampora.ui", GTK_MODULE, DESKTOP, METAINFO,
        "/usr/share/man/man1/ampora.1.gz", "/usr/share/doc/ampora/copyright",
        "/usr/share/doc/ampora/changelog.gz"] + [
    f"/usr/share/icons/hicolor/{size}/apps/com.larchmoor.Ampora.{kind}" for size, kind in
    [("scalable", "svg")] + [(f"{n}x{n}", "png") for n in (16, 22, 24, 32, 48, 64, 128, 256)]]


def run(*command, env=None):
    result = subprocess.run(command, capture_output=True, text=True, env=env)
    assert result.returncode == 0, f"{command}: {result.returncode}\n{result.stdout}{result.stderr}"
    return result.stdout


class Package(unittest.TestCase):
    def test_files_and_modes(self):
        # mode, owner, size, date, time, ./path; owners are lintian's concern
        modes = {e[5][1:]: e[0] for e in map(str.split, run("dpkg-deb", "-c", DEB).splitlines())}
        self.assertEqual([path for path in modes if not path.startswith("/usr/")], ["/"])
        expected = {p: "-rwxr-xr-x" for p in PROGRAMS} | {p: "-rw-r--r--" for p in DATA}
        self.assertEqual({path: modes.get(path) for path in expected}, expected)

    def test_depends_on_the_package_of_every_linked_library(self):
        # stripped: the last one may have no version after it, only the line's end
        depends = set(re.findall(r"(?:^|, )([^ ,]+)",
                                 run("dpkg-deb", "-f", DEB, "Depends").strip()))
        with tempfile.TemporaryDirectory() as root:
            run("dpkg-deb", "-x", DEB, root)
            linked = run("objdump", "-p", root + MONITOR, root + HELPER, root + GTK_MODULE)
        for library in set(re.findall(r"NEEDED\s+(\S+)", linked)):
            owners = set(re.findall(r"^([^:]+):", run("dpkg", "-S", "*/" + library), re.M))
            self.assertTrue(owners & depends, f"{library} comes from {owners}, not in Depends")

    def test_lintian_finds_no_error_or_warning(self):
        run("lintian", "--fail-on", "error,warning", DEB)

    def test_installed_program_then_purge(self):
        run("dpkg", "-i", DEB)
        try:
            run("desktop-file-validate", DESKTOP)
            # The GTK module loads with the libraries the package depends on.
            self.assertTrue(ctypes.CDLL(GTK_MODULE).ampora_gtk_windows_open)
            run("appstreamcli", "validate", "--no-net", METAINFO)
            # The tray tests' day on a laptop, with the launcher on PATH and the installed helper.
            tray_test = os.path.join(os.path.dirname(__file__), "..", "linux", "test_tray.py")
            run("dbus-run-session", "--", "xvfb-run", "-a", "umockdev-wrapper", sys.executable,
                "-B", tray_test, "TrayOnSimulatedLaptop.test_a_day_on_the_laptop",
                env=dict(os.environ, AMPORA_BUNDLE=BUNDLE, AMPORA_MONITOR="/usr/bin/ampora"))
        finally:
            run("dpkg", "--purge", "ampora")


if __name__ == "__main__":
    unittest.main()
