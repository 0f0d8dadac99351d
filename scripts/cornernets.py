#!/usr/bin/env python3
"""Faces that meet only at a node of the net, for trying what the commit's
heal does to them: a bent sheet and a net on it, and, from the Breps of the
job's document, how far each Brep's corners and edges lie from its region.

    python3 scripts/cornernets.py fan OUT [NAME=VALUE]...
    python3 scripts/cornernets.py measure EDGES fan - [NAME=VALUE]...

writes OUT.stl, a binary STL of the sheet z = bend * (x / L)^2 * L / 10 over
a box round the net, and OUT.grid, a net text (version 2) of the faces'
sides, each its own poly-line through nodes every SEG units, the node all
faces share (the origin) and the ends of each side one node each.

The layout: N faces round the origin, face k bounded by the two rays at
ROT + k (WIDTH + GAP) and WIDTH degrees further, R long, and the two sides
parallel to them that close it (a rhombus, a square for WIDTH 90); GAP
degrees of slot between consecutive faces taper to the origin, and what is
left of the turn is open. N=2 WIDTH=90 GAP=5: a slot of 5 degrees tapering
to a corner; GAP=90: two squares touching at a corner. SCALE (1) sets every
length, FACET (0.5) the mesh's spacing, BEND (0.5).

With `measure`, it reads the Breps' edges (as `netdraw --edges` prints
them), takes each Brep for the region whose middle lies nearest to its
edges' middle, and prints per Brep: `corner`, the largest distance of a
region's corner from the Brep's edges; `out`, the largest distance of a
point of the Brep's edges from the region's sides; `bare`, the largest
distance of a point of the region's sides from the Brep's edges (all in
space, the sides on the sheet); and the largest of them over all Breps.
"""
import math
import sys

from gapnets import Nodes, segment, write_grid, write_stl


def main():
    if len(sys.argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    measure = None
    if sys.argv[1] == "measure" and len(sys.argv) >= 4:
        measure = sys.argv[2]
        del sys.argv[1:3]
    layout, out = sys.argv[1], sys.argv[2]
    v = {"N": 2, "WIDTH": None, "GAP": 5.0, "R": 10.0, "ROT": 0.0, "FACET": 0.5,
         "BEND": 0.5, "SEG": 1.0, "SCALE": 1.0}
    for arg in sys.argv[3:]:
        name, value = arg.split("=", 1)
        v[name] = float(value)
    if layout != "fan":
        sys.stderr.write("cornernets: unknown layout %s\n" % layout)
        return 2
    n = int(v["N"])
    width = v["WIDTH"] if v["WIDTH"] is not None else 360.0 / n - v["GAP"]
    R = v["R"]
    cells = []  # each the polygon of a region: origin, ray end, far corner, ray end
    for k in range(n):
        a0 = math.radians(v["ROT"] + k * (width + v["GAP"]))
        a1 = a0 + math.radians(width)
        p = (R * math.cos(a0), R * math.sin(a0))
        q = (R * math.cos(a1), R * math.sin(a1))
        cells.append([(0.0, 0.0), p, (p[0] + q[0], p[1] + q[1]), q])
    xs = [c[0] for cell in cells for c in cell]
    ys = [c[1] for cell in cells for c in cell]
    box = (min(xs) - 3.0, min(ys) - 3.0, max(xs) + 3.0, max(ys) + 3.0)
    length = max(box[2] - box[0], box[3] - box[1])
    scale = v["SCALE"]

    def height(x, y):
        return v["BEND"] * ((x - box[0]) / length) ** 2 * length * 0.1

    if measure is not None:
        return regions(measure, cells, height, scale)

    def coords(lo, hi):
        m = max(1, int(math.ceil((hi - lo) / v["FACET"])))
        return [lo + (hi - lo) * k / m for k in range(m + 1)]
    gx, gy = coords(box[0], box[2]), coords(box[1], box[3])

    def point(x, y):
        return (x * scale, y * scale, height(x, y) * scale)
    tris = []
    for i in range(len(gx) - 1):
        for j in range(len(gy) - 1):
            a, b = point(gx[i], gy[j]), point(gx[i + 1], gy[j])
            c, d = point(gx[i + 1], gy[j + 1]), point(gx[i], gy[j + 1])
            tris += [(a, b, c), (a, c, d)]
    write_stl(out + ".stl", tris, b"cornernets")

    nodes, polylines = Nodes(), []
    node = nodes.at
    for cell in cells:
        for k in range(4):
            (ax, ay), (bx, by) = cell[k], cell[(k + 1) % 4]
            m = max(1, int(math.ceil(math.hypot(bx - ax, by - ay) / v["SEG"])))
            polylines.append([node(ax + (bx - ax) * s / m, ay + (by - ay) * s / m)
                              for s in range(m + 1)])
    write_grid(out + ".grid", nodes.places, polylines, height, scale)
    return 0


def regions(path, cells, height, scale):
    edges = {}
    for line in open(path):
        words = line.split()
        if words[0] == "brep":
            key = (int(words[1]), int(words[3]))
            edges[key] = []
        else:
            edges[key].append(tuple(float(w) for w in words))
    # Each region's sides on the sheet, densely, in space.
    sides = []
    for cell in cells:
        points = []
        for k in range(4):
            (ax, ay), (bx, by) = cell[k], cell[(k + 1) % 4]
            for s in range(200):
                x, y = ax + (bx - ax) * s / 200, ay + (by - ay) * s / 200
                points.append((x * scale, y * scale, height(x, y) * scale))
        sides.append(points + [points[0]])
    largest = {"corner": 0.0, "out": 0.0, "bare": 0.0}
    for b in sorted({b for b, _ in edges}):
        lines = [ps for (bb, _), ps in sorted(edges.items()) if bb == b]
        pts = [p for ps in lines for p in ps]
        cx, cy = sum(p[0] for p in pts) / len(pts), sum(p[1] for p in pts) / len(pts)
        c = min(range(len(cells)), key=lambda c: math.hypot(
            sum(q[0] for q in cells[c]) / 4 * scale - cx, sum(q[1] for q in cells[c]) / 4 * scale - cy))
        corners = [(x * scale, y * scale, height(x, y) * scale) for x, y in cells[c]]
        figures = {
            "corner": max(nearest(p, lines) for p in corners),
            "out": max(nearest(p, [sides[c]]) for p in pts[::3]),
            "bare": max(nearest(p, lines) for p in sides[c][::10]),
        }
        for name in largest:
            largest[name] = max(largest[name], figures[name])
        print("brep %d region %d corner %.4g out %.4g bare %.4g"
              % (b + 1, c + 1, figures["corner"], figures["out"], figures["bare"]))
    print("largest corner %.4g out %.4g bare %.4g over %d Breps"
          % (largest["corner"], largest["out"], largest["bare"], len({b for b, _ in edges})))
    return 0


def nearest(p, lines):
    """The distance of p from the nearest of the poly-lines."""
    best = math.inf
    for line in lines:
        for k in range(len(line) - 1):
            best = min(best, segment(p, line[k], line[k + 1]))
    return best


if __name__ == "__main__":
    sys.exit(main())
