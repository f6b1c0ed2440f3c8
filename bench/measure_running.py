"""Measures the running monitor on a simulated laptop and prints one table.

Run through bench/measure-running, which builds the release tree and provides the session bus,
the virtual display and the umockdev preload. Usage: measure_running.py BUNDLE
"""
import os
import platform
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/linux"))
import tray_driver as tray  # noqa: E402

STARTS = 7
IDLE_SECONDS = 60
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
                count = 0
                for line in status:
                    key, _, value = line.partition(":")
                    if key.endswith("ctxt_switches"):
                        count += int(value)
                switches[int(task)] = count
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return switches


def wake_ups(before, after):
    """Context switches between two samples, and how many threads ended meanwhile. A thread
    that ended woke at least once to do so; its last count can't be read any more."""
    total = 0
    ended = 0
    for tid, count in after.items():
        total += count - before.get(tid, 0)
    for tid in before:
        if tid not in after:
            ended += 1
            total += 1
    return total, ended


def memory_kb(pid):
    """Resident and proportional set sizes, in kB."""
    sizes = {}
    with open(f"/proc/{pid}/smaps_rollup", encoding="ascii") as rollup:
        for line in rollup:
            key, _, rest = line.partition(":")
            if key in ("Rss", "Pss"):
                sizes[key] = int(rest.split()[0])
    return sizes["Rss"], sizes["Pss"]


def thread_names(pid):
    names = []
    for task in sorted(os.listdir(f"/proc/{pid}/task"), key=int):
        with open(f"/proc/{pid}/task/{task}/comm", encoding="utf-8") as comm:
            names.append(comm.read().strip())
    return names


def title_for(current_ua):
    """What a charging battery drawing current_ua shows."""
    return f"-{current_ua // 1000}"


class Sender:
    """Battery change events with a distinct current each, so every reading is told apart."""

    def __init__(self, laptop, titles):
        self.laptop = laptop
        self.titles = titles
        self.path = laptop.paths["BAT0"]
        self.next_ma = 1000

    def _set_next(self):
        self.next_ma = self.next_ma + 1 if self.next_ma < 9999 else 1000
        current = self.next_ma * 1000
        self.laptop.testbed.set_attribute(self.path, "current_now", str(current))
        return title_for(current)

    def one(self):
        """One event; returns seconds from sending it to the new title on the bus."""
        title = self._set_next()
        sent = time.monotonic()
        self.laptop.testbed.uevent(self.path, "change")
        return self.titles.wait_for(title) - sent

    def burst(self, count):
        for start in range(0, count, SLICE):
            for _ in range(min(SLICE, count - start)):
                title = self._set_next()
                self.laptop.testbed.uevent(self.path, "change")
            self.titles.wait_for(title)


def settle(seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        tray.pump(0.2)


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


def main():
    monitor_path = os.path.join(sys.argv[1], "Contents/MacOS/Ampora")
    laptop = tray.SimulatedLaptop()
    laptop.laptop_on_mains()
    bus = tray.SessionBus()
    env = tray.monitor_environment(laptop)
    conditions = machine()
    first_title = title_for(int(tray.CHARGING_BATTERY["current_now"]))

    # Start-up: spawn to the first title announced on the bus, several times.
    starts = []
    monitor = None
    for run in range(STARTS):
        titles = tray.TitleSignals(bus)
        spawned = time.monotonic()
        monitor = tray.start(monitor_path, env)
        starts.append(titles.wait_for(first_title) - spawned)
        threads_at_first_title = thread_names(monitor.pid)
        titles.close()
        if run < STARTS - 1:
            monitor.terminate()
            monitor.wait()
    print(f"start-up: {STARTS} runs done", file=sys.stderr)

    try:
        pid = monitor.pid
        item = tray.TrayItem(bus, pid)
        titles = tray.TitleSignals(bus, item.name)
        settle(SETTLE_SECONDS)
        threads = thread_names(pid)
        rss_start, pss_start = memory_kb(pid)

        before = context_switches(pid)
        time.sleep(IDLE_SECONDS)
        idle_switches, ended = wake_ups(before, context_switches(pid))
        idle_threads = thread_names(pid)
        print(f"idle: {IDLE_SECONDS} s done", file=sys.stderr)

        sender = Sender(laptop, titles)
        latencies = [sender.one() for _ in range(LATENCY_EVENTS)]
        print(f"latency: {LATENCY_EVENTS} events done", file=sys.stderr)

        burst_started = time.monotonic()
        sender.burst(BURST_EVENTS)
        burst_seconds = time.monotonic() - burst_started
        settle(SETTLE_SECONDS)
        rss_end, pss_end = memory_kb(pid)
        shown = item.title()
        if shown != titles.last:
            raise RuntimeError(f"the tray shows {shown!r}, the last title announced was "
                               f"{titles.last!r}")
    finally:
        monitor.terminate()
        monitor.wait()

    growth = (pss_end - pss_start) * 100.0 / pss_start
    ms = 1000.0
    rows = [
        (f"wake-ups while idle (context switches, all threads, {IDLE_SECONDS} s)",
         f"{idle_switches}" + (f" ({ended} thread(s) retiring)" if ended else ""), "0"),
        ("memory after start-up: RSS", f"{rss_start / 1024:.1f} MB", ""),
        ("memory after start-up: PSS", f"{pss_start / 1024:.1f} MB", ""),
        (f"PSS after {BURST_EVENTS + LATENCY_EVENTS:,} more battery changes",
         f"{pss_end / 1024:.1f} MB ({growth:+.2f} %)", "growth < 1 %"),
        (f"change to new title on the bus, median ({LATENCY_EVENTS:,} events)",
         f"{statistics.median(latencies) * ms:.2f} ms", "< 5 ms"),
        (f"change to new title on the bus, p99 ({LATENCY_EVENTS:,} events)",
         f"{percentile(latencies, 0.99) * ms:.2f} ms", ""),
        (f"start-up to first title, median of {STARTS}",
         f"{statistics.median(starts) * ms:.0f} ms", "< 300 ms"),
        ("threads at the first title", f"{len(threads_at_first_title)} "
         f"({', '.join(threads_at_first_title)})", "as few as the toolkit allows"),
        (f"threads {SETTLE_SECONDS:.0f} s later", f"{len(threads)} ({', '.join(threads)})", ""),
        ("threads after idling", f"{len(idle_threads)} ({', '.join(idle_threads)})", ""),
        (f"{BURST_EVENTS:,} changes sent {SLICE} at a time, each batch's last one shown",
         f"{burst_seconds:.1f} s", ""),
    ]
    print(f"Machine: {conditions}")
    print("| measure | Ampora | target |")
    print("|---|---|---|")
    for name, value, target in rows:
        print(f"| {name} | {value} | {target} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
