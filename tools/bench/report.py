#!/usr/bin/env python3
"""Turns the raw measurements of scripts/bench.sh into report.md, report.json and ratios.png.

  report.py OUT ROUNDS LABEL...

OUT holds native-LABEL-N.jsonl and des-LABEL-N.jsonl for each label ("after", and "before" when
an earlier library was measured beside it) and round N, and calls.jsonl / attach.jsonl from Wine
when Wine could run.  A call's wire bound is its line time (bytes x 11 bits / line speed, from the
simulator's frame log) plus the simulator's processing time plus any pause the protocol
prescribes; its ratio is the median wall time over the bound.  Each round gives one ratio per
call; the report gives the median of the rounds and their spread."""
import json
import os
import statistics
import subprocess
import sys

out, rounds, labels = sys.argv[1], int(sys.argv[2]), sys.argv[3:]


def read(name):
    path = os.path.join(out, name)
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [json.loads(l) for l in f if l.strip()]


def bound(c):
    return c["line_us"] + c["processing_us"] + c["pause_us"]


def summary(values):
    return {"median": statistics.median(values), "min": min(values), "max": max(values)}


# name -> label -> {"rounds": [...rows], ...}
native = {}
order = []
for label in labels:
    for r in range(1, rounds + 1):
        for c in read("native-%s-%d.jsonl" % (label, r)):
            if c["name"] not in native:
                native[c["name"]] = {}
                order.append(c["name"])
            native[c["name"]].setdefault(label, []).append(c)

rows = []
for name in order:
    row = {"name": name}
    for label, runs in native[name].items():
        first = runs[0]
        row["group"] = first["group"]
        row["frames"] = first["frames_in"]
        row["bytes_out"], row["bytes_in"] = first["bytes_in"], first["bytes_out"]
        row["serial"] = "%d/%d/%d" % (first.get("serial_writes", 0), first.get("serial_reads", 0),
                                      first.get("serial_settings", 0))
        row[label] = {
            "bound_us": bound(first),
            "line_us": first["line_us"], "processing_us": first["processing_us"],
            "pause_us": first["pause_us"], "pauses": first["pauses"],
            "results": sorted({c["result"] for c in runs}),
            "median_us": summary([c["median_us"] for c in runs]),
            "min_us": min(c["min_us"] for c in runs), "max_us": max(c["max_us"] for c in runs),
            "ratio": summary([c["median_us"] / bound(c) for c in runs]),
            "cpu_us": summary([c["cpu_us"] for c in runs]),
            "allocs_per_call": max(c["allocs_per_call"] for c in runs),
        }
    rows.append(row)

des = {}
des_order = []
for label in labels:
    for r in range(1, rounds + 1):
        for d in read("des-%s-%d.jsonl" % (label, r)):
            if d["name"] not in des:
                des[d["name"]] = {}
                des_order.append(d["name"])
            des[d["name"]].setdefault(label, []).append(d)
des_rows = []
for name in des_order:
    row = {"name": name}
    for label, runs in des[name].items():
        row[label] = {"ours_ns_per_block": summary([d["ours_ns_per_block"] for d in runs]),
                      "openssl_ns_per_block": summary([d["openssl_ns_per_block"] for d in runs]),
                      "ratio": summary([d["ratio"] for d in runs])}
    des_rows.append(row)

wine_calls = read("calls.jsonl")
for c in wine_calls:
    c["bound_us"] = bound(c)
    c["ratio"] = c["median_us"] / c["bound_us"] if c["bound_us"] else None

# The platform's floor under each call, from the same operations made without the library: a
# reader frame exchanged by a bare host (what it takes beyond its own wire bound is the platform's
# read and write completion, per frame), a card access window and an answered PIN dialog.
# The floor rows are measured before and after the library's calls: the report takes the mean of
# the two medians, each kept in the raw data.
floor = {}
for c in [c for c in wine_calls if c.get("group") == "floor"]:
    if c["name"] in floor:
        first = floor[c["name"]]
        first["median_us"] = (first["median_us"] + c["median_us"]) / 2
        first["min_us"], first["max_us"] = min(first["min_us"], c["min_us"]), max(first["max_us"], c["max_us"])
        first["cpu_us"] = (first["cpu_us"] + c["cpu_us"]) / 2
        first["calls"] += c["calls"]
        first["ratio"] = first["median_us"] / first["bound_us"] if first["bound_us"] else None
        wine_calls.remove(c)
    else:
        floor[c["name"]] = c
exchange = floor.get("a bare reader frame exchange")
platform = None
if exchange and "a bare card access window" in floor and "a bare PIN dialog, answered" in floor:
    window = floor["a bare card access window"]
    pin = floor["a bare PIN dialog, answered"]
    port = next((c for n, c in floor.items() if n.startswith("bare port calls besides frames")), None)
    port_calls = int(port["name"].split("(")[1].rstrip(")")) if port else 0
    # The port calls besides frames each call makes: the same library code counted natively.
    other_calls = {r["name"]: int(r["serial"].split("/")[2]) for r in rows}
    platform = {"port_call_us": port["median_us"] / port_calls if port else 0.0,
                "port_call_cpu_us": port["cpu_us"] / port_calls if port else 0.0,
                "frame_us": max(0.0, exchange["median_us"] - exchange["bound_us"]),
                "window_us": window["median_us"], "pin_dialog_us": pin["median_us"],
                "frame_cpu_us": exchange["cpu_us"], "window_cpu_us": window["cpu_us"],
                "pin_dialog_cpu_us": pin["cpu_us"]}
    for c in wine_calls:
        if c.get("group") == "floor" or "windows" not in c:
            continue
        c["other_port_calls"] = other_calls.get(c["name"], 0)
        c["platform_us"] = (c["frames_in"] * platform["frame_us"]
                            + c["other_port_calls"] * platform["port_call_us"]
                            + (c["windows"] - c["pin_dialogs"]) * platform["window_us"]
                            + c["pin_dialogs"] * platform["pin_dialog_us"])
        c["platform_ratio"] = c["median_us"] / (c["bound_us"] + c["platform_us"])
        c["cpu_beyond_floor_us"] = c["cpu_us"] - (
            c["frames_in"] * platform["frame_cpu_us"]
            + c["other_port_calls"] * platform["port_call_cpu_us"]
            + (c["windows"] - c["pin_dialogs"]) * platform["window_cpu_us"]
            + c["pin_dialogs"] * platform["pin_dialog_cpu_us"])
attach = {}
for a in read("attach.jsonl"):
    # "keys": the loads made with site keys stored (the library and the floor DLL then open them).
    attach.setdefault((a["host"], a["dll"], a.get("keys", False)), []).append(a["us"])
attach_rows = []
for keys in (False, True):
    for host in ("gui", "bare"):
        lib = attach.get((host, "ZUKcntrl.dll", keys), [])
        empty = attach.get((host, "zukempty.dll", keys), [])
        if lib and empty:
            row = {"host": host + (", site keys" if keys else ""), "site_keys": keys, "loads": len(lib),
                   "library_us": summary(lib), "empty_us": summary(empty),
                   "ratio": statistics.median(lib) / statistics.median(empty)}
            calls_only = attach.get((host, "zukattachfloor.dll", keys), [])  # the load's system calls alone
            if calls_only:
                row["calls_only_us"] = summary(calls_only)
                row["calls_only_ratio"] = statistics.median(lib) / statistics.median(calls_only)
            before = attach.get((host, "before", keys), [])  # ZUK_BENCH_BEFORE_DLL, loaded in the same run
            if before:
                row["before_us"] = summary(before)
                row["before_ratio"] = statistics.median(before) / statistics.median(empty)
            attach_rows.append(row)

account = next((r for r in rows if r["name"] == "ZUKGetUserAccount (no PIN)"), None)
cpu_share = ({label: account[label]["cpu_us"]["median"] / account[label]["median_us"]["median"]
              for label in labels if label in account} if account else {})

with open(os.path.join(out, "report.json"), "w") as f:
    json.dump({"rounds": rounds, "labels": labels, "native": rows, "des": des_rows,
               "account_cpu_share": cpu_share, "wine_calls": wine_calls, "attach": attach_rows,
               "wine_platform_floor": platform,
               "wine_skipped": os.path.exists(os.path.join(out, "wine-skipped.txt"))}, f, indent=2)


def ms(us):
    return "%.2f" % (us / 1000.0)


def spread(s, fmt="%.3f"):
    return (fmt + " (" + fmt + "–" + fmt + ")") % (s["median"], s["min"], s["max"])


md = ["# Benchmark report", "",
      "Native core over the in-memory platform, against the in-process simulated reader paced to",
      "real line time (reader 1000 us per frame, card 3000 us per card command).  %d rounds; a"
      % rounds,
      "ratio is median wall / wire bound, given as the median of the rounds (lowest–highest).", ""]
head = "| Call | frames | bytes out/in | port calls w/r/other | bound ms | median ms |"
line = "|---|---|---|---|---|---|"
for label in labels:
    head += " ratio %s |" % label
    line += "---|"
head += " CPU us/call %s | allocations/call %s |" % ("/".join(labels), "/".join(labels))
line += "---|---|"
md += [head, line]
for r in rows:
    a = r["after"]
    cells = "| %s | %d | %d/%d | %s | %s | %s |" % (
        r["name"], r["frames"], r["bytes_out"], r["bytes_in"], r["serial"], ms(a["bound_us"]),
        ms(a["median_us"]["median"]))
    for label in labels:
        cells += " %s |" % (spread(r[label]["ratio"]) if label in r else "-")
    cells += " %s | %s |" % ("/".join("%.0f" % r[l]["cpu_us"]["median"] for l in labels if l in r),
                             "/".join("%.2f" % r[l]["allocs_per_call"] for l in labels if l in r))
    bad = [str(x) for l in labels if l in r for x in r[l]["results"] if x != 0]
    if bad:
        cells += " result %s" % ",".join(bad)
    md.append(cells)
md += ["", "No bound contains a pause: none of these calls meets a busy answer (the 100 ms resend",
       "pause), an incomplete frame (50 ms) or a wrong PIN (2000 ms)."]
for label, share in cpu_share.items():
    md.append("Library CPU of ZUKGetUserAccount (no PIN), %s: %.2f %% of its wall time." %
              (label, 100 * share))
md += ["", "## DES and two-key triple DES against OpenSSL (native, per 8-byte block)", "",
       "| Case |" + "".join(" ours ns %s | OpenSSL ns %s | ratio %s |" % (l, l, l) for l in labels),
       "|---|" + "---|---|---|" * len(labels)]
for d in des_rows:
    md.append("| %s |" % d["name"] + "".join(
        " %.0f | %.0f | %s |" % (d[l]["ours_ns_per_block"]["median"],
                                 d[l]["openssl_ns_per_block"]["median"], spread(d[l]["ratio"], "%.2f"))
        for l in labels if l in d))
if wine_calls:
    md += ["", "## Under Wine: the DLL against zuk-reader-sim --pace", "",
           "The platform floor of a call is what the same operations cost a host without the library",
           "(the rows marked floor): frames x a bare exchange's time beyond its wire bound, plus the",
           "port calls besides frames (opening, line set-up, speed changes, closing; counted natively",
           "on the same library code) x a bare port call's mean time, plus its windows x a bare card",
           "access window or answered PIN dialog.  Thread CPU time under Wine",
           "counts in steps of 10 ms: the CPU columns are averages of such steps.", "",
           "| Call | calls | min ms | median ms | max ms | bytes out/in | bound ms | ratio | windows |"
           " platform floor ms | ratio to bound + floor | CPU us | CPU us beyond the floor's | allocations |",
           "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    for c in wine_calls:
        md.append("| %s | %d | %s | %s | %s | %d/%d | %s | %s | %s | %s | %s | %.0f | %s | %.2f |" % (
            c["name"] + (" (floor)" if c.get("group") == "floor" else ""), c["calls"],
            ms(c["min_us"]), ms(c["median_us"]), ms(c["max_us"]),
            c["bytes_in"], c["bytes_out"], ms(c["bound_us"]),
            "%.3f" % c["ratio"] if c["ratio"] else "-", c.get("windows", "-"),
            ms(c["platform_us"]) if "platform_us" in c else "-",
            "%.3f" % c["platform_ratio"] if "platform_ratio" in c else "-",
            c["cpu_us"], "%.0f" % c["cpu_beyond_floor_us"] if "cpu_beyond_floor_us" in c else "-",
            c["allocs_per_call"]))
    with_before = any("before_us" in a for a in attach_rows)
    with_calls = any("calls_only_us" in a for a in attach_rows)
    md += ["", "| Attach host | loads | library median ms (min-max) | empty DLL median ms (min-max) | ratio |"
           + (" load's system calls alone: median ms (min-max) | ratio to them |" if with_calls else "")
           + (" before: median ms (min-max) | before: ratio |" if with_before else ""),
           "|---|---|---|---|---|" + ("---|---|" if with_calls else "") + ("---|---|" if with_before else "")]
    span = lambda s: "%s (%s-%s)" % (ms(s["median"]), ms(s["min"]), ms(s["max"]))
    for a in attach_rows:
        line = "| %s | %d | %s | %s | %.2f |" % (a["host"], a["loads"], span(a["library_us"]),
                                                 span(a["empty_us"]), a["ratio"])
        if with_calls:
            line += " %s | %s |" % ((span(a["calls_only_us"]), "%.2f" % a["calls_only_ratio"])
                                    if "calls_only_us" in a else ("-", "-"))
        if with_before:
            line += " %s | %s |" % ((span(a["before_us"]), "%.2f" % a["before_ratio"])
                                    if "before_us" in a else ("-", "-"))
        md.append(line)
else:
    md += ["", "No Wine measurements in this run (this machine cannot run 32-bit programs)."]
md.append("")
with open(os.path.join(out, "report.md"), "w") as f:
    f.write("\n".join(md))

# The chart: each export's ratio to its wire bound (one bar per label), and DES against OpenSSL.
bars = [r for r in rows if r.get("group") == "export"]
data = os.path.join(out, "ratios.dat")
with open(data, "w") as f:
    f.write("name " + " ".join(labels) + "\n")
    for r in bars:
        f.write('"%s" %s\n' % (r["name"], " ".join(
            "%.4f" % r[l]["ratio"]["median"] if l in r else "NaN" for l in labels)))
    for d in des_rows:
        f.write('"%s vs OpenSSL" %s\n' % (d["name"], " ".join(
            "%.4f" % d[l]["ratio"]["median"] if l in d else "NaN" for l in labels)))
plots = ", ".join("'%s' using %d:xtic(1) title '%s'" % (data, i + 2, l) for i, l in enumerate(labels))
script = """set terminal pngcairo size 1200,650 noenhanced
set output '%s'
set style data histogram
set style histogram cluster gap 1
set style fill solid 0.7
set boxwidth 0.9
set logscale y
set yrange [0.5:*]
set grid ytics
set xtics rotate by -35 font ',8'
set ylabel 'median wall / wire bound; DES: ours / OpenSSL'
set title 'ZUKcntrl: time against its floor (1 = the floor; dashed: 1.03)'
set key top left
plot %s, 1.03 with lines dt 2 lc 'red' notitle
""" % (os.path.join(out, "ratios.png"), plots)
try:
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
except (OSError, subprocess.CalledProcessError) as e:
    print("report.py: no chart (%s)" % e, file=sys.stderr)
    sys.exit(1)

# A measurement of calls that failed measures something else: say so in the exit status.
# A cancel row succeeds when every call it measures ended cancelled (ZUK_CANCELLED, -1).
def succeeded(group):
    return -1 if group == "cancel" else 0
failed = [r["name"] for r in rows for l in labels
          if l in r and r[l]["results"] != [succeeded(r.get("group"))]]
failed += [c["name"] for c in wine_calls if c["result"] != succeeded(c.get("group"))]
if not rows or failed:
    print("report.py: calls that did not succeed: %s" % (", ".join(failed) or "no measurements"),
          file=sys.stderr)
    sys.exit(1)
