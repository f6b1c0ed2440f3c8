"""Measures the running monitor on a simulated laptop and prints one table.

Run through bench/measure-running, which builds the release tree and provides the session bus,
the virtual display and the umockdev preload.
Usage: measure_running.py BUNDLE FLOOR [EARLIER_BUNDLE]

Memory is held against FLOOR (bench/floor_tray_item.c: the least a tray item showing the same
thing can be) measured in the same run, turn about with the monitor on the tray path and as the
XEmbed fallback (and with EARLIER_BUNDLE, an earlier build, the same way). Then one long run on
the tray path, with a StatusNotifierWatcher of our own that also reads what a panel reads after
each change (the icon pixmap, the tooltip, the title); one as the XEmbed fallback, with no
watcher at all; and one printing the title for a bar (--watch).
"""
import os
import platform
import select
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/linux"))
import tray_driver as tray  # noqa: E402
from tray_driver import Gio, GLib  # noqa: E402

STARTS = 7
ROUNDS = 3
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


def smaps(pid):
    sizes = {}
    with open(f"/proc/{pid}/smaps_rollup", encoding="ascii") as rollup:
        for line in rollup:
            key, _, rest = line.partition(":")
            sizes[key] = int(rest.split()[0]) if rest.strip() else 0
    return sizes


def memory_kb(pid):
    """Resident set, proportional set and anonymous memory, in kB. PSS splits the libraries'
    pages among the processes that map them, so it falls whenever other programs with the same
    libraries run (other desktops' helpers on a shared machine); RSS and the anonymous memory
    (heap and the like) are the process's own."""
    sizes = smaps(pid)
    return sizes["Rss"], sizes["Pss"], sizes["Anonymous"]


def footprint_kb(pid):
    """RSS, PSS and USS (the pages no other process maps), in kB."""
    sizes = smaps(pid)
    return sizes["Rss"], sizes["Pss"], sizes["Private_Clean"] + sizes["Private_Dirty"]


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


class TitleTimes:
    """When each title was announced on the bus, as the signal came in (NewTitle carries no
    title: it is read right after)."""

    def __init__(self, bus, item):
        self.times = {}
        bus.connection.signal_subscribe(
            item.name, tray.ITEM_INTERFACE, "NewTitle", tray.ITEM_PATH, None,
            Gio.DBusSignalFlags.NONE, lambda *args: self._announced(item, time.monotonic()))

    def _announced(self, item, when):
        self.times.setdefault(item.title(), when)

    def wait_for(self, title, timeout=10.0):
        return tray.wait_until(lambda: self.times.pop(title, None), timeout, repr(title))


class Sender:
    """Battery change events with a distinct current each, so every reading is told apart."""

    def __init__(self, laptop, item, bus):
        self.laptop, self.item, self.next_ma = laptop, item, 1000
        self.announced = TitleTimes(bus, item)

    def _set_next(self):
        self.next_ma = self.next_ma + 1 if self.next_ma < 9999 else 1000
        self.laptop.set("BAT0", current_now=self.next_ma * 1000)
        return f"-{self.next_ma}"

    def one(self):
        """One event; returns seconds from sending it to the new title on the bus."""
        title = self._set_next()
        sent = time.monotonic()
        self.laptop.testbed.uevent(self.laptop.paths["BAT0"], "change")
        return self.announced.wait_for(title) - sent

    def burst(self, count):
        for start in range(0, count, SLICE):
            for _ in range(min(SLICE, count - start)):
                title = self._set_next()
                self.laptop.testbed.uevent(self.laptop.paths["BAT0"], "change")
            self.item.wait_for(title)
        self.announced.times.clear()


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


def monitor_of(bundle):
    return os.path.join(bundle, "Contents/MacOS/Ampora")


def read_as_a_panel(bus, watcher, pid):
    """Waits for the item of process pid to register, then reads what a panel reads."""
    item = tray.TrayItem(bus, pid)
    tray.wait_until(lambda: (item.name, tray.ITEM_PATH) in watcher.registrations, 10,
                    "the registration")
    for prop in ("IconPixmap", "ToolTip", "Title"):
        item.property(prop)
    item.lines()
    return item


def footprints(subjects, bus, watcher, env):
    """Median RSS, PSS and USS of each subject over ROUNDS rounds, taken in turn: (name, command,
    tray path?) each. Measured once read as a panel reads it, or once the fallback shows the
    reading."""
    sizes = {name: [] for name, _, _ in subjects}
    for _ in range(ROUNDS):
        for name, command, tray_path in subjects:
            if not tray_path:
                bus.bus_call("ReleaseName", "s", tray.WATCHER, reply="(u)")
            process = start(command, env)
            try:
                if tray_path:
                    read_as_a_panel(bus, watcher, process.pid)
                else:
                    item = tray.TrayItem(bus, process.pid)
                    tray.wait_until(lambda: item.title() == "-850", 10, "the first reading")
                tray.pump(SETTLE_SECONDS)
                sizes[name].append(footprint_kb(process.pid))
            finally:
                stop(process)
                if not tray_path:
                    bus.own(tray.WATCHER)
        print(f"memory: a round of {len(subjects)} done", file=sys.stderr)
    return {name: tuple(statistics.median(column) for column in zip(*runs))
            for name, runs in sizes.items()}


def latencies_in_turn(bundles, laptop, bus, watcher, env):
    """Median change-to-title latency of each bundle, LATENCY_EVENTS / ROUNDS events at a time
    per bundle, taken in turn, each read as a panel reads it."""
    latencies = {bundle: [] for bundle in bundles}
    for _ in range(ROUNDS):
        for bundle in bundles:
            monitor = start(monitor_of(bundle), env)
            try:
                item = read_as_a_panel(bus, watcher, monitor.pid)
                PanelReads(bus, item)
                sender = Sender(laptop, item, bus)
                latencies[bundle] += [sender.one() for _ in range(LATENCY_EVENTS // ROUNDS)]
            finally:
                stop(monitor)
    print("latency in turn: done", file=sys.stderr)
    return [statistics.median(latencies[bundle]) for bundle in bundles]


def start_up(bundles, env):
    """Median seconds from spawn to the first title on the bus, STARTS runs per bundle taken in
    turn; and the threads of the current bundle's last run at its first title. Leaves the last
    run of the first bundle running."""
    bus = tray.SessionBus()
    first = []
    bus.connection.signal_subscribe(None, tray.ITEM_INTERFACE, "NewTitle", None, None,
                                    Gio.DBusSignalFlags.NONE,
                                    lambda *args: first.append(time.monotonic()))
    starts = {bundle: [] for bundle in bundles}
    for run in range(STARTS):
        for bundle in reversed(bundles):
            first.clear()
            spawned = time.monotonic()
            monitor = start(monitor_of(bundle), env)
            tray.wait_until(lambda: first, 10, "the first title")
            starts[bundle].append(first[0] - spawned)
            threads = thread_names(monitor.pid)
            if run < STARTS - 1 or bundle != bundles[0]:
                stop(monitor)
    print(f"start-up: {STARTS} runs done", file=sys.stderr)
    return [statistics.median(starts[bundle]) for bundle in bundles], threads, monitor


def ratios(sizes, floor):
    return " / ".join(f"{size / 1024:.1f}" for size in sizes) + " MB (" + " / ".join(
        f"{size / base:.2f}×" for size, base in zip(sizes, floor)) + ")"


def main():
    bundles = [sys.argv[1]] + sys.argv[3:4]
    monitor_path = monitor_of(bundles[0])
    laptop = tray.SimulatedLaptop()
    laptop.laptop_on_mains()
    bus = tray.SessionBus()
    env = tray.environment(laptop)
    conditions = machine()
    watcher = tray.Watcher(bus)

    subjects = [("floor", sys.argv[2], True)]
    for label, bundle in zip(("Ampora", "earlier"), bundles):
        subjects += [(f"{label}, tray path", monitor_of(bundle), True),
                     (f"{label}, XEmbed fallback", monitor_of(bundle), False)]
    footprint = footprints(subjects, bus, watcher, env)
    in_turn = latencies_in_turn(bundles, laptop, bus, watcher, env) if len(bundles) > 1 else []

    (starts, *earlier_starts), threads_at_first_title, monitor = start_up(bundles, env)

    try:
        pid = monitor.pid
        # What a panel reads when an item registers; the menu's changes are signalled from then.
        item = read_as_a_panel(bus, watcher, pid)
        registrations = len(watcher.registrations)
        reads = PanelReads(bus, item)
        tray.pump(SETTLE_SECONDS)
        threads = thread_names(pid)
        start_memory = memory_kb(pid)
        idle_switches, ended = idle_wake_ups(pid, IDLE_SECONDS)
        idle_threads = thread_names(pid)
        print(f"idle: {IDLE_SECONDS} s done", file=sys.stderr)

        sender = Sender(laptop, item, bus)
        signals = item.signals
        latencies = [sender.one() for _ in range(LATENCY_EVENTS)]
        signals_per_reading = (item.signals - signals) / LATENCY_EVENTS
        print(f"latency: {LATENCY_EVENTS} events done", file=sys.stderr)
        tray.pump(SETTLE_SECONDS)
        warm_memory = memory_kb(pid)

        burst_started = time.monotonic()
        sender.burst(BURST_EVENTS)
        burst_seconds = time.monotonic() - burst_started
        tray.pump(SETTLE_SECONDS)
        end_memory = memory_kb(pid)
        if item.title() != item.titles[-1]:
            raise RuntimeError(f"the tray shows {item.title()!r}, the last title announced was "
                               f"{item.titles[-1]!r}")
        new_registrations = len(watcher.registrations) - registrations
        gtk = "libgtk-3" in open(f"/proc/{pid}/maps", encoding="utf-8").read()
    finally:
        stop(monitor)

    # The XEmbed fallback: no watcher.
    bus.bus_call("ReleaseName", "s", tray.WATCHER, reply="(u)")
    fallback = start(monitor_path, env)
    try:
        fallback_item = tray.TrayItem(bus, fallback.pid)
        fallback_item.property("ToolTip")
        tray.wait_until(lambda: fallback_item.title() == sender.item.titles[-1], 10,
                        "the fallback's first reading")
        tray.pump(SETTLE_SECONDS)
        fallback_memory = memory_kb(fallback.pid)
        fallback_idle, _ = idle_wake_ups(fallback.pid, FALLBACK_IDLE_SECONDS)
        rsvg = "rsvg" in open(f"/proc/{fallback.pid}/maps", encoding="utf-8").read()
    finally:
        stop(fallback)
    print(f"fallback: {FALLBACK_IDLE_SECONDS} s idle done", file=sys.stderr)

    # The title for a bar: no display, no bus.
    watch = subprocess.Popen([monitor_path, "--watch", "--format=waybar"],
                             env={k: v for k, v in env.items() if "DISPLAY" not in k},
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    try:
        if not select.select([watch.stdout], [], [], 10)[0]:
            raise RuntimeError("--watch printed nothing in 10 s")
        tray.pump(SETTLE_SECONDS)
        watch_memory = footprint_kb(watch.pid)
        watch_idle, _ = idle_wake_ups(watch.pid, FALLBACK_IDLE_SECONDS)
    finally:
        stop(watch)
    print(f"--watch: {FALLBACK_IDLE_SECONDS} s idle done", file=sys.stderr)

    growth = (end_memory[2] - warm_memory[2]) * 100.0 / warm_memory[2]
    ms = 1000.0
    floor = footprint["floor"]
    rows = [("floor (C, GIO item, dbusmenu, cairo/pango icon): RSS / PSS / USS, median of "
             f"{ROUNDS}", megabytes(floor), "")]
    for name, _, _ in subjects[1:]:
        rows.append((f"{name}: RSS / PSS / USS (× floor)", ratios(footprint[name], floor),
                     "RSS ≤ 1.2× floor" if name == "Ampora, tray path" else ""))
    rows += [
        ("GTK loaded on the tray path", "yes" if gtk else "no", "no"),
        (f"wake-ups while idle (context switches, all threads, {IDLE_SECONDS} s)",
         f"{idle_switches}" + (f" ({ended} thread(s) retiring)" if ended else ""), "0"),
        ("memory after start-up: RSS / PSS / anonymous", megabytes(start_memory), ""),
        (f"after {LATENCY_EVENTS:,} battery changes: RSS / PSS / anonymous",
         megabytes(warm_memory), ""),
        (f"after {BURST_EVENTS:,} more: RSS / PSS / anonymous",
         megabytes(end_memory) + f" (anonymous {growth:+.1f} %)", "no growth"),
        (f"change to new title on the bus, median ({LATENCY_EVENTS:,} events)",
         f"{statistics.median(latencies) * ms:.2f} ms", "< 5 ms"),
        *([(f"the same, median, {ROUNDS} runs of {LATENCY_EVENTS // ROUNDS} events in turn "
            "with the earlier build",
            f"{in_turn[0] * ms:.2f} ms (earlier: {in_turn[1] * ms:.2f} ms)", "")]
          if in_turn else []),
        (f"change to new title on the bus, p99 ({LATENCY_EVENTS:,} events)",
         f"{percentile(latencies, 0.99) * ms:.2f} ms", ""),
        ("bus signals per reading (title, icon, tooltip, menu)",
         f"{signals_per_reading:.2f}", "bounded"),
        (f"registrations with the watcher during {BURST_EVENTS + LATENCY_EVENTS:,} readings",
         f"{new_registrations}", "0"),
        ("panel re-reads of the icon, tooltip and title", f"{reads.reads:,}", ""),
        (f"start-up to first title, median of {STARTS}", f"{starts * ms:.0f} ms" + "".join(
            f" (earlier: {e * ms:.0f} ms)" for e in earlier_starts), "< 300 ms"),
        ("threads at the first title", f"{len(threads_at_first_title)} "
         f"({', '.join(threads_at_first_title)})", "as few as the toolkit allows"),
        (f"threads {SETTLE_SECONDS:.0f} s later", f"{len(threads)} ({', '.join(threads)})", ""),
        ("threads after idling", f"{len(idle_threads)} ({', '.join(idle_threads)})", ""),
        (f"{BURST_EVENTS:,} changes sent {SLICE} at a time, each batch's last one shown",
         f"{burst_seconds:.1f} s", ""),
        ("XEmbed fallback (no watcher) after start-up: RSS / PSS / anonymous",
         megabytes(fallback_memory), ""),
        *([("XEmbed fallback: RSS / PSS / USS against the earlier build's", " / ".join(
            f"{(new - old) * 100.0 / old:+.1f} %" for new, old in zip(
                footprint["Ampora, XEmbed fallback"], footprint["earlier, XEmbed fallback"])),
            "within 10 %")] if len(bundles) > 1 else []),
        (f"XEmbed fallback: wake-ups while idle ({FALLBACK_IDLE_SECONDS} s)", f"{fallback_idle}",
         "0"),
        ("XEmbed fallback: SVG renderer loaded", "yes" if rsvg else "no", "no"),
        ("--watch --format=waybar: RSS / PSS / USS (× floor)", ratios(watch_memory, floor), ""),
        (f"--watch: wake-ups while idle ({FALLBACK_IDLE_SECONDS} s)", f"{watch_idle}", "0"),
    ]
    print(f"Machine: {conditions}")
    print("| measure | Ampora | target |")
    print("|---|---|---|")
    for name, value, target in rows:
        print(f"| {name} | {value} | {target} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
