#!/usr/bin/env python3
"""Sheets with steps and slots, and nets of faces on them, for trying the
gaps the import job (examples/main-job-import.vzs) reports where faces meet
badly: the commit's "Gap between faces" and the runner's `!edge-gaps`.

    python3 scripts/gapnets.py LAYOUT OUT [NAME=VALUE]...
    python3 scripts/gapnets.py measure EDGES LAYOUT - [NAME=VALUE]...

writes OUT.stl, a binary STL of the sheet z = bend * (x / L)^2 (+ noise)
with a step of height H along a line (a ramp of width 0.02, its two edges
rows of the mesh), and OUT.grid, a net text (version 2) whose poly-lines
run over the sheet through nodes every `seg` units, junctions shared.
With `measure`, it reads the Breps' edges of the job's document (EDGES, as
`netdraw --edges` prints them) and prints the true opening between the
Breps on either side of each side the layout's faces share.

Layouts (sizes in the sheet's units; its diagonal sets the job's tolerance,
1/500 of it):
  slot       two faces 20 x 10 that share no side, a slot S between them
  band       a band W wide between two faces 30 x 10, the step under it
             (along y = AT, the band's middle by default)
  grid2      2 x 2 cells of 10, the step along y = AT (15: the middle line)
  strips     two strips 30 x 2 side by side, the step across both at x = 20
             (along y = AT, beside or under their shared side, when given)
  small      3 x 3 cells of 1.5, the step through the middle row
  mixed      ten unit squares beside one face 10 x W
  offset     two faces 20 x 10 side by side, the step of H under the second
  corner     two faces 10 x 10 that meet at a corner only, a third along
             the side of the first when N is 3 (the step along y = AT when
             given)
  island     a cell 20 x 20 with N islands 6 wide inside it (N of 1 to 3, in
             a row), each a ring drawn as STROKES strokes (1: one poly-line
             back to its first point, 2: two halves), the step along y = AT
             (the islands' lower sides at 12, their middles at 15; none
             without AT); with RAISE, each island stands on a plateau of
             that height under its ring (a ramp of 0.02 round it)
  nested     a cell 20 x 20 with N rings nested inside it (N of 1 to 3,
             14, 9 and 4 wide round its middle), each drawn as STROKES
             strokes, the step along y = AT (none without AT)
  wave       N x N cells of CELL in the middle of a plate 100 x 70 that
             waves AMP up and down, WAVE long each way (no bend, no step),
             its crests moved SHIFT along y (on waves of 20, 0 runs the 2 x 2
             net's middle row where the plate is level across x, 5 along
             its crests and troughs)

Values: S (slot), W (band width or the mixed face's length), H (step
height), AT (grid2's step line), FACET (mesh spacing, 0.5), BEND (0.5),
NOISE (0: heights moved by up to that, seeded), SEED (1), SEG (segment of
the poly-lines, 1), SCALE (1: every length times it), N, STROKES and RAISE
(corner, island, nested; for the wave N is 2 unless given), CELL (15), WAVE (45) and
AMP (4) (wave).
"""
import math
import random
import struct
import sys


def main():
    if len(sys.argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    measure = None
    if sys.argv[1] == "measure" and len(sys.argv) >= 4:
        measure = sys.argv[2]
        del sys.argv[1:3]
    layout, out = sys.argv[1], sys.argv[2]
    v = {"S": 2.0, "W": 0.3, "H": 1.0, "AT": 15.0, "FACET": 0.5, "BEND": 0.5,
         "NOISE": 0.0, "SEED": 1, "SEG": 1.0, "SCALE": 1.0, "N": 1, "STROKES": 1, "RAISE": 0.0,
         "CELL": 15.0, "WAVE": 45.0, "AMP": 4.0, "SHIFT": 0.0}
    given = set()
    for arg in sys.argv[3:]:
        name, value = arg.split("=", 1)
        v[name] = float(value)
        given.add(name)
    S, W, H = v["S"], v["W"], v["H"]
    lines = []  # each a list of break points (x, y)
    step = None  # ("y", at) or ("x", at), height H
    cells = []  # the faces' regions, (x0, y0, x1, y1)
    if layout == "slot":
        box = (0.0, 0.0, 30.0, 30.0 + S)
        for y0 in (5.0, 15.0 + S):
            lines += rect(5.0, y0, 25.0, y0 + 10.0)
            cells.append((5.0, y0, 25.0, y0 + 10.0))
    elif layout == "band":
        box = (0.0, 0.0, 40.0, 28.0)
        ys = [4.0, 14.0, 14.0 + W, 24.0]
        for y in ys:
            lines.append([(5.0, y), (35.0, y)])
        for x in (5.0, 35.0):
            lines.append([(x, y) for y in ys])
        step = ("y", v["AT"] if "AT" in given else 14.0 + W / 2)
        cells = [(5.0, a, 35.0, b) for a, b in zip(ys, ys[1:])]
    elif layout == "grid2":
        box = (0.0, 0.0, 30.0, 30.0)
        for c in (5.0, 15.0, 25.0):
            lines.append([(5.0, c), (15.0, c), (25.0, c)])
            lines.append([(c, 5.0), (c, 15.0), (c, 25.0)])
        step = ("y", v["AT"])
        cells = [(x, y, x + 10.0, y + 10.0) for y in (5.0, 15.0) for x in (5.0, 15.0)]
    elif layout == "strips":
        box = (0.0, 0.0, 40.0, 24.0)
        for y in (10.0, 12.0, 14.0):
            lines.append([(5.0, y), (35.0, y)])
        for x in (5.0, 35.0):
            lines.append([(x, 10.0), (x, 12.0), (x, 14.0)])
        step = ("y", v["AT"]) if "AT" in given else ("x", 20.0)
        cells = [(5.0, 10.0, 35.0, 12.0), (5.0, 12.0, 35.0, 14.0)]
    elif layout == "small":
        box = (0.0, 0.0, 24.0, 24.0)
        cs = [10.0 + 1.5 * k for k in range(4)]
        for c in cs:
            lines.append([(x, c) for x in cs])
            lines.append([(c, y) for y in cs])
        step = ("y", 12.25 + 0.2)
        cells = [(x, y, x + 1.5, y + 1.5) for y in cs[:3] for x in cs[:3]]
    elif layout == "mixed":
        box = (-2.0, -2.0, 12.0, W + 3.0)
        lines.append([(0.0, 0.0), (10.0, 0.0)])
        lines.append([(0.0, 0.0), (0.0, W), (0.0, W + 1.0)])
        lines.append([(10.0, 0.0), (10.0, W), (10.0, W + 1.0)])
        for y in (W, W + 1.0):
            lines.append([(float(x), y) for x in range(11)])
        for x in range(1, 10):
            lines.append([(float(x), W), (float(x), W + 1.0)])
        cells = [(0.0, 0.0, 10.0, W)] + [(float(x), W, x + 1.0, W + 1.0) for x in range(10)]
    elif layout == "offset":
        box = (0.0, 0.0, 50.0, 20.0)
        lines.append([(5.0, 5.0), (25.0, 5.0), (45.0, 5.0)])
        lines.append([(5.0, 15.0), (25.0, 15.0), (45.0, 15.0)])
        for x in (5.0, 25.0, 45.0):
            lines.append([(x, 5.0), (x, 15.0)])
        step = ("x", 35.0)
        cells = [(5.0, 5.0, 25.0, 15.0), (25.0, 5.0, 45.0, 15.0)]
    elif layout == "corner":
        box = (0.0, 0.0, 30.0, 30.0)
        cells = [(5.0, 5.0, 15.0, 15.0), (15.0, 15.0, 25.0, 25.0)]
        if int(v["N"]) == 3:
            cells.append((15.0, 5.0, 25.0, 15.0))
        sides = []
        for cell in cells:
            for side in rect(*cell):
                if side not in sides and side[::-1] not in sides:
                    sides.append(side)
        lines += sides
        step = ("y", v["AT"]) if "AT" in given else None
    elif layout == "island":
        box = (0.0, 0.0, 30.0, 30.0)
        lines += rect(5.0, 5.0, 25.0, 25.0)
        cells.append((5.0, 5.0, 25.0, 25.0))
        n = int(v["N"])
        width = 6.0
        room = (20.0 - n * width) / (n + 1)
        for k in range(n):
            x0 = 5.0 + room + k * (width + room)
            x1 = x0 + width
            if int(v["STROKES"]) == 2:
                lines.append([(x0, 12.0), (x1, 12.0), (x1, 18.0)])
                lines.append([(x1, 18.0), (x0, 18.0), (x0, 12.0)])
            else:
                lines.append([(x0, 12.0), (x1, 12.0), (x1, 18.0), (x0, 18.0), (x0, 12.0)])
            cells.append((x0, 12.0, x1, 18.0))
        step = ("y", v["AT"]) if "AT" in given else None
    elif layout == "nested":
        box = (0.0, 0.0, 30.0, 30.0)
        lines += rect(5.0, 5.0, 25.0, 25.0)
        cells.append((5.0, 5.0, 25.0, 25.0))
        for half in (7.0, 4.5, 2.0)[: int(v["N"])]:
            a, b = 15.0 - half, 15.0 + half
            if int(v["STROKES"]) == 2:
                lines.append([(a, a), (b, a), (b, b)])
                lines.append([(b, b), (a, b), (a, a)])
            else:
                lines.append([(a, a), (b, a), (b, b), (a, b), (a, a)])
            cells.append((a, a, b, b))
        step = ("y", v["AT"]) if "AT" in given else None
    elif layout == "wave":
        box = (0.0, 0.0, 100.0, 70.0)
        n, c = int(v["N"]) if "N" in given else 2, v["CELL"]
        x0, y0 = 50.0 - n * c / 2, 35.0 - n * c / 2
        cs = [k * c for k in range(n + 1)]
        for k in cs:
            lines.append([(x0 + a, y0 + k) for a in cs])
            lines.append([(x0 + k, y0 + a) for a in cs])
        cells = [(x0 + a, y0 + b, x0 + a + c, y0 + b + c) for b in cs[:n] for a in cs[:n]]
    else:
        sys.stderr.write("gapnets: unknown layout %s\n" % layout)
        return 2
    scale = v["SCALE"]
    if measure is not None:
        return openings(measure, [tuple(c * scale for c in cell) for cell in cells])
    rng = random.Random(int(v["SEED"]))
    length = max(box[2] - box[0], box[3] - box[1])
    ramp = 0.02

    plateaus = cells[1:] if layout == "island" and v["RAISE"] != 0.0 else []

    def height(x, y):
        if layout == "wave":
            k = 2 * math.pi / v["WAVE"]
            return v["AMP"] * math.sin(k * x) * math.cos(k * (y - v["SHIFT"]))
        z = v["BEND"] * ((x - box[0]) / length) ** 2 * length * 0.1
        if step is not None:
            t = (y if step[0] == "y" else x) - step[1]
            z += H * min(1.0, max(0.0, (t + ramp / 2) / ramp))
        for (x0, y0, x1, y1) in plateaus:
            inside = min(x - x0, x1 - x, y - y0, y1 - y)
            z += v["RAISE"] * min(1.0, max(0.0, (inside + ramp / 2) / ramp))
        return z

    # The mesh: a grid of FACET with the ramp's edges as rows, two
    # triangles a cell.
    def coords(lo, hi, axis):
        n = max(1, int(math.ceil((hi - lo) / v["FACET"])))
        cs = [lo + (hi - lo) * k / n for k in range(n + 1)]
        if step is not None and step[0] == axis:
            cs += [step[1] - ramp / 2, step[1] + ramp / 2]
        for cell in plateaus:
            for edge in (cell[0], cell[2]) if axis == "x" else (cell[1], cell[3]):
                cs += [edge - ramp / 2, edge + ramp / 2]
        return sorted(set(cs))
    xs, ys = coords(box[0], box[2], "x"), coords(box[1], box[3], "y")
    noise = {}
    for i, x in enumerate(xs):
        for j, y in enumerate(ys):
            noise[i, j] = v["NOISE"] * (2 * rng.random() - 1)

    def point(i, j):
        return (xs[i] * scale, ys[j] * scale, (height(xs[i], ys[j]) + noise[i, j]) * scale)
    tris = []
    for i in range(len(xs) - 1):
        for j in range(len(ys) - 1):
            a, b, c, d = point(i, j), point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)
            tris += [(a, b, c), (a, c, d)]
    write_stl(out + ".stl", tris, b"gapnets")

    # The net: every poly-line through its break points and a node every
    # SEG between them; nodes of one place are one node.
    nodes, polylines = Nodes(), []
    node = nodes.at
    for breaks in lines:
        entries = []
        for k in range(len(breaks) - 1):
            (ax, ay), (bx, by) = breaks[k], breaks[k + 1]
            n = max(1, int(math.ceil(math.hypot(bx - ax, by - ay) / v["SEG"])))
            for s in range(n if k + 2 < len(breaks) else n + 1):
                t = s / n
                entries.append(node(ax + t * (bx - ax), ay + t * (by - ay)))
        polylines.append(entries)
    write_grid(out + ".grid", nodes.places, polylines, height, scale)
    return 0


def write_stl(path, tris, header):
    """A binary STL of the triangles (three points each), normals left to
    the reader."""
    with open(path, "wb") as f:
        f.write(header.ljust(80, b" "))
        f.write(struct.pack("<I", len(tris)))
        for t in tris:
            f.write(struct.pack("<3f", 0.0, 0.0, 1.0))
            for p in t:
                f.write(struct.pack("<3f", *p))
            f.write(b"\0\0")


class Nodes:
    """The net's nodes in the order made; points of one place are one node."""

    def __init__(self):
        self.places, self.index = [], {}

    def at(self, x, y):
        key = (round(x, 9), round(y, 9))
        if key not in self.index:
            self.index[key] = len(self.places)
            self.places.append((x, y))
        return self.index[key]


def write_grid(path, nodes, polylines, height, scale):
    """A net text (version 2) of the nodes (x, y) at height(x, y), every
    length times scale, and the poly-lines through them."""
    with open(path, "w") as f:
        f.write("Version 2\nNodes %d\n" % len(nodes))
        for k, (x, y) in enumerate(nodes):
            f.write("%d %.9g %.9g %.9g 0 0 1\n0\t1\t0 0 0\n0\t1\t0 0 0\n"
                    % (k, x * scale, y * scale, height(x, y) * scale))
        f.write("Polylines %d\n" % len(polylines))
        for entries in polylines:
            f.write("%d\n 1\n%s\n" % (len(entries), " ".join(str(e) for e in entries)))


def openings(path, cells):
    """The true opening of each pair of faces along each side they share,
    from the edges of their Breps as `netdraw --edges` printed them: each
    Brep is the face whose region's box lies nearest to the box of its
    edges in the plane (an island's region and the one around it have one
    middle), and follows a side of it with the edge nearest to the side
    in the plane (the steps are vertical; the farthest point of the side
    from the edge counts). The opening of a side is the largest distance in
    space of a point of either edge beside the side from the other edge."""
    edges = {}
    for line in open(path):
        words = line.split()
        if words[0] == "brep":
            key = (int(words[1]), int(words[3]))
            edges[key] = []
        else:
            edges[key].append(tuple(float(w) for w in words))
    faces = {}  # the cell of each Brep, and the Brep of each cell
    for b in sorted({b for b, _ in edges}):
        pts = [p for (bb, _), ps in edges.items() if bb == b for p in ps]
        seen = (min(p[0] for p in pts), min(p[1] for p in pts),
                max(p[0] for p in pts), max(p[1] for p in pts))
        c = min(range(len(cells)), key=lambda c: sum(abs(cells[c][k] - seen[k]) for k in range(4)))
        faces[c] = b
    largest, pairs = 0.0, {}
    for a in range(len(cells)):
        for b in range(a + 1, len(cells)):
            for (x0, y0, x1, y1) in common(cells[a], cells[b]):
                if a not in faces or b not in faces:
                    print("no Brep of the region %s or %s" % (cells[a], cells[b]))
                    largest = math.inf
                    continue
                length = math.hypot(x1 - x0, y1 - y0)
                ux, uy = (x1 - x0) / length, (y1 - y0) / length
                side = [(x0 + t / 20 * (x1 - x0), y0 + t / 20 * (y1 - y0)) for t in range(21)]
                follow = []
                for f in (faces[a], faces[b]):
                    line = min((ps for (bb, _), ps in sorted(edges.items()) if bb == f),
                               key=lambda ps: farthest([(q[0], q[1], 0.0) for q in side],
                                                       [(p[0], p[1], 0.0) for p in ps]))
                    beside = [p for p in line
                              if -1e-3 * length <= (p[0] - x0) * ux + (p[1] - y0) * uy <= length * (1 + 1e-3)]
                    follow.append((line, beside))
                gap = max(farthest(follow[0][1], follow[1][0]), farthest(follow[1][1], follow[0][0]))
                pair = (min(faces[a], faces[b]), max(faces[a], faces[b]))
                pairs[pair] = max(pairs.get(pair, 0.0), gap)
                largest = max(largest, gap)
    for (a, b), gap in sorted(pairs.items()):
        print("opening between Breps %d and %d: %.6g" % (a + 1, b + 1, gap))
    print("largest opening %.6g over %d pairs" % (largest, len(pairs)))
    return 0


def common(a, b):
    """The sides two rectangles share, as segments of positive length; an
    island shares all its sides with the rectangle around it."""
    for inner, outer in ((a, b), (b, a)):
        if outer[0] < inner[0] and outer[1] < inner[1] and inner[2] < outer[2] and inner[3] < outer[3]:
            x0, y0, x1, y1 = inner
            return [(x0, y0, x1, y0), (x1, y0, x1, y1), (x1, y1, x0, y1), (x0, y1, x0, y0)]
    out = []
    for x in {a[0], a[2]} & {b[0], b[2]}:
        lo, hi = max(a[1], b[1]), min(a[3], b[3])
        if hi > lo:
            out.append((x, lo, x, hi))
    for y in {a[1], a[3]} & {b[1], b[3]}:
        lo, hi = max(a[0], b[0]), min(a[2], b[2])
        if hi > lo:
            out.append((lo, y, hi, y))
    return out


def farthest(points, line):
    """The largest distance of the points from the poly-line."""
    far = 0.0
    for p in points:
        near = min(segment(p, line[k], line[k + 1]) for k in range(len(line) - 1)) if len(line) > 1 \
            else math.dist(p, line[0])
        far = max(far, near)
    return far


def segment(p, a, b):
    ab = [b[k] - a[k] for k in range(3)]
    l2 = sum(c * c for c in ab)
    s = 0.0 if l2 == 0 else max(0.0, min(1.0, sum((p[k] - a[k]) * ab[k] for k in range(3)) / l2))
    return math.dist(p, [a[k] + s * ab[k] for k in range(3)])


def rect(x0, y0, x1, y1):
    return [[(x0, y0), (x1, y0)], [(x1, y0), (x1, y1)], [(x1, y1), (x0, y1)], [(x0, y1), (x0, y0)]]


if __name__ == "__main__":
    sys.exit(main())
