#!/usr/bin/python3
"""Prints Google Benchmark JSON as one line per figure, each beside its reference.

A benchmark whose label is "reference=NAME" is compared with the benchmark NAME
of the same run; one that measured its reference itself, taking turns with it,
reports both medians as the counters median_s and reference_median_s. Counters
named peak_rss_bytes, and other counters in seconds (named *_s), become
figures of their own.
Line: name, value, unit, reference, ratio, then the same as a JSON object.
"""
import json
import sys

UNIT_SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def seconds(b):
    return b["real_time"] * UNIT_SCALE[b.get("time_unit", "ns")]


def main(path):
    with open(path) as f:
        data = json.load(f)
    runs = [b for b in data.get("benchmarks", []) if b.get("run_type", "iteration") == "iteration"]
    by_name = {b["name"]: b for b in runs}
    for b in runs:
        label = b.get("label", "")
        ref_name = label[len("reference="):] if label.startswith("reference=") else None
        value = b.get("median_s", seconds(b))
        ref_value = seconds(by_name[ref_name]) if ref_name in by_name else b.get("reference_median_s")
        figure = {"name": b["name"], "value": round(value, 6), "unit": "s",
                  "reference": round(ref_value, 6) if ref_value is not None else None,
                  "ratio": round(value / ref_value, 3) if ref_value else None}
        if ref_name:
            figure["reference_name"] = ref_name
        print(f"{b['name']:<48} {value:12.6f} s   ref {ref_value if ref_value is not None else '-'}"
              f"   ratio {figure['ratio'] if figure['ratio'] is not None else '-'}   {json.dumps(figure)}")
        for key, counter in b.items():
            # Further times a benchmark measured beside its own (the open's
            # total beside the progress bar's longest stand-still, say).
            if key.endswith("_s") and key not in ("median_s", "reference_median_s"):
                fig = {"name": f"{b['name']}/{key}", "value": round(counter, 6), "unit": "s"}
                print(f"{fig['name']:<48} {counter:12.6f} s   {json.dumps(fig)}")
            if key.endswith("peak_rss_bytes"):
                size = b.get("file_bytes")
                fig = {"name": f"{b['name']}/{key}", "value": int(counter), "unit": "bytes",
                       "reference": int(size) if size else None,
                       "ratio": round(counter / size, 3) if size else None}
                print(f"{fig['name']:<48} {int(counter):12d} B   ref {fig['reference']}   ratio {fig['ratio']}   "
                      f"{json.dumps(fig)}")


if __name__ == "__main__":
    main(sys.argv[1])
