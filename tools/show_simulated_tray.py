"""Shows what Ampora's tray item shows on a simulated laptop, then after unplugging the mains and
after a discharge step. Run under dbus-run-session, xvfb-run and umockdev-wrapper.

Usage: show_simulated_tray.py BUNDLE   (the built Ampora.app)
"""
import os
import subprocess
import sys
import time

import simulated_tray as tray


def show(item, heading):
    print(heading)
    print(f"  title: {item.title()}")
    for line in item.lines():
        print("  | " + line)


def main():
    laptop = tray.SimulatedLaptop()
    laptop.laptop_on_mains()
    bus = tray.SessionBus()
    started = time.monotonic()
    monitor = subprocess.Popen([os.path.join(sys.argv[1], "Contents/MacOS/Ampora")],
                               env=tray.environment(laptop), stdin=subprocess.DEVNULL)
    try:
        item = tray.TrayItem(bus, monitor.pid)
        tray.wait_until(lambda: item.title() != "Status", what="the first reading")
        print(f"(first reading shown after {(time.monotonic() - started) * 1000:.0f} ms)")
        show(item, "Laptop on mains power, charging:")
        laptop.unplug_mains(current_ua=1234000)
        item.wait_for("1234")
        show(item, "Mains unplugged, battery discharging:")
        laptop.change("BAT0", charge_now=2990000, current_now=1500000)
        item.wait_for("1500")
        show(item, "A discharge step later:")
        item.click("Quit")
        return monitor.wait(10)
    finally:
        if monitor.poll() is None:
            monitor.terminate()
            monitor.wait()


if __name__ == "__main__":
    sys.exit(main())
