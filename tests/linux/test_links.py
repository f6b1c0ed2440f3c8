# The menu's two links clicked in the tray, with URL handlers of the test's own in a private
# data directory (none of the system's): each records the address it is asked to open.
#
# Run under: dbus-run-session -- xvfb-run -a umockdev-wrapper /usr/bin/python3 THIS
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tray_driver as tray  # noqa: E402

STORE = os.environ.get("AMPORA_STORE_URL", "appstream:com.larchmoor.Ampora")
SITE = "http://%s/?referrer?Ampora" % os.environ.get("AMPORA_SITE_HOST", "larchmoor.com")


class LinksOnSimulatedLaptop(tray.AmporaCase):
    # A desktop whose only URL handlers are ours, one for each scheme given.
    def desktop_handling(self, *schemes):
        data = tempfile.mkdtemp(dir=self.home.name)
        os.mkdir(os.path.join(data, "applications"))
        self.opened = os.path.join(data, "opened")
        for scheme in schemes:
            handler = os.path.join(data, scheme + "-handler")
            with open(handler, "w", encoding="utf-8") as script:
                script.write(f"#!/bin/sh\necho \"$1\" >> '{self.opened}'\n")
            os.chmod(handler, 0o755)
            with open(os.path.join(data, "applications", scheme + "-handler.desktop"), "w",
                      encoding="utf-8") as entry:
                entry.write(f"[Desktop Entry]\nType=Application\nName={scheme} handler\n"
                            f'Exec="{handler}" %u\nMimeType=x-scheme-handler/{scheme};\n')
        # The system's data as it is (the toolkit needs it), less its applications.
        system = os.path.join(data, "system")
        os.mkdir(system)
        for name in set(os.listdir("/usr/share")) - {"applications"}:
            os.symlink(os.path.join("/usr/share", name), os.path.join(system, name))
        # Handlers are found by the user's defaults, as a desktop's settings write them.
        os.mkdir(os.path.join(data, "config"))
        with open(os.path.join(data, "config", "mimeapps.list"), "w", encoding="utf-8") as apps:
            apps.write("[Default Applications]\n" + "".join(
                f"x-scheme-handler/{scheme}={scheme}-handler.desktop\n" for scheme in schemes))
        return dict(self.env, XDG_DATA_HOME=data, XDG_DATA_DIRS=system,
                    XDG_CONFIG_HOME=os.path.join(data, "config"))

    def opened_after_clicking(self, env, label, count):
        monitor, item = self.start_monitor(env=env)
        try:
            item.click(label)
            tray.wait_until(lambda: os.path.exists(self.opened) and
                            len(open(self.opened, encoding="utf-8").read().splitlines()) >= count,
                            30, f"what {label} opened")
            tray.pump(0.3)  # and nothing more
        except Exception:
            monitor.kill()  # the next case starts its own
            monitor.wait()
            raise
        self.quit(monitor, item)
        with open(self.opened, encoding="utf-8") as opened:
            return opened.read().splitlines()

    def test_rate_opens_the_software_centre_or_else_the_site(self):
        for schemes, label, opened in [
                (("appstream", "http"), "Rate Ampora", [STORE]),
                (("appstream", "http"), "Go To Developer's Website", [SITE]),
                # No software centre: the click still leads somewhere.
                (("http", ), "Rate Ampora", [SITE])]:
            with self.subTest(schemes=schemes, label=label):
                env = self.desktop_handling(*schemes)
                self.assertEqual(self.opened_after_clicking(env, label, len(opened)), opened)


if __name__ == "__main__":
    unittest.main()
