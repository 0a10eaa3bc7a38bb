"""The benchmark table: one row per measure, from the figures of a run
(report.py prints it and writes it into bench/RESULTS.md)."""


def find(rows, row, **match):
    for r in rows:
        if r.get("row") == row and all(r.get(k) == v for k, v in match.items()):
            return r
    return {}


def fmt(value, digits=1, unit=""):
    if value is None or value == "":
        return "n/a"
    if isinstance(value, float) and not value.is_integer():
        return ("%%.%df" % digits) % value + unit
    return "%d" % value + unit


def verdict(ok):
    return "n/a" if ok is None else ("met" if ok else "MISSED")


class Table:
    """The rows of the table as they are added, and the figures they come
    from."""

    def __init__(self, rows):
        self.rows = rows
        self.tick = float(find(rows, "guest").get("clk_tck", 100))
        self.lines = []

    def add(self, row, measure, console, before="", yardstick="", target="", ok=None,
            judged=True):
        self.lines.append((row, measure, console, before, yardstick, target,
                           verdict(ok) if judged and target else ""))


def ms(v):
    return fmt(v, 1, " ms") if v is not None and v >= 0 else "n/a"


def reader(r, board):
    if not r:
        return ""
    return "%s / %s, %s/s (%s/s)" % (fmt(r.get("received")), fmt(r.get("lost")),
                                     fmt(r.get("rate"), 0), fmt(board.get("rate"), 0))


def per_report(r, key="cpu_ms"):
    v = r.get(key) if r else None
    return v * 1000.0 / r["received"] if v and v > 0 and r.get("received") else None


def burst_section(t):
    """A burst at the board's full rate: the console against the bare loop."""
    rows, add = t.rows, t.add
    def burst_rows(tag, how):
        row = "burst" if not tag else "burst-pinned"
        bare = find(rows, row, mode="bare")
        cons = find(rows, row, mode="receive", build=None)
        old = find(rows, row, mode="receive", build="before")
        suffix = "-pinned" if tag else ""
        if not cons:
            return
        add("1 burst", "received / lost, rate (board wrote at)%s" % how,
            reader(cons, find(rows, "board-console" + suffix)),
            reader(old, find(rows, "board-console-before" + suffix)),
            "bare hidapi loop " + reader(bare, find(rows, "board-bare" + suffix)))

        def ratio(r):
            return r["rate"] / bare["rate"] if r.get("rate") and bare.get("rate") else None
        rc, ro = ratio(cons), ratio(old)
        add("1 burst", "lost; rate / bare loop's rate%s" % how,
            "%s; %s" % (fmt(cons.get("lost")), fmt(rc, 3)),
            "%s; %s" % (fmt(old.get("lost")), fmt(ro, 3)) if old else "",
            "bare lost %s" % fmt(bare.get("lost")), "0 lost, >= 0.95",
            cons.get("lost") == 0 and rc is not None and rc >= 0.95)
        p99 = cons.get("box_p99_ms")
        add("1 burst", "report -> history box p50 / p99 / max%s" % how,
            "%s / %s / %s ms" % (fmt(cons.get("box_p50_ms")), fmt(p99), fmt(cons.get("box_max_ms"))),
            "%s / %s / %s ms" % (fmt(old.get("box_p50_ms")), fmt(old.get("box_p99_ms")),
                                 fmt(old.get("box_max_ms"))) if old else "",
            "to OnReceive p50 / p99 %s / %s ms" % (fmt(cons.get("owner_p50_ms")),
                                                   fmt(cons.get("owner_p99_ms"))),
            "p99 <= 16 ms", p99 is not None and p99 <= 16)
        gap = cons.get("ui_gap_burst_ms")
        add("1 burst", "largest UI-loop gap during the burst%s" % how, ms(gap),
            ms(old.get("ui_gap_burst_ms")) if old else "", "", "<= 50 ms",
            gap is not None and 0 <= gap <= 50)

        def cpu_text(r):
            whole, ui = per_report(r), per_report(r, "ui_cpu_ms")
            if whole is None:
                return ""
            return "%.0f us (user-interface thread %s us)" % (whole, fmt(ui, 0))
        if cons.get("cpu_ms") is not None:
            b = per_report(bare)
            add("1 burst", "CPU per report, the whole process%s" % how, cpu_text(cons),
                cpu_text(old), "bare hidapi loop %s" % ("%.0f us" % b if b else "n/a"))

    burst_rows("", "")
    burst_rows("pinned", ", board and reader on vCPUs of their own")


def shown_rows(t, kind, label):
    """The same burst with more shown in each row: "times" (arrival times),
    or "views" (times, the bytes and the connection and sends among the
    rows, all at once). The build before is shown with times, the most it
    had."""
    rows, add = t.rows, t.add
    def rows_for(pinned, how):
        suffix = "-pinned" if pinned else ""
        cons = find(rows, "burst-%s%s" % (kind, suffix), mode="receive", build=None)
        old = find(rows, "burst-times" + suffix, mode="receive", build="before")
        bare = find(rows, "burst" + suffix, mode="bare")
        if not cons:
            return

        def ratio(r):
            return r["rate"] / bare["rate"] if r.get("rate") and bare.get("rate") else None
        rc, ro = ratio(cons), ratio(old)
        add("1 burst", "%s: lost; rate / bare loop's rate%s" % (label, how),
            "%s; %s" % (fmt(cons.get("lost")), fmt(rc, 3)),
            "%s; %s" % (fmt(old.get("lost")), fmt(ro, 3)) if old else "",
            "bare lost %s" % fmt(bare.get("lost")), "0 lost, >= 0.95",
            cons.get("lost") == 0 and rc is not None and rc >= 0.95)
        p99 = cons.get("box_p99_ms")

        def latency(r):
            return "%s / %s / %s ms" % (fmt(r.get("box_p50_ms")), fmt(r.get("box_p99_ms")),
                                        fmt(r.get("box_max_ms")))
        add("1 burst", "%s: report -> history box p50 / p99 / max%s" % (label, how),
            latency(cons), latency(old) if old else "", "", "p99 <= 16 ms",
            p99 is not None and p99 <= 16)
        gap = cons.get("ui_gap_burst_ms")
        add("1 burst", "%s: largest UI-loop gap during the burst%s" % (label, how), ms(gap),
            ms(old.get("ui_gap_burst_ms")) if old else "", "", "<= 50 ms",
            gap is not None and 0 <= gap <= 50)

        def cpu_text(r):
            whole = per_report(r)
            return ("%s us (user-interface thread %s us)" % (
                fmt(whole, 0), fmt(per_report(r, "ui_cpu_ms"), 0)) if whole else "n/a")
        whole, b = per_report(cons), per_report(bare)
        judged = kind == "views" and pinned
        add("1 burst", "%s: CPU per report, the whole process%s" % (label, how),
            cpu_text(cons) + (" (%.1f x the bare loop)" % (whole / b) if whole and b else ""),
            cpu_text(old) if old else "", "bare hidapi loop %s" % ("%.0f us" % b if b else "n/a"),
            "<= 2 x the bare loop's" if judged else "",
            whole is not None and b is not None and whole <= 2 * b)
    rows_for(False, "")
    rows_for(True, ", board and reader on vCPUs of their own")


def times_section(t):
    shown_rows(t, "times", "times shown")


def views_section(t):
    shown_rows(t, "views", "times, bytes and events shown")


def quiet_section(t):
    """The burst's CPU without the gap probe's timer."""
    rows, add = t.rows, t.add
    quiet, quieto = find(rows, "burst-quiet", build=None), find(rows, "burst-quiet", build="before")
    if quiet:
        bare = find(rows, "burst", mode="bare")
        b = per_report(bare)

        def quiet_text(r):
            whole = per_report(r)
            if whole is None:
                return ""
            return "%.0f us (user-interface thread %s us, %.1f x the bare loop); rate / bare %s" % (
                whole, fmt(per_report(r, "ui_cpu_ms"), 0), whole / b if b else 0,
                fmt(r["rate"] / bare["rate"], 3) if r.get("rate") and bare.get("rate") else "n/a")
        whole = per_report(quiet)
        add("1 burst", "CPU per report, the whole process, without the gap probe's 1 ms timer",
            quiet_text(quiet), quiet_text(quieto),
            "bare hidapi loop %s" % ("%.0f us" % b if b else "n/a"), "<= 2 x the bare loop's",
            whole is not None and b is not None and whole <= 2 * b)


def latency_section(t):
    """Lone reports, 100 ms apart."""
    rows, add = t.rows, t.add
    lone, loneo = find(rows, "lone", build=None), find(rows, "lone", build="before")
    if lone:
        def lat(r):
            return "%s / %s / %s ms" % (fmt(r.get("box_p50_ms")), fmt(r.get("box_p99_ms")),
                                        fmt(r.get("box_max_ms"))) if r else ""
        p50, p99 = lone.get("box_p50_ms"), lone.get("box_p99_ms")
        add("4 latency", "report -> history box, lone reports 100 ms apart: p50 / p99 / max "
            "(%s reports)" % fmt(lone.get("received")), lat(lone), lat(loneo),
            "to OnReceive p50 / p99 %s / %s ms" % (fmt(lone.get("owner_p50_ms")),
                                                   fmt(lone.get("owner_p99_ms"))),
            "p50 <= 2 ms, p99 <= 16 ms", p50 is not None and p99 is not None and p50 <= 2 and p99 <= 16)


def browse_section(t):
    """Browsing a full ring; the Python readers' bursts."""
    rows, add = t.rows, t.add
    br = find(rows, "browse", mode="browse")
    if br:
        for part, what in (("page", "paging with PageUp from the newest to the oldest row and "
                            "back (%s keys)" % fmt(br.get("page_steps"))),
                           ("find", "finding text in a full ring (%s searches, %s found, %s "
                            "not there)" % (fmt(br.get("find_steps")), fmt(br.get("found")),
                                           fmt(br.get("missed")))),
                           ("times", "turning times on and off over 1000 rows (%s times)"
                            % fmt(br.get("times_steps"))),
                           ("bytes", "turning bytes on and off over 1000 rows (%s times)"
                            % fmt(br.get("bytes_steps"))),
                           ("events", "turning events on and off over 1000 rows (%s times)"
                            % fmt(br.get("events_steps")))):
            gap = br.get("ui_gap_%s_ms" % part)
            if gap is None:
                continue
            add("4 UI loop", "largest gap while %s" % what, ms(gap), "",
                "longest step %s" % ms(br.get("%s_step_max_ms" % part)), "<= 50 ms",
                gap is not None and 0 <= gap <= 50)
    for name, tag in (("python3-hid (libusb backend)", "python-hid"),
                      ("python3 os.read on hidraw", "python-hidraw")):
        r = find(rows, "burst", mode=tag)
        if r:
            add("1 burst", "%s: received / lost, rate (board wrote at)" % name,
                reader(r, find(rows, "board-" + tag)))


def idle_section(t):
    """Idle CPU, disconnected and connected."""
    rows, add = t.rows, t.add
    def cpu(r, key):
        if not r or key not in r:
            return None
        return 100.0 * r[key] / float(r.get("clk_tck", t.tick)) / float(r["seconds"])

    def pct(v):
        return "n/a" if v is None else "%.2f %%" % v

    r = find(rows, "cpu", state="disconnected")
    if r:
        c = cpu(r, "console_ticks")
        add("2 idle CPU", "%% of a core over %.0f s, disconnected" % float(r["seconds"]), pct(c),
            pct(cpu(r, "before_ticks")) if "before_ticks" in r else "",
            "bare dialog %s" % pct(cpu(r, "idle_ticks")))
    r = find(rows, "cpu", state="connected")
    if r:
        c, b = cpu(r, "console_ticks"), cpu(r, "bare_ticks")
        add("2 idle CPU", "%% of a core over %.0f s, connected and silent" % float(r["seconds"]),
            pct(c), pct(cpu(r, "before_ticks")) if "before_ticks" in r else "",
            "bare hidapi loop %s; bare dialog %s" % (pct(b), pct(cpu(r, "idle_ticks"))),
            "<= the bare loop's", c is not None and b is not None and c <= b)
    r = find(rows, "cpu-host")
    if r:
        add("2 idle CPU", "%% of a core over %.0f s, disconnected, on the host's own CPU"
            % float(r["seconds"]), pct(cpu(r, "console_ticks")), "",
            "bare dialog %s" % pct(cpu(r, "idle_ticks")))


def hotplug_section(t):
    """Plugging and unplugging, also during a stuck write and an event storm."""
    rows, add = t.rows, t.add
    hp, hpo = find(rows, "hotplug", build=None), find(rows, "hotplug", build="before")

    def pm(r, what):
        if not r:
            return ""
        return "%s / %s ms" % (fmt(r.get(what + "_p50_ms")), fmt(r.get(what + "_max_ms")))
    if hp:
        worst = hp.get("plug_max_ms")
        add("3 hotplug", "node appears -> \"VID:0x04D8 / PID:0x003F\", p50 / max of %s"
            % fmt(hp.get("measured_plug")), pm(hp, "plug"), pm(hpo, "plug"), "",
            "<= first open (~59 ms) + one tick (50 ms)",
            worst is not None and worst <= 110 and hp.get("failures") == 0)
        add("3 hotplug", "node vanishes -> \"Non Connections\", p50 / max of %s"
            % fmt(hp.get("measured_unplug")), pm(hp, "unplug"), pm(hpo, "unplug"), "",
            "<= 50 ms", (hp.get("unplug_max_ms") or 1e9) <= 50)
        gap = hp.get("ui_gap_hotplug_ms")
        loop = find(rows, "loop-hotplug", build=None)
        beside = []
        if loop:
            beside.append("a bare 1 ms timer loop beside it %s" % ms(loop.get("gap_max_ms")))
        if hp.get("tick_max_ms") is not None:
            beside.append("the console's longest tick %s, longest posted call %s"
                          % (ms(hp.get("tick_max_ms")), ms(hp.get("post_max_ms"))))
        add("3 hotplug", "largest UI-loop gap while a board is plugged and unplugged", ms(gap),
            ms(hpo.get("ui_gap_hotplug_ms")) if hpo else "", "; ".join(beside), "<= 50 ms",
            gap is not None and 0 <= gap <= 50)

        def held(r):
            if not r or "gap_cpu_ms" not in r:
                return ""
            return ("the thread on a CPU %s, waiting for one %s; longest event %s (%s); "
                    "tick %s, posted call %s" % (
                        ms(r.get("gap_cpu_ms")), ms(r.get("gap_waited_ms")),
                        ms(r.get("gap_event_ms")), r.get("gap_event", "?"),
                        ms(r.get("gap_tick_ms")), ms(r.get("gap_post_ms"))))
        add("3 hotplug", "... what held the loop in that gap", held(hp), held(hpo))
    sp, spo = find(rows, "stuckplug", build=None), find(rows, "stuckplug", build="before")
    if sp:
        gap = sp.get("ui_gap_stuck_ms")
        add("3 hotplug", "largest UI-loop gap while a board is plugged during another device's "
            "stuck write (%s stuck writes of ~5 s)" % fmt(sp.get("stuck_writes")), ms(gap),
            ms(spo.get("ui_gap_stuck_ms")) if spo else "", "", "<= 50 ms",
            gap is not None and 0 <= gap <= 50)

        def conn(r):
            if not r:
                return ""
            return ("connected %s after the stuck writes ended" % ms(r.get("writes_end_to_connected_ms"))
                    if r.get("connected") else "not connected within 60 s")
        add("3 hotplug", "... and the board connects", conn(sp), conn(spo), "",
            "as soon as the kernel lets the open through", None, judged=False)
    st, sto = find(rows, "storm", build=None), find(rows, "storm", build="before")
    if st:
        gap = st.get("ui_gap_storm_ms")
        def storm(r):
            return "%s (tick %s, on CPU %s)" % (ms(r.get("ui_gap_storm_ms")), ms(r.get("tick_max_ms")),
                                               ms(r.get("tick_cpu_max_ms")))
        add("3 storm", "largest UI-loop gap during %s unrelated device events (longest tick, "
            "and its time on the CPU)" % fmt(st.get("events")), storm(st),
            storm(sto) if sto else "",
            "", "<= 50 ms", gap is not None and 0 <= gap <= 50)


def stall_section(t):
    """A board that never reads."""
    rows, add = t.rows, t.add
    sl = find(rows, "stall")
    if sl:
        gap = sl.get("ui_gap_stall_ms")
        add("4 UI loop", "largest gap while \"Bootloder\" is pressed every 100 ms on a board "
            "that never reads (%s presses)" % fmt(sl.get("presses")), ms(gap), "",
            "longest press %s ms" % fmt(sl.get("press_max_ms")), "<= 50 ms",
            gap is not None and 0 <= gap <= 50)


def soak_section(t):
    """The plug/unplug soak."""
    rows, add = t.rows, t.add
    sk = find(rows, "soak")
    if sk:
        grew = None
        if sk.get("rss_warm_kb") and sk.get("rss_end_kb"):
            grew = sk["rss_end_kb"] - sk["rss_warm_kb"]
        add("6 soak", "%s plug/unplug cycles, 4 boards: time; longest tick; "
            "longest wait for a connection" % fmt(sk.get("cycles")),
            "%s s; %s ms; %s s" % (fmt(sk.get("seconds"), 0), fmt(sk.get("longest_tick_ms")),
                                   fmt(sk.get("longest_wait_s"))),
            "", "%s connections, %s lines" % (fmt(sk.get("connections")), fmt(sk.get("lines"))))
        add("6 soak", "descriptors, threads at start -> end; memory since cycle 100",
            "%s -> %s, %s -> %s; %s kB" % (fmt(sk.get("fds_start")), fmt(sk.get("fds_end")),
                                          fmt(sk.get("threads_start")),
                                          fmt(sk.get("threads_end")), fmt(grew, 0)),
            "", "", "unchanged; < 1024 kB", bool(sk.get("passed")))


def start_section(t):
    """Start-up time and memory."""
    rows, add = t.rows, t.add
    s = find(rows, "start")
    if s:
        c, i, o = s.get("console_shown_ms"), s.get("idle_shown_ms"), s.get("before_shown_ms")
        add("5 start", "start -> window mapped (second start)", fmt(float(c), 0, " ms"),
            fmt(float(o), 0, " ms") if o else "",
            "bare dialog %s (console %.2f x)" % (fmt(float(i), 0, " ms"), float(c) / float(i)),
            "<= 1.2 x bare dialog", float(c) <= 1.2 * float(i))
        k = s.get("controls_shown_ms")
        if k:
            add("5 start", "the same, against a dialog with the same kinds of controls and "
                "Japanese texts (it loads the same fonts)", fmt(float(c), 0, " ms"), "",
                "dialog with controls %s (console %.2f x)" % (fmt(float(k), 0, " ms"),
                                                              float(c) / float(k)),
                "<= 1.2 x", float(c) <= 1.2 * float(k))
        cr, ir, orss = s.get("console_rss_kb"), s.get("idle_rss_kb"), s.get("before_rss_kb")
        add("5 memory", "resident memory, shown and idle", "%.1f MB" % (cr / 1024.0),
            "%.1f MB" % (orss / 1024.0) if orss else "",
            "bare dialog %.1f MB (console %.2f x)" % (ir / 1024.0, cr / float(ir)),
            "<= 1.15 x bare dialog", cr <= 1.15 * ir)
        kr = s.get("controls_rss_kb")
        if kr:
            add("5 memory", "the same, against a dialog with the same kinds of controls and "
                "Japanese texts", "%.1f MB" % (cr / 1024.0), "",
                "dialog with controls %.1f MB (console %.2f x)" % (kr / 1024.0, cr / float(kr)),
                "<= 1.15 x", cr <= 1.15 * kr)
        r = find(rows, "cpu", state="connected")
        if r:
            add("5 memory", "resident memory after 10 s connected",
                "%.1f MB" % (r["console_rss_kb"] / 1024.0))
        m = find(rows, "memory-rows")
        if m and m.get("console_rss_kb") and m.get("controls_rss_kb"):
            cr, kr, orss = m["console_rss_kb"], m["controls_rss_kb"], m.get("before_rss_kb")
            add("5 memory", "resident memory holding %s rows of %s characters"
                % (fmt(m.get("rows")), fmt(m.get("row_chars"))), "%.1f MB" % (cr / 1024.0),
                "%.1f MB" % (orss / 1024.0) if orss else "",
                "dialog with controls %.1f MB (console %.2f x)" % (kr / 1024.0, cr / float(kr)),
                "<= 1.15 x", cr <= 1.15 * kr)


SECTIONS = (burst_section, times_section, views_section, quiet_section, latency_section, browse_section,
            idle_section, hotplug_section, stall_section, soak_section, start_section)


def bench_table(rows):
    """Rows of (row, measure, console, before, yardstick, target, verdict);
    "before" is the same measure for an earlier build run in the same boot
    (rig.sh BEFORE_DIR), empty when there was none."""
    t = Table(rows)
    for section in SECTIONS:
        section(t)
    return find(rows, "guest"), t.lines
