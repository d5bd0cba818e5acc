#!/usr/bin/env python3
"""Renders the chart writer's sample figures and checks the pictures.

Usage: check_chart_render.py CHART_SAMPLES OUTPUT_DIRECTORY

CHART_SAMPLES writes NAME.svg and NAME.json into OUTPUT_DIRECTORY; the JSON
lists reference lines and marker points in data units. Each SVG is rendered
by rsvg-convert (librsvg) to NAME.png and checked:

  * it is well-formed XML and renders without a message;
  * the picture is not blank: enough ink, and every series colour shows;
  * every tick label is drawn where its x/y attributes say;
  * the data-to-pixel mapping, derived from the tick labels' text and
    positions alone, puts each reference line on the row (or column) where
    the rendered picture has it, and each marker's centre where the picture
    shows its shape, within 2 pixels. On an axis of words (the groups of
    the observed chart) a word's row is its place in NAME.json's "names";
  * where NAME.json lists names: each is given whole in a <title> of a
    tick label on every axis of words, and no two pieces of text overlap
    or leave the picture, their boxes measured with the advance widths of
    the font file itself (DejaVu Sans, read here from its hmtx table).

Nothing here trusts the chart writer's own idea of where data go: positions
come from the SVG's tick labels and from the rendered pixels.

Exits 0 when every check passes, 1 when one fails, and 77 (skipped) when
rsvg-convert is not installed.
"""

import collections
import json
import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

SVG = "{http://www.w3.org/2000/svg}"
TOLERANCE_PX = 2.0


class CheckFailed(Exception):
    pass


def require(condition, message):
    if not condition:
        raise CheckFailed(message)


# --- PNG decoding (8-bit RGB or RGBA, not interlaced) ----------------------


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def unfilter(kind, line, prev, bpp):
    """Undoes one scanline's filter in place (PNG filter types, ISO/IEC 15948 clause 9)."""
    n = len(line)
    if kind == 0:
        return
    if kind == 1:  # Sub
        for i in range(bpp, n):
            line[i] = (line[i] + line[i - bpp]) & 0xFF
    elif kind == 2:  # Up
        for i in range(n):
            line[i] = (line[i] + prev[i]) & 0xFF
    elif kind == 3:  # Average
        for i in range(n):
            left = line[i - bpp] if i >= bpp else 0
            line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
    elif kind == 4:  # Paeth
        for i in range(n):
            left = line[i - bpp] if i >= bpp else 0
            up_left = prev[i - bpp] if i >= bpp else 0
            line[i] = (line[i] + paeth(left, prev[i], up_left)) & 0xFF
    else:
        raise CheckFailed(f"unknown PNG filter type {kind}")


class Image:
    """Pixels as rows of bytes; colours composited over white."""

    def __init__(self, path):
        data = open(path, "rb").read()
        require(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path}: not a PNG file")
        pos, idat, header = 8, [], None
        while pos < len(data):
            length, kind = struct.unpack(">I4s", data[pos : pos + 8])
            body = data[pos + 8 : pos + 8 + length]
            (crc,) = struct.unpack(">I", data[pos + 8 + length : pos + 12 + length])
            require(zlib.crc32(kind + body) == crc, f"{path}: bad CRC in {kind!r}")
            if kind == b"IHDR":
                header = struct.unpack(">IIBBBBB", body)
            elif kind == b"IDAT":
                idat.append(body)
            elif kind == b"IEND":
                break
            pos += 12 + length
        require(header is not None, f"{path}: no IHDR chunk")
        width, height, depth, colour, _, _, interlace = header
        require(depth == 8 and colour in (2, 6) and interlace == 0,
                f"{path}: depth {depth}, colour type {colour}, interlace {interlace}")
        bpp = 4 if colour == 6 else 3
        raw = zlib.decompress(b"".join(idat))
        stride = width * bpp
        require(len(raw) == height * (stride + 1), f"{path}: image data of the wrong size")
        self.width, self.height, self.rows = width, height, []
        prev = bytearray(stride)
        for y in range(height):
            start = y * (stride + 1)
            line = bytearray(raw[start + 1 : start + 1 + stride])
            unfilter(raw[start], line, prev, bpp)
            self.rows.append(self._to_rgb(line, bpp))
            prev = line

    @staticmethod
    def _to_rgb(line, bpp):
        if bpp == 3:
            return bytes(line)
        out = bytearray()
        for i in range(0, len(line), 4):
            r, g, b, a = line[i : i + 4]
            if a != 255:  # composite over white
                r, g, b = (r * a + 255 * (255 - a)) // 255, (g * a + 255 * (255 - a)) // 255, (
                    b * a + 255 * (255 - a)) // 255
            out += bytes((r, g, b))
        return bytes(out)

    def histogram(self):
        """How many pixels have each colour."""
        counts = collections.Counter()
        for row in self.rows:
            counts.update(row[i : i + 3] for i in range(0, len(row), 3))
        return {tuple(p): n for p, n in counts.items()}

    def pixel(self, x, y):
        row = self.rows[y]
        return row[3 * x], row[3 * x + 1], row[3 * x + 2]


def hex_colour(text):
    text = text.strip().lstrip("#")
    require(len(text) == 6, f"colour {text!r} is not #rrggbb")
    return tuple(int(text[i : i + 2], 16) for i in (0, 2, 4))


def near(p, colour, tol):
    return all(abs(a - b) <= tol for a, b in zip(p, colour))


def dark(p):
    return sum(p) < 3 * 140


# --- What the SVG says ------------------------------------------------------


def classes(element):
    return element.get("class", "").split()


def groups(parent, name):
    return [g for g in parent.iter(SVG + "g") if name in classes(g)]


def tick_value(text):
    return float(text.replace("\u2212", "-"))


class Axis:
    """A linear data-to-pixel map fitted to an axis's tick labels."""

    def __init__(self, labels, name):
        require(len(labels) >= 2, f"{name}: fewer than two tick labels")
        (v0, p0), (v1, p1) = labels[0], labels[-1]
        require(v1 != v0, f"{name}: the tick labels do not differ")
        self.v0, self.p0, self.slope = v0, p0, (p1 - p0) / (v1 - v0)
        for v, p in labels:
            require(abs(self(v) - p) <= 0.5, f"{name}: tick {v} at {p}, not on a line with the others")
        self.lo, self.hi = sorted((p0, p1))

    def __call__(self, v):
        return self.p0 + (v - self.v0) * self.slope


class Panel:
    def __init__(self, element, index, names=()):
        self.element = element
        name = f"panel {index}"
        (xa,) = groups(element, "x-axis")
        (ya,) = groups(element, "y-axis")
        self.x_ticks = [(t.text, float(t.get("x")), float(t.get("y")))
                        for t in xa.iter(SVG + "text") if "tick" in classes(t)]
        self.y_ticks = [(t.text, float(t.get("x")), float(t.get("y")))
                        for t in ya.iter(SVG + "text") if "tick" in classes(t)]
        self.x = Axis([(tick_value(s), x) for s, x, _ in self.x_ticks], name + " x axis")
        # An axis of words: the whole word is the tick's <title>, and its row
        # (1 at the top) its place among the names.
        self.y_words = [t.find(SVG + "title").text for t in ya.iter(SVG + "text")
                        if "category" in classes(t)]
        if self.y_words:
            require(all(w in names for w in self.y_words), f"{name}: a word not among the names")
            self.y = Axis([(names.index(w) + 1, y) for w, (_, _, y) in zip(self.y_words, self.y_ticks)],
                          name + " y axis")
        else:
            self.y = Axis([(tick_value(s), y) for s, _, y in self.y_ticks], name + " y axis")


# --- Checks on the picture --------------------------------------------------


def ink_box(image, x0, x1, y0, y1):
    """The bounding box of dark pixels in the window, or None."""
    xs, ys = [], []
    for y in range(max(y0, 0), min(y1, image.height - 1) + 1):
        for x in range(max(x0, 0), min(x1, image.width - 1) + 1):
            if dark(image.pixel(x, y)):
                xs.append(x)
                ys.append(y)
    if not xs:
        return None
    return min(xs), max(xs), min(ys), max(ys)


def check_tick_labels(image, panel, name):
    """Each label's ink sits where its attributes put it: x labels centred on
    their x, y labels ending at their x and centred on their y."""
    xs = sorted(x for _, x, _ in panel.x_ticks)
    half = min([20.0] + [(b - a) / 2 - 1 for a, b in zip(xs, xs[1:])])
    for text, x, baseline in panel.x_ticks:
        box = ink_box(image, round(x - half), round(x + half), round(baseline - 11), round(baseline + 1))
        require(box is not None, f"{name}: x tick label {text} not drawn at {x:.1f}")
        centre = (box[0] + box[1] + 1) / 2
        require(abs(centre - x) <= 2.5, f"{name}: x tick label {text} centred at {centre}, not {x:.1f}")
    for text, x, y in panel.y_ticks:
        # Only the last glyph's columns: the axis title lies further left.
        box = ink_box(image, round(x - 6), round(x + 2), round(y - 8), round(y + 8))
        require(box is not None, f"{name}: y tick label {text} not drawn at {y:.1f}")
        middle = (box[2] + box[3] + 1) / 2
        # A word's last glyph may be an ellipsis, low on the line: still
        # nearer its own row than the next, 20 pixels off.
        tolerance = 4.5 if panel.y_words else 2.5
        require(abs(middle - y) <= tolerance,
                f"{name}: y tick label {text} centred at {middle}, not {y:.1f}")
        # A word's last glyph may have a wide side bearing (a quote mark).
        require(abs(box[1] + 1 - x) <= (4 if panel.y_words else 2),
                f"{name}: y tick label {text} ends at {box[1] + 1}, not {x:.1f}")


def find_line(image, panel, colour, horizontal, near_to=None):
    """The row (or column) of the plot area with the most pixels of the
    reference colour, and that count as a share of the plot's extent; with
    `near_to`, among those within 12 pixels of it (a panel with several
    lines of one orientation)."""
    tol = 24
    across = range(round(panel.x.lo), round(panel.x.hi) + 1)
    along = range(round(panel.y.lo), round(panel.y.hi) + 1)
    if not horizontal:
        across, along = along, across
    if near_to is not None:
        along = [a for a in along if abs(a - near_to) <= 12]
    best, best_count = None, -1
    for a in along:
        count = 0
        for b in across:
            p = image.pixel(b, a) if horizontal else image.pixel(a, b)
            if near(p, colour, tol):
                count += 1
        if count > best_count:
            best, best_count = a, count
    return best, best_count / len(across)


def components(image, panel, colour, tol):
    """Connected sets of pixels of one colour within the plot area (padded by
    a marker's size, and by the stretch of axis beyond its last tick), as
    lists of (x, y)."""
    pad = 25
    x0, x1 = max(round(panel.x.lo) - pad, 0), min(round(panel.x.hi) + pad, image.width - 1)
    y0, y1 = max(round(panel.y.lo) - pad, 0), min(round(panel.y.hi) + pad, image.height - 1)
    todo = {(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)
            if near(image.pixel(x, y), colour, tol)}
    found = []
    while todo:
        stack = [todo.pop()]
        part = []
        while stack:
            x, y = stack.pop()
            part.append((x, y))
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    q = (x + dx, y + dy)
                    if q in todo:
                        todo.remove(q)
                        stack.append(q)
        found.append(part)
    return found


def marker_colour(panel, label):
    for g in groups(panel.element, "marker"):
        texts = [t.text for t in g.iter(SVG + "text")]
        if label in texts:
            shape = next(e for e in g if e.tag != SVG + "text")
            return hex_colour(shape.get("fill"))
    raise CheckFailed(f"no marker labelled {label!r}")


# --- Text boxes, measured with the font's own advance widths ------------------

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
ASCENT, DESCENT = 0.8, 0.25  # of the font size: a line of sans-serif text


class Font:
    """Advance widths from a TrueType file's cmap (format 4) and hmtx tables."""

    def __init__(self, path):
        data = open(path, "rb").read()
        count = struct.unpack(">H", data[4:6])[0]
        tables = {}
        for i in range(count):
            tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i : 28 + 16 * i])
            tables[tag.decode()] = (offset, length)
        head = tables["head"][0]
        self.units = struct.unpack(">H", data[head + 18 : head + 20])[0]
        hhea = tables["hhea"][0]
        metrics = struct.unpack(">H", data[hhea + 34 : hhea + 36])[0]
        hmtx = tables["hmtx"][0]
        self.advances = [struct.unpack(">H", data[hmtx + 4 * i : hmtx + 4 * i + 2])[0]
                         for i in range(metrics)]
        self.glyphs = {}
        cmap = tables["cmap"][0]
        for i in range(struct.unpack(">H", data[cmap + 2 : cmap + 4])[0]):
            platform, encoding, offset = struct.unpack(">HHI", data[cmap + 4 + 8 * i : cmap + 12 + 8 * i])
            at = cmap + offset
            if platform == 3 and encoding == 1 and struct.unpack(">H", data[at : at + 2])[0] == 4:
                self._format4(data, at)

    def _format4(self, data, at):
        segments = struct.unpack(">H", data[at + 6 : at + 8])[0] // 2
        ends = at + 14
        starts = ends + 2 * segments + 2
        deltas = starts + 2 * segments
        offsets = deltas + 2 * segments
        for s in range(segments):
            end, start = (struct.unpack(">H", data[a + 2 * s : a + 2 * s + 2])[0] for a in (ends, starts))
            delta = struct.unpack(">h", data[deltas + 2 * s : deltas + 2 * s + 2])[0]
            offset = struct.unpack(">H", data[offsets + 2 * s : offsets + 2 * s + 2])[0]
            for c in range(start, min(end, 0xFFFE) + 1):
                if offset == 0:
                    glyph = (c + delta) & 0xFFFF
                else:
                    where = offsets + 2 * s + offset + 2 * (c - start)
                    glyph = struct.unpack(">H", data[where : where + 2])[0]
                    glyph = (glyph + delta) & 0xFFFF if glyph else 0
                self.glyphs[c] = glyph

    def width(self, text, size):
        total = 0
        for ch in text:
            glyph = self.glyphs.get(ord(ch), 0)
            total += self.advances[min(glyph, len(self.advances) - 1)]
        return total / self.units * size


def text_boxes(root, font):
    """(text, x0, y0, x1, y1) of every unrotated piece of text."""
    boxes = []
    for t in root.iter(SVG + "text"):
        if t.get("transform"):
            continue
        text = t.text or ""
        size = float(t.get("font-size"))
        width = font.width(text, size)
        x = float(t.get("x"))
        y = float(t.get("y")) + float(t.get("dy", "0"))
        anchor = t.get("text-anchor", "start")
        x0 = x - {"start": 0, "middle": width / 2, "end": width}[anchor]
        boxes.append((text, x0, y - ASCENT * size, x0 + width, y + DESCENT * size))
    return boxes


def check_text_boxes(root, expect, name):
    if not os.path.exists(DEJAVU):
        print(f"{name}: {DEJAVU} missing: text boxes not measured")
        return
    boxes = text_boxes(root, Font(DEJAVU))
    for text, x0, y0, x1, y1 in boxes:
        require(x0 >= 0 and x1 <= expect["width"] and y0 >= 0 and y1 <= expect["height"],
                f"{name}: {text!r} leaves the picture ({x0:.1f}, {y0:.1f}, {x1:.1f}, {y1:.1f})")
    # Sorted by their left edges, each box against those that start before it ends.
    boxes.sort(key=lambda b: b[1])
    for i, a in enumerate(boxes):
        for b in boxes[i + 1 :]:
            if b[1] >= a[3] - 0.5:
                break
            overlap = min(a[3], b[3]) - max(a[1], b[1]) > 0.5 and min(a[4], b[4]) - max(a[2], b[2]) > 0.5
            require(not overlap, f"{name}: {a[0]!r} and {b[0]!r} overlap")
    print(f"{name}: {len(boxes)} pieces of text, none overlapping")


def check_names(root, panels, names, name):
    """Every name whole in a <title> on every axis of words; any word cut
    ends in an ellipsis and starts as its name does."""
    titled = [p for p in panels if p.y_words]
    require(titled, f"{name}: no axis of words")
    for i, p in enumerate(titled):
        require(sorted(p.y_words) == sorted(names),
                f"{name}: panel {i} names {len(p.y_words)} of the {len(names)} groups")
        for (shown, _, _), whole in zip(p.y_ticks, p.y_words):
            require(shown == whole or (shown.endswith("\u2026") and whole.startswith(shown[:-1])),
                    f"{name}: {shown!r} is not {whole!r} nor a cut of it")
    print(f"{name}: all {len(names)} names whole in titles on {len(titled)} axes")


def check_figure(svg_path, png_path, expect):
    name = os.path.basename(svg_path)
    root = ET.parse(svg_path).getroot()
    require(root.tag == SVG + "svg", f"{name}: the root element is {root.tag}")
    require(root.get("viewBox") == f"0 0 {expect['width']} {expect['height']}",
            f"{name}: viewBox {root.get('viewBox')}")
    image = Image(png_path)
    require((image.width, image.height) == (expect["width"], expect["height"]),
            f"{name}: rendered at {image.width} x {image.height}")

    # Not blank: some ink, several colours, and every series colour present.
    histogram = image.histogram()
    inked = sum(n for p, n in histogram.items() if not near(p, (255, 255, 255), 8))
    require(inked >= 0.01 * image.width * image.height, f"{name}: only {inked} pixels of ink")
    strokes = {hex_colour(e.get("stroke")) for e in root.iter(SVG + "polyline")}
    for colour in strokes:
        seen = sum(n for p, n in histogram.items() if near(p, colour, 20))
        require(seen >= 30, f"{name}: series colour {colour} shows on only {seen} pixels")
    hues = {p for p, n in histogram.items() if n >= 30 and max(p) - min(p) >= 60}
    require(len(hues) >= 2, f"{name}: only {len(hues)} saturated colours")

    names = expect.get("names", [])
    panels = [Panel(g, i, names) for i, g in enumerate(groups(root, "panel"))]
    if names:
        check_names(root, panels, names, name)
        check_text_boxes(root, expect, name)
    for i, panel in enumerate(panels):
        check_tick_labels(image, panel, f"{name} panel {i}")

    references = {hex_colour(line.get("stroke"))
                  for g in groups(root, "reference") for line in g.iter(SVG + "line")}
    require(len(references) <= 1, f"{name}: reference lines in several colours")
    reference = references.pop() if references else None
    for check in expect["checks"]:
        panel = panels[check["panel"]]
        where = f"{name} panel {check['panel']}"
        if check["kind"] in ("horizontal", "vertical"):
            horizontal = check["kind"] == "horizontal"
            require(reference is not None, f"{where}: no reference line in the SVG")
            want = panel.y(check["value"]) if horizontal else panel.x(check["value"])
            several = sum(1 for c in expect["checks"]
                          if c["panel"] == check["panel"] and c["kind"] == check["kind"]) > 1
            got, share = find_line(image, panel, reference, horizontal, want if several else None)
            require(share >= 0.3, f"{where}: no {check['kind']} line (best {share:.0%} at {got})")
            require(abs(got + 0.5 - want) <= TOLERANCE_PX,
                    f"{where}: {check['kind']} line at {check['value']} drawn at pixel {got}, "
                    f"axes say {want:.1f}")
            print(f"{where}: {check['kind']} line {check['value']:g} at {got}, axes say {want:.1f}")
        else:
            colour = marker_colour(panel, check["label"])
            want = (panel.x(check["x"]), panel.y(check["y"]))
            parts = [p for p in components(image, panel, colour, 30) if len(p) >= 10]
            require(parts, f"{where}: marker {check['label']!r} not drawn")

            def centre(part):
                return (sum(x for x, _ in part) / len(part) + 0.5,
                        sum(y for _, y in part) / len(part) + 0.5)

            def distance(part):
                cx, cy = centre(part)
                return ((cx - want[0]) ** 2 + (cy - want[1]) ** 2) ** 0.5

            part = min(parts, key=distance)
            cx, cy = centre(part)
            require(distance(part) <= TOLERANCE_PX,
                    f"{where}: marker {check['label']!r} drawn at ({cx:.1f}, {cy:.1f}), "
                    f"axes say ({want[0]:.1f}, {want[1]:.1f})")
            require(len(part) <= 200, f"{where}: marker {check['label']!r} is {len(part)} pixels")
            print(f"{where}: marker {check['label']!r} at ({cx:.1f}, {cy:.1f}), "
                  f"axes say ({want[0]:.1f}, {want[1]:.1f})")


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    samples, out = sys.argv[1], sys.argv[2]
    renderer = shutil.which("rsvg-convert")
    if renderer is None:
        print("rsvg-convert (Debian package librsvg2-bin) is not installed: skipped")
        return 77
    os.makedirs(out, exist_ok=True)
    subprocess.run([samples, out], check=True)
    names = sorted(f[:-4] for f in os.listdir(out) if f.endswith(".svg"))
    require(names, f"{out}: no SVG files written")
    failures = 0
    for name in names:
        svg, png = os.path.join(out, name + ".svg"), os.path.join(out, name + ".png")
        with open(os.path.join(out, name + ".json")) as f:
            expect = json.load(f)
        run = subprocess.run([renderer, "-w", str(expect["width"]), "-h", str(expect["height"]),
                              svg, "-o", png], capture_output=True, text=True)
        try:
            require(run.returncode == 0 and not run.stderr.strip(),
                    f"{name}.svg: rsvg-convert status {run.returncode}: {run.stderr.strip()}")
            check_figure(svg, png, expect)
            print(f"{name}: ok")
        except (CheckFailed, ET.ParseError) as e:
            print(f"FAIL {e}", file=sys.stderr)
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
