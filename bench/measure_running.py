"""Measures the running monitor on a simulated laptop and prints one table.

Run through bench/measure-running, which builds the release tree and provides the session bus,
the virtual display and the umockdev preload. Usage: measure_running.py BUNDLE

Two runs: the tray path, with a StatusNotifierWatcher of our own that also reads what a panel
reads after each change (the icon pixmap, the tooltip, the title); and the XEmbed fallback,
with no watcher at all.
"""
import os
import platform
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/linux"))
import tray_driver as tray  # noqa: E402
from tray_driver import Gio, GLib  # noqa: E402

STARTS = 7
IDLE_SECONDS = 60
FALLBACK_IDLE_SECONDS = 30
LATENCY_EVENTS = 1000
BURST_EVENTS = 10000
# umockdev's simulated event socket holds about ten events: send a few, let them be handled.
SLICE = 8
SETTLE_SECONDS = 2.0


def context_switches(pid):
    """Voluntary plus involuntary context switches so far, per thread id."""
    switches = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status", encoding="ascii") as status:
                switches[int(task)] = sum(int(line.split(":")[1]) for line in status
                                          if line.split(":")[0].endswith("ctxt_switches"))
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return switches


def idle_wake_ups(pid, seconds):
    """Context switches while nothing happens, and how many threads ended meanwhile. A thread
    that ended woke at least once to do so; its last count can't be read any more."""
    before = context_switches(pid)
    time.sleep(seconds)
    after = context_switches(pid)
    ended = sum(1 for tid in before if tid not in after)
    return sum(count - before.get(tid, 0) for tid, count in after.items()) + ended, ended


def memory_kb(pid):
    """Resident set, proportional set and anonymous memory, in kB. PSS splits the libraries'
    pages among the processes that map them, so it falls whenever other programs with the same
    libraries run (other desktops' helpers on a shared machine); RSS and the anonymous memory
    (heap and the like) are the process's own."""
    sizes = {}
    with open(f"/proc/{pid}/smaps_rollup", encoding="ascii") as rollup:
        for line in rollup:
            key, _, rest = line.partition(":")
            sizes[key] = int(rest.split()[0]) if rest.strip() else 0
    return sizes["Rss"], sizes["Pss"], sizes["Anonymous"]


def megabytes(sizes):
    return " / ".join(f"{size / 1024:.1f}" for size in sizes) + " MB"


def thread_names(pid):
    names = []
    for task in sorted(os.listdir(f"/proc/{pid}/task"), key=int):
        with open(f"/proc/{pid}/task/{task}/comm", encoding="utf-8") as comm:
            names.append(comm.read().strip())
    return names


class PanelReads:
    """Reads what a panel re-reads when the item says something changed, without waiting."""

    READS = {"NewIcon": "IconPixmap", "NewToolTip": "ToolTip", "NewTitle": "Title"}

    def __init__(self, bus, item):
        self.reads = 0
        bus.connection.signal_subscribe(
            item.name, tray.ITEM_INTERFACE, None, tray.ITEM_PATH, None,
            Gio.DBusSignalFlags.NONE, lambda *args: self._changed(bus, item.name, args[4]))

    def _changed(self, bus, name, member):
        if member not in self.READS:
            return
        self.reads += 1
        bus.connection.call(name, tray.ITEM_PATH, "org.freedesktop.DBus.Properties", "Get",
                            GLib.Variant("(ss)", (tray.ITEM_INTERFACE, self.READS[member])),
                            None, Gio.DBusCallFlags.NONE, -1, None, None)


class Sender:
    """Battery change events with a distinct current each, so every reading is told apart."""

    def __init__(self, laptop, item):
        self.laptop, self.item, self.next_ma = laptop, item, 1000

    def _set_next(self):
        self.next_ma = self.next_ma + 1 if self.next_ma < 9999 else 1000
        self.laptop.set("BAT0", current_now=self.next_ma * 1000)
        return f"-{self.next_ma}"

    def one(self):
        """One event; returns seconds from sending it to the new title on the bus."""
        title = self._set_next()
        sent = time.monotonic()
        self.laptop.testbed.uevent(self.laptop.paths["BAT0"], "change")
        return self.item.wait_for(title) - sent

    def burst(self, count):
        for start in range(0, count, SLICE):
            for _ in range(min(SLICE, count - start)):
                title = self._set_next()
                self.laptop.testbed.uevent(self.laptop.paths["BAT0"], "change")
            self.item.wait_for(title)


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def machine():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo", encoding="utf-8") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    load = os.getloadavg()
    return (f"{cpu}, {os.cpu_count()} CPUs, Linux {platform.release()}, "
            f"load {load[0]:.2f} at start")


def start(monitor_path, env):
    return subprocess.Popen([monitor_path], env=env, stdin=subprocess.DEVNULL)


def stop(process):
    process.terminate()
    process.wait()


def main():
    monitor_path = os.path.join(sys.argv[1], "Contents/MacOS/Ampora")
    laptop = tray.SimulatedLaptop()
    laptop.laptop_on_mains()
    bus = tray.SessionBus()
    env = tray.environment(laptop)
    conditions = machine()
    watcher = tray.Watcher(bus)

    # Start-up: spawn to the first title announced on the bus, several times.
    first = []
    bus.connection.signal_subscribe(None, tray.ITEM_INTERFACE, "XAyatanaNewLabel", None, None,
                                    Gio.DBusSignalFlags.NONE,
                                    lambda *args: first.append(time.monotonic()))
    starts = []
    for run in range(STARTS):
        first.clear()
        spawned = time.monotonic()
        monitor = start(monitor_path, env)
        tray.wait_until(lambda: first, 10, "the first title")
        starts.append(first[0] - spawned)
        threads_at_first_title = thread_names(monitor.pid)
        if run < STARTS - 1:
            stop(monitor)
    print(f"start-up: {STARTS} runs done", file=sys.stderr)

    try:
        pid = monitor.pid
        item = tray.TrayItem(bus, pid)
        tray.wait_until(lambda: (item.name, tray.ITEM_PATH) in watcher.registrations, 10,
                        "the registration")
        registrations = len(watcher.registrations)
        # What a panel reads when an item registers; the menu's changes are signalled from then.
        for prop in ("IconPixmap", "ToolTip", "Title"):
            item.property(prop)
        item.lines()
        reads = PanelReads(bus, item)
        tray.pump(SETTLE_SECONDS)
        threads = thread_names(pid)
        start_memory = memory_kb(pid)
        idle_switches, ended = idle_wake_ups(pid, IDLE_SECONDS)
        idle_threads = thread_names(pid)
        print(f"idle: {IDLE_SECONDS} s done", file=sys.stderr)

        sender = Sender(laptop, item)
        signals = item.signals
        latencies = [sender.one() for _ in range(LATENCY_EVENTS)]
        signals_per_reading = (item.signals - signals) / LATENCY_EVENTS
        print(f"latency: {LATENCY_EVENTS} events done", file=sys.stderr)

        burst_started = time.monotonic()
        sender.burst(BURST_EVENTS)
        burst_seconds = time.monotonic() - burst_started
        tray.pump(SETTLE_SECONDS)
        end_memory = memory_kb(pid)
        if item.title() != item.titles[-1][1]:
            raise RuntimeError(f"the tray shows {item.title()!r}, the last title announced was "
                               f"{item.titles[-1][1]!r}")
        new_registrations = len(watcher.registrations) - registrations
    finally:
        stop(monitor)

    # The XEmbed fallback: no watcher.
    bus.bus_call("ReleaseName", "s", tray.WATCHER, reply="(u)")
    fallback = start(monitor_path, env)
    try:
        fallback_item = tray.TrayItem(bus, fallback.pid)
        fallback_item.property("ToolTip")
        tray.wait_until(lambda: fallback_item.title() == sender.item.titles[-1][1], 10,
                        "the fallback's first reading")
        tray.pump(SETTLE_SECONDS)
        fallback_memory = memory_kb(fallback.pid)
        fallback_idle, _ = idle_wake_ups(fallback.pid, FALLBACK_IDLE_SECONDS)
        rsvg = "rsvg" in open(f"/proc/{fallback.pid}/maps", encoding="utf-8").read()
    finally:
        stop(fallback)
    print(f"fallback: {FALLBACK_IDLE_SECONDS} s idle done", file=sys.stderr)

    growth = (end_memory[2] - start_memory[2]) * 100.0 / start_memory[2]
    versus = [(f - t) * 100.0 / t for f, t in zip(fallback_memory, start_memory)]
    ms = 1000.0
    rows = [
        (f"wake-ups while idle (context switches, all threads, {IDLE_SECONDS} s)",
         f"{idle_switches}" + (f" ({ended} thread(s) retiring)" if ended else ""), "0"),
        ("memory after start-up: RSS / PSS / anonymous", megabytes(start_memory), ""),
        (f"after {BURST_EVENTS + LATENCY_EVENTS:,} more battery changes: RSS / PSS / anonymous",
         megabytes(end_memory) + f" (anonymous {growth:+.1f} %)", "no growth"),
        (f"change to new title on the bus, median ({LATENCY_EVENTS:,} events)",
         f"{statistics.median(latencies) * ms:.2f} ms", "< 5 ms"),
        (f"change to new title on the bus, p99 ({LATENCY_EVENTS:,} events)",
         f"{percentile(latencies, 0.99) * ms:.2f} ms", ""),
        ("bus signals per reading (title, label, icon, tooltip, menu)",
         f"{signals_per_reading:.2f}", "bounded"),
        (f"registrations with the watcher during {BURST_EVENTS + LATENCY_EVENTS:,} readings",
         f"{new_registrations}", "0"),
        ("panel re-reads of the icon, tooltip and title", f"{reads.reads:,}", ""),
        (f"start-up to first title, median of {STARTS}",
         f"{statistics.median(starts) * ms:.0f} ms", "< 300 ms"),
        ("threads at the first title", f"{len(threads_at_first_title)} "
         f"({', '.join(threads_at_first_title)})", "as few as the toolkit allows"),
        (f"threads {SETTLE_SECONDS:.0f} s later", f"{len(threads)} ({', '.join(threads)})", ""),
        ("threads after idling", f"{len(idle_threads)} ({', '.join(idle_threads)})", ""),
        (f"{BURST_EVENTS:,} changes sent {SLICE} at a time, each batch's last one shown",
         f"{burst_seconds:.1f} s", ""),
        ("XEmbed fallback (no watcher) after start-up: RSS / PSS / anonymous",
         megabytes(fallback_memory) + " (" + " / ".join(f"{v:+.1f} %" for v in versus) + ")",
         "within 10 %"),
        (f"XEmbed fallback: wake-ups while idle ({FALLBACK_IDLE_SECONDS} s)", f"{fallback_idle}",
         "0"),
        ("XEmbed fallback: SVG renderer loaded", "yes" if rsvg else "no", "no"),
    ]
    print(f"Machine: {conditions}")
    print("| measure | Ampora | target |")
    print("|---|---|---|")
    for name, value, target in rows:
        print(f"| {name} | {value} | {target} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
