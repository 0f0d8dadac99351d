#!/usr/bin/env python3
"""Meshes and nets for trying the commit's coverage check (the areas the
net's lines enclose against the Breps made of its faces) and its gaps, on
shapes where the sheet a face lies on is not the only one near it: closed
parts, stacked sheets, rings and spirals, nets far larger than their
tolerance.

    python3 scripts/coveragenets.py LAYOUT OUT [NAME=VALUE]...

writes OUT.stl (binary STL) and OUT.grid (a net text, version 2) for the
import job (examples/main-job-import.vzs), whose tolerance is 1/500 of the
mesh's diagonal (T below; values given in T are converted with it).

Layouts:
  box      a closed box 100 x 100 x THICK (10), a 2 x 2 net of cells on its
           top whose outer lines lie INSET (0) T inside the rim; OPEN=1
           leaves the top alone (an open sheet)
  stack    two sheets 60 x 40, GAP (2.5) T one over the other, a 2 x 1 net
           on each (cells 20 x 20, the lower net moved SHIFT along x); THIN=1
           closes them into one thin part (its rim walls GAP T high), the
           lower net then on its underside
  strip    a face 20 x 10 and a strip 20 x W (3) beside it along its long
           side on a sheet bent by BEND (0.5), the strip at the sheet's
           border when BORDER=1
  annulus  two rings (radius 10 and 5) each drawn as one stroke back to its
           first point, N (20) spokes between them, on a sheet bent by BEND;
           with CELL=1 inside a square cell of 26 (the rings an island)
  spiral   a stroke from the middle winding out TURNS (1.5) times and on
           onto a node of its own last turn
  plate    an N x N (2) net of cells CELL (15) on a smooth plate (a long
           wave of AMP (0.5)), every length times SCALE (1): at SCALE=1000
           the fit tolerance (clamped to 10) is thousands of times smaller
           than the net

Common values: FACET (mesh spacing, 1), SEG (spacing of the poly-lines'
nodes, 1), SCALE (1).
"""
import math
import sys

from gapnets import Nodes, write_stl


def main():
    if len(sys.argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    layout, out = sys.argv[1], sys.argv[2]
    v = {"THICK": 10.0, "INSET": 0.0, "OPEN": 0, "GAP": 2.5, "SHIFT": 0.0, "THIN": 0, "W": 3.0,
         "BEND": 0.5, "BORDER": 0, "N": None, "TURNS": 1.5, "CELL": None, "AMP": 0.5,
         "FACET": 1.0, "SEG": 1.0, "SCALE": 1.0}
    for arg in sys.argv[3:]:
        name, value = arg.split("=", 1)
        v[name] = float(value)
    make = {"box": box, "stack": stack, "strip": strip, "annulus": annulus, "spiral": spiral,
            "plate": plate}.get(layout)
    if make is None:
        sys.stderr.write("coveragenets: unknown layout %s\n" % layout)
        return 2
    tris, lines = make(v)
    scale = v["SCALE"]
    write_stl(out + ".stl", [tuple(tuple(c * scale for c in p) for p in t) for t in tris],
              b"coveragenets")
    # Every poly-line through its points with a node every SEG between them;
    # points of one place are one node (a ring's last point is its first).
    nodes = Nodes3()
    polylines = []
    for points in lines:
        entries = []
        for k in range(len(points) - 1):
            a, b = points[k], points[k + 1]
            n = max(1, int(math.ceil(math.dist(a, b) / v["SEG"])))
            for s in range(n if k + 2 < len(points) else n + 1):
                t = s / n
                entries.append(nodes.at(tuple(a[q] + t * (b[q] - a[q]) for q in range(3))
                                        + tuple(a[3:])))
        polylines.append(entries)
    write_grid3(out + ".grid", nodes.places, polylines, scale)
    return 0


class Nodes3(Nodes):
    """Nodes in space; points of one place are one node."""

    def at(self, p):
        key = tuple(round(c, 9) for c in p)
        if key not in self.index:
            self.index[key] = len(self.places)
            self.places.append(p)
        return self.index[key]


def write_grid3(path, places, polylines, scale):
    """The net text (version 2) of nodes in space, each with the normal of
    the sheet it lies on (+z, or -z for a point given a fourth value -1),
    and the poly-lines through them."""
    with open(path, "w") as f:
        f.write("Version 2\nNodes %d\n" % len(places))
        for k, p in enumerate(places):
            f.write("%d %.9g %.9g %.9g 0 0 %d\n0\t1\t0 0 0\n0\t1\t0 0 0\n"
                    % (k, p[0] * scale, p[1] * scale, p[2] * scale, p[3] if len(p) > 3 else 1))
        f.write("Polylines %d\n" % len(polylines))
        for entries in polylines:
            f.write("%d\n 1\n%s\n" % (len(entries), " ".join(str(e) for e in entries)))


def tolerance(tris):
    lo = [min(p[k] for t in tris for p in t) for k in range(3)]
    hi = [max(p[k] for t in tris for p in t) for k in range(3)]
    return math.dist(lo, hi) / 500.0


def grid(x0, x1, y0, y1, facet, at):
    """Triangles of a regular grid over the rectangle, at(x, y) giving each
    point; two a cell."""
    nx = max(1, int(math.ceil((x1 - x0) / facet)))
    ny = max(1, int(math.ceil((y1 - y0) / facet)))
    xs = [x0 + (x1 - x0) * i / nx for i in range(nx + 1)]
    ys = [y0 + (y1 - y0) * j / ny for j in range(ny + 1)]
    tris = []
    for i in range(nx):
        for j in range(ny):
            a, b = at(xs[i], ys[j]), at(xs[i + 1], ys[j])
            c, d = at(xs[i + 1], ys[j + 1]), at(xs[i], ys[j + 1])
            tris += [(a, b, c), (a, c, d)]
    return tris


def flip(tris):
    return [(t[0], t[2], t[1]) for t in tris]


def walls(w, h, z0, z1, facet):
    """The underside (at z0) and the four walls of a closed box over
    [0, w] x [0, h] up to z1, facing outwards."""
    return (flip(grid(0, w, 0, h, facet, lambda x, y: (x, y, z0)))
            + grid(0, w, z0, z1, facet, lambda x, z: (x, 0.0, z))
            + flip(grid(0, w, z0, z1, facet, lambda x, z: (x, h, z)))
            + flip(grid(0, h, z0, z1, facet, lambda y, z: (0.0, y, z)))
            + grid(0, h, z0, z1, facet, lambda y, z: (w, y, z)))


def cells_net(x0, y0, nx, ny, cell, z):
    """Lines of an nx x ny net of square cells from (x0, y0), at height z(x, y)."""
    lines = []
    for j in range(ny + 1):
        lines.append([(x0 + i * cell, y0 + j * cell) for i in range(nx + 1)])
    for i in range(nx + 1):
        lines.append([(x0 + i * cell, y0 + j * cell) for j in range(ny + 1)])
    return [[(x, y, z(x, y)) for x, y in line] for line in lines]


def box(v):
    size, thick, f = 100.0, v["THICK"], v["FACET"]
    tris = grid(0, size, 0, size, f, lambda x, y: (x, y, thick))
    if not v["OPEN"]:
        tris += walls(size, size, 0.0, thick, f)
    inset = v["INSET"] * tolerance(tris)
    cell = (size - 2 * inset) / 2
    return tris, cells_net(inset, inset, 2, 2, cell, lambda x, y: thick)


def stack(v):
    f, w, h = v["FACET"], 60.0, 40.0
    # The tolerance follows the box of both sheets: solve gap = GAP * T.
    gap = 0.0
    for _ in range(50):
        gap = v["GAP"] * math.sqrt(w * w + h * h + gap * gap) / 500.0
    tris = grid(0, w, 0, h, f, lambda x, y: (x, y, gap))
    under = grid(0, w, 0, h, f, lambda x, y: (x, y, 0.0))
    lines = cells_net(10.0, 10.0, 2, 1, 20.0, lambda x, y: gap)
    lower = cells_net(10.0 + v["SHIFT"], 10.0, 2, 1, 20.0, lambda x, y: 0.0)
    if v["THIN"]:
        lower = [[p + (-1,) for p in line] for line in lower]
        tris += walls(w, h, 0.0, gap, f)
    else:
        tris += under
    return tris, lines + lower


def bent(v, length):
    return lambda x, y: v["BEND"] * (x / length) ** 2 * length * 0.1


def strip(v):
    z = bent(v, 30.0)
    w = v["W"]
    top = 15.0 + w if v["BORDER"] else 30.0
    tris = grid(0, 30.0, 0, top, v["FACET"], lambda x, y: (x, y, z(x, y)))
    ys = [5.0, 15.0, 15.0 + w]
    lines = [[(x, y) for x in (5.0, 25.0)] for y in ys] + [[(x, y) for y in ys] for x in (5.0, 25.0)]
    return tris, [[(x, y, z(x, y)) for x, y in line] for line in lines]


def annulus(v):
    z = bent(v, 30.0)
    n = int(v["N"] or 20)
    tris = grid(0, 30.0, 0, 30.0, v["FACET"], lambda x, y: (x, y, z(x, y)))

    def at(r, a):
        x, y = 15.0 + r * math.cos(a), 15.0 + r * math.sin(a)
        return (x, y, z(x, y))
    # Each ring through the spokes' ends and points between them, back to
    # its first point.
    per = max(1, int(math.ceil(2 * math.pi * 10.0 / n / v["SEG"])))
    rings = [[at(r, 2 * math.pi * k / (n * per)) for k in range(n * per + 1)] for r in (10.0, 5.0)]
    spokes = [[at(5.0, 2 * math.pi * k / n), at(10.0, 2 * math.pi * k / n)] for k in range(n)]
    cell = []
    if v["CELL"] == 1:
        corners = [(2.0, 2.0), (28.0, 2.0), (28.0, 28.0), (2.0, 28.0), (2.0, 2.0)]
        cell = [[(x, y, z(x, y)) for x, y in corners]]
    return tris, cell + rings + spokes


def spiral(v):
    z = bent(v, 40.0)
    tris = grid(0, 40.0, 0, 40.0, v["FACET"], lambda x, y: (x, y, z(x, y)))
    turns = v["TURNS"]
    # r = 3 + 5 a / (2 pi) from the middle; the stroke ends on the point of
    # its last whole turn at its last angle.
    points = []
    steps = int(turns * 48)
    for k in range(steps + 1):
        a = 2 * math.pi * turns * k / steps
        r = 3.0 + 5.0 * a / (2 * math.pi)
        x, y = 20.0 + r * math.cos(a), 20.0 + r * math.sin(a)
        points.append((x, y, z(x, y)))
    points.append(points[steps - 48])
    return tris, [points]


def plate(v):
    n, c = int(v["N"] or 2), v["CELL"] or 15.0
    size = 100.0

    def z(x, y):
        return v["AMP"] * math.sin(2 * math.pi * x / 200.0) * math.cos(2 * math.pi * y / 200.0)
    tris = grid(0, size, 0, size, v["FACET"], lambda x, y: (x, y, z(x, y)))
    x0 = 50.0 - n * c / 2
    return tris, cells_net(x0, x0, n, n, c, z)


if __name__ == "__main__":
    sys.exit(main())
