"""The Debian packages tools/build-deb left in AMPORA_DEBS: the binary package's files, modes and
dependencies, lintian on it and on the source package, and what software centres, menus and man
read from it. test-package runs this after installing the package in a clean root."""
import glob
import os
import re
import subprocess
import tempfile
import unittest

DEBS = os.environ.get("AMPORA_DEBS", "")
REPO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
BUNDLE = "/usr/lib/ampora/Ampora.app"
MONITOR = BUNDLE + "/Contents/MacOS/Ampora"
HELPER = BUNDLE + "/Contents/Library/LoginItems/Ampora-Helper.app/Contents/MacOS/Ampora-Helper"
DESKTOP = "/usr/share/applications/com.larchmoor.Ampora.desktop"
METAINFO = "/usr/share/metainfo/com.larchmoor.Ampora.metainfo.xml"
MANUAL = "/usr/share/man/man1/ampora.1.gz"
GTK_MODULE = BUNDLE + "/Contents/PlugIns/ampora-gtk.so"
PROGRAMS = ["/usr/bin/ampora", MONITOR, HELPER]
DATA = [BUNDLE + "/Contents/Resources/Ampora.ui", GTK_MODULE, DESKTOP, METAINFO, MANUAL,
        "/usr/share/doc/ampora/copyright", "/usr/share/doc/ampora/changelog.gz"] + [
    f"/usr/share/icons/hicolor/{size}/apps/com.larchmoor.Ampora.{kind}" for size, kind in
    [("scalable", "svg")] + [(f"{n}x{n}", "png") for n in (16, 22, 24, 32, 48, 64, 128, 256)]]


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True)
    assert result.returncode == 0, f"{command}: {result.returncode}\n{result.stdout}{result.stderr}"
    return result.stdout


def only(pattern):
    found = glob.glob(os.path.join(DEBS, pattern))
    assert len(found) == 1, f"{pattern} in {DEBS}: {found}"
    return found[0]


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.deb = only("ampora_*_*.deb")
        cls.files = tempfile.TemporaryDirectory()
        run("dpkg-deb", "-x", cls.deb, cls.files.name)
        # This release, as debian/changelog's latest entry has it.
        changelog = run("dpkg-parsechangelog", "-l", os.path.join(REPO, "debian/changelog"))
        cls.version = re.search(r"^Version: (.*)$", changelog, re.M).group(1)
        cls.date = run("date", "-u", "-d", re.search(r"^Date: (.*)$", changelog, re.M).group(1),
                       "+%Y-%m-%d").strip()

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def installed(self, path):
        return self.files.name + path

    def test_files_and_modes(self):
        # mode, owner, size, date, time, ./path; owners are lintian's concern
        modes = {e[5][1:]: e[0] for e in map(str.split, run("dpkg-deb", "-c", self.deb).splitlines())}
        self.assertEqual([path for path in modes if not path.startswith("/usr/")], ["/"])
        expected = {p: "-rwxr-xr-x" for p in PROGRAMS} | {p: "-rw-r--r--" for p in DATA}
        self.assertEqual({path: modes.get(path) for path in expected}, expected)

    def test_depends_on_the_package_of_every_linked_library(self):
        # stripped: the last one may have no version after it, only the line's end
        depends = set(re.findall(r"(?:^|, )([^ ,]+)",
                                 run("dpkg-deb", "-f", self.deb, "Depends").strip()))
        linked = run("objdump", "-p", self.installed(MONITOR), self.installed(HELPER),
                     self.installed(GTK_MODULE))
        for library in set(re.findall(r"NEEDED\s+(\S+)", linked)):
            owners = set(re.findall(r"^([^:]+):", run("dpkg", "-S", "*/" + library), re.M))
            self.assertTrue(owners & depends, f"{library} comes from {owners}, not in Depends")

    def test_lintian_finds_no_error_or_warning_in_either_package(self):
        run("lintian", "--fail-on", "error,warning", self.deb, only("ampora_*.dsc"))

    def test_what_menus_and_software_centres_read(self):
        run("desktop-file-validate", self.installed(DESKTOP))
        validation = subprocess.run(["appstreamcli", "validate", "--pedantic", "--no-net",
                                     self.installed(METAINFO)], capture_output=True, text=True)
        # Reverse-DNS ids are the norm; only the pedantic note about the capital letter may stay.
        issues = re.findall(r"^[EWIP]: \S+ (\S+)", validation.stdout, re.M)
        self.assertEqual((validation.returncode, issues), (0, ["cid-contains-uppercase-letter"]),
                         validation.stdout)
        with open(self.installed(METAINFO), encoding="utf-8") as metainfo:
            self.assertIn(f'<release version="{self.version}" date="{self.date}"/>',
                          metainfo.read())

    def test_manual_page_names_the_release_and_the_installed_paths(self):
        manual = run("zcat", self.installed(MANUAL))
        self.assertIn(f'.TH AMPORA 1 "{self.date}" "Ampora {self.version}"', manual)
        paths = set(re.findall(r"(/usr/\S*?)/?(?:\n|$)", manual))
        self.assertEqual(paths, {"/usr/bin/ampora", BUNDLE,
                                 BUNDLE + "/Contents/Library/LoginItems"})


if __name__ == "__main__":
    unittest.main()
