"""The SVG of `orv plot` in headless Chromium driven by Selenium, against the
layout the PNG canvas (cairo) gives the same figure (the plot_layout helper of
the Linux build). For a plot of several instruments and one of several
spectra of one instrument, at two sizes: every label's box lies inside the
picture, no two labels overlap, each box is within a few pixels of cairo's,
and each label is as wide in Chromium as the SVG canvas measured it (the
advance table of DejaVu Sans is honest). With ORV_REFERENCE_PROGRAM (the Linux
build's orv, when the program is the Windows build's under wine) the SVG is
byte for byte the one the reference writes.
Exit status 77 (skipped, with the reason) when Chromium, its driver, Selenium
or the plot_layout helper is missing; 0 when every check passed; 1 otherwise."""

import json
import os
import subprocess
import sys

from live_page_browser_check import browser, close_browser, skip
from orv_e2e import OUTPUT_DIR, Checklist, orv, scratch

LAYOUT = os.environ.get("ORV_PLOT_LAYOUT", "")
REFERENCE = os.environ.get("ORV_REFERENCE_PROGRAM", "")
TOLERANCE_PX = 3.0  # cairo's hinted advances against the font's own
WIDTH_TOLERANCE_PX = 0.5  # Chromium's advances against the table's

BOXES = """return Array.from(document.querySelectorAll('text')).map(function (t) {
  var r = t.getBoundingClientRect();
  return [t.textContent, r.left, r.top, r.right, r.bottom, t.getComputedTextLength()];
});"""


def overlap(a, b):
    """Whether two boxes (left, top, right, bottom) share more than an edge."""
    return min(a[2], b[2]) - max(a[0], b[0]) > 0.5 and min(a[3], b[3]) - max(a[1], b[1]) > 0.5


def main():
    if not LAYOUT or not os.path.exists(LAYOUT):
        skip(f"the plot_layout helper of the Linux build is missing ({LAYOUT or 'unset'})")
    driver, profile = browser()
    check = Checklist()

    folder = scratch("plot_svg_browser")
    tables = {}
    for name, devices in (("instruments", ["-d", "all"]), ("spectra", ["-d", "ORVSIM01"])):
        tables[name] = os.path.join(folder, name + ".csv")
        run = orv("read", *devices, "--count", "3", "-o", tables[name])
        if run.status != 0:
            raise SystemExit(f"orv read failed: {run}")
    try:
        for name, width, height in (("instruments", 1200, 700), ("spectra", 640, 400)):
            case = f"{name} {width}x{height}"
            svg = os.path.join(folder, f"{name}-{width}x{height}.svg")
            run = orv("plot", "-i", tables[name], "-o", svg, "--size", f"{width}x{height}",
                      scenario_name="empty")
            check(run.status == 0, f"{case}: orv plot wrote the SVG ({run.status}: {run.err})")
            if run.status != 0:
                continue
            if REFERENCE:
                reference = svg + ".reference.svg"
                subprocess.run([REFERENCE, "plot", "-i", tables[name], "-o", reference, "--size",
                                f"{width}x{height}"], check=True, capture_output=True)
                with open(svg, "rb") as ours, open(reference, "rb") as theirs:
                    check(ours.read() == theirs.read(),
                          f"{case}: the same SVG as {REFERENCE} writes")
            layout = subprocess.run([LAYOUT, tables[name], str(width), str(height),
                                     svg + ".png"], check=True, capture_output=True, text=True)
            expected = [json.loads(line) for line in layout.stdout.splitlines()]

            driver.get("file://" + os.path.abspath(svg))
            shown = driver.execute_script(BOXES)
            check([label[0] for label in shown] == [label["text"] for label in expected],
                  f"{case}: Chromium shows the {len(expected)} labels cairo draws, in order")
            boxes = [label[1:5] for label in shown]
            outside = [label[0] for label in shown if label[1] < -0.5 or label[2] < -0.5
                       or label[3] > width + 0.5 or label[4] > height + 0.5]
            check(not outside, f"{case}: every label inside the picture (outside: {outside})")
            overlapping = [(shown[i][0], shown[k][0]) for i in range(len(boxes))
                           for k in range(i + 1, len(boxes)) if overlap(boxes[i], boxes[k])]
            check(not overlapping, f"{case}: no two labels overlap ({overlapping})")
            apart = [(label[0], [round(v, 1) for v in label[1:5]], want["box"])
                     for label, want in zip(shown, expected)
                     if max(abs(a - b) for a, b in zip(label[1:5], want["box"])) > TOLERANCE_PX]
            check(not apart, f"{case}: label boxes within {TOLERANCE_PX} px of cairo's ({apart})")
            widths = [(label[0], label[5], want["table_width"])
                      for label, want in zip(shown, expected)
                      if abs(label[5] - want["table_width"]) > WIDTH_TOLERANCE_PX]
            check(not widths, f"{case}: labels as wide as the advance table says ({widths})")
            driver.save_screenshot(os.path.join(OUTPUT_DIR, f"orv-plot-{name}.png"))
    finally:
        close_browser(driver, profile)
    return check.exit_status()


if __name__ == "__main__":
    sys.exit(main())
