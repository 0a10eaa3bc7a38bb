#!/usr/bin/python3
"""Turns the figures of bench/wine_rig.py into the Windows section of
bench/RESULTS.md and a table on the terminal; the other sections are kept.

    wine_report.py FIGURES.jsonl RESULTS.md
"""
import sys

import report


def pct(ticks, row):
    return 100.0 * ticks / row["clk_tck"] / row["seconds"]


def others_text(spent, row):
    parts = sorted(spent["others_by"].items(), key=lambda kv: -kv[1])
    shown = ", ".join("%s %.2f %%" % (n, pct(t, row)) for n, t in parts if t > 0)
    return shown or "none"


def table(rows):
    out = []

    def add(row, measure, console, yardstick="", target="", ok=None):
        out.append([row, measure, console, yardstick, target,
                    "" if ok is None else report.verdict(ok)])

    for r in rows:
        if r.get("row") != "wine-idle":
            continue
        c, w = r["console"], r["window"]
        c_total = pct(c["program"] + c["wineserver"], r)
        w_total = pct(w["program"] + w["wineserver"], r)
        add("W1 idle CPU",
            "%% of a core over %.0f s, %s: the program and its Wine server"
            % (r["seconds"], r["state"]),
            "%.2f %% (wendrel.exe %.2f %%, wineserver %.2f %%)" % (
                c_total, pct(c["program"], r), pct(c["wineserver"], r)),
            "bare window, 50 ms timer: %.2f %% (program %.2f %%, wineserver %.2f %%)" % (
                w_total, pct(w["program"], r), pct(w["wineserver"], r)),
            "<= 2 x the window's", c_total <= 2 * w_total)
        add("W1 idle CPU", "the rest of each Wine prefix, %s" % r["state"],
            others_text(c, r), "window's prefix: " + others_text(w, r))

    bare = {r["reader"]: r for r in rows if r.get("row") == "wine-burst"}
    for name, what in (("console", "the console (wendrel's dialog and device layer)"),
                       ("bare", "bare ReadFile loop, the system's default input buffers"),
                       ("bare-512", "bare ReadFile loop, 512 input buffers")):
        r = bare.get(name)
        if not r:
            continue
        got = "%d / %d, %.0f/s (board wrote %s at %s/s)" % (
            r["received"], r["lost"], r["rate"], r.get("board_written", "?"),
            "%.0f" % r["board_rate"] if r.get("board_rate") else "?")
        extra = " (buffers %d)" % r["buffers"] if "buffers" in r else ""
        add("W2 burst", "%s: received / lost, rate%s" % (what, extra), got,
            target="0 lost" if name == "console" else "",
            ok=(r["lost"] == 0) if name == "console" else None)
        n = max(r["received"], 1)
        cpu = r["cpu"]
        prefix_ticks = cpu["program"] + cpu["wineserver"] + cpu["others"]
        add("W2 burst", "%s: CPU per report" % what,
            "%.0f us in the process; %.0f us in all of Wine (wineserver %.0f us, %s)" % (
                r["cpu_ms"] * 1000 / n, prefix_ticks * 1e6 / r["clk_tck"] / n,
                cpu["wineserver"] * 1e6 / r["clk_tck"] / n,
                ", ".join("%s %.0f us" % (k, v * 1e6 / r["clk_tck"] / n)
                          for k, v in sorted(cpu["others_by"].items(), key=lambda kv: -kv[1])
                          if v > 0) or "nothing else"))
    return out


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    figures, results = argv[1], argv[2]
    rows = report.load(figures)
    guest = next((r for r in rows if r.get("row") == "wine-guest"), {})
    t = table(rows)
    header = ["Row", "Measure", "Console", "Yardstick", "Target", ""]
    for r in [header] + t:
        print("  ".join(r))
    facts = report.machine()
    lines = ["## Windows rows (Wine in the rig)", "",
             "Run of %s by `bench/wine-run.sh`. Host: %s, %s cores, %s, load average %s at the "
             "end; %s. Guest (TCG, no KVM): kernel %s, %s vCPUs, %s; the 32-bit program." % (
                 facts["date"], facts.get("cpu", "?"), facts["cores"], facts.get("memory", "?"),
                 facts["load"], facts.get("qemu", "qemu ?"), guest.get("kernel", "?"),
                 guest.get("cpus", "?"), guest.get("wine", "Wine ?")),
             "",
             "| " + " | ".join(header) + " |", "|---|---|---|---|---|---|"]
    for r in t:
        lines.append("| " + " | ".join(c.replace("|", "\\|") for c in r) + " |")
    lines += ["", "Raw figures of this run:", "", "```"]
    with open(figures) as f:
        lines.append(f.read().strip())
    lines.append("```")
    report.replace_section(results, "wine", "\n".join(lines))
    print("wine_report: wrote %s" % results)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
