#!/usr/bin/env python3
"""Narrow features under a face: writes a height-field mesh (a plane, a
tilted plane or a bent sheet) with a feature inside one face of a net, and
the net's text, for the import job (examples/main-job-import.vzs), which
judges each Brep's largest distance from the mesh with `!face-fits 1.5`.

    python3 scripts/featurenets.py FEATURE HEIGHT NET OUTDIR [CELLS [HALF]] [NAME=VALUE]...

FEATURE: spike (one vertex raised), needle (a point raised over the
centroid of one triangle), pit (one vertex lowered), gauss (a
Gaussian bump of spread two cells), rib (a row of vertices raised), fold (a
ridge 10 long whose cross-section is a tent two cells each side, its ends
tapered as much), plateau (a flat top raised over a square of half side
HALF, 3 by default, with walls one cell wide), piece (a separate square
sheet of half side HALF lying GAP tolerances over the sheet, a spike raised
in its middle: its facets share no vertex with the sheet's), flat (none).
HEIGHT: the feature's height in the job's tolerances (1/500 of the mesh's
diagonal, the feature included), straight up (along z, whatever the sheet's
slope). NET: grid (2 x 2 regions), strip (three regions across, the middle
one narrow), cross (four triangles meeting at the centre). The mesh is
[0, 100]^2 in CELLS x CELLS cells (100), the net over [30, 70]^2, the
feature inside its first region.

Values: SLOPE (0: the sheet rises that much per unit along x), BEND (0: and
that much more 30 units either side of x = 50, as a parabola), AT=X,Y (the
feature's place, a vertex of the mesh; by default inside the first region),
SHIFT=DX,DY (0,0: the net moved, so that its sides run between the mesh's
vertices), GAP (0.1: the piece's height over the sheet, in tolerances),
SCALE (1: every length times it). Writes OUTDIR/mesh.stl and OUTDIR/net.grid
and prints the tolerance, the feature's top in space and its height, and
how far the feature's place lies from the nearest side of its region, in
tolerances.
"""
import math
import struct
import sys


def main():
    positional = [a for a in sys.argv[1:] if "=" not in a]
    values = dict(a.split("=", 1) for a in sys.argv[1:] if "=" in a)
    feature, k, net, out = positional[0], float(positional[1]), positional[2], positional[3]
    n = int(positional[4]) if len(positional) > 4 else 100
    half = float(positional[5]) if len(positional) > 5 else 3.0
    slope = float(values.get("SLOPE", 0.0))
    bend = float(values.get("BEND", 0.0))
    gap = float(values.get("GAP", 0.1))
    scale = float(values.get("SCALE", 1.0))
    shift = [float(s) for s in values.get("SHIFT", "0,0").split(",")]
    size = 100.0
    step = size / n
    # The feature's place: inside the first region of each net.
    fx, fy = {"grid": (40.0, 40.0), "strip": (50.0, 40.0), "cross": (50.0, 38.0)}[net]
    if "AT" in values:
        fx, fy = [float(s) for s in values["AT"].split(",")]

    def base(x, y):
        return slope * x + bend * ((x - 50.0) / 30.0) ** 2

    # The tolerance: 1/500 of the diagonal of the mesh's box, which holds the
    # feature's height: solve h = k d / 500.
    lows = [base(i * step, j * step) for j in (0, n) for i in range(n + 1)]
    zlow, zhigh = min(lows), max(lows)
    top = base(fx, fy)
    height = k if feature != "flat" else 0.0
    h = 0.0
    for _ in range(50):
        up = -1.0 if feature == "pit" else 1.0
        dz = max(zhigh, top + up * h) - min(zlow, top + up * h)
        tol = math.sqrt(2.0 * size * size + dz * dz) / 500.0
        h = height * tol
    if feature == "pit":
        h = -h

    def raised(x, y):
        dx, dy = x - fx, y - fy
        if feature in ("spike", "pit"):
            return h if abs(dx) < 1e-9 and abs(dy) < 1e-9 else 0.0
        if feature == "gauss":
            s = 2.0 * step
            return h * math.exp(-(dx * dx + dy * dy) / (2.0 * s * s))
        if feature == "rib":
            return h if abs(dx) < 1e-9 and abs(dy) <= 5.0 + 1e-9 else 0.0
        if feature == "fold":
            w = 2.0 * step
            return h * max(0.0, 1.0 - abs(dx) / w) * max(0.0, 1.0 - max(0.0, abs(dy) - 5.0) / w)
        if feature == "plateau":
            return h if abs(dx) <= half + 1e-9 and abs(dy) <= half + 1e-9 else 0.0
        return 0.0

    def point(x, y, z):
        return (x * scale, y * scale, z * scale)

    pts = [[point(i * step, j * step, base(i * step, j * step) + raised(i * step, j * step))
            for i in range(n + 1)] for j in range(n + 1)]
    tris = []
    for j in range(n):
        for i in range(n):
            a, b, c, d = pts[j][i], pts[j][i + 1], pts[j + 1][i + 1], pts[j + 1][i]
            for t in ((a, b, c), (a, c, d)):
                # A needle: the triangle holding the feature's place fanned
                # to a point raised over its centroid.
                m = tuple(sum(q[e] for q in t) / 3.0 / scale for e in range(2))
                if feature == "needle" and abs(m[0] - fx) < 0.5 * step and \
                        abs(m[1] - fy) < 0.5 * step and (m[0] - fx) > 0 and (m[1] - fy) < 0:
                    fx, fy = m
                    apex = point(m[0], m[1], base(m[0], m[1]) + h)
                    tris += [(t[0], t[1], apex), (t[1], t[2], apex), (t[2], t[0], apex)]
                else:
                    tris.append(t)
    if feature == "piece":
        # A sheet of its own over [fx - half, fx + half]^2, its vertices half
        # a cell off the sheet's, GAP tolerances over it, its middle vertex
        # raised by the height.
        m = max(1, int(round(2.0 * half / step)))
        x0, y0 = fx - 0.5 * m * step, fy - 0.5 * m * step
        lift = gap * tol

        def at(i, j):
            x, y = x0 + i * step, y0 + j * step
            spike = h if 2 * i == m and 2 * j == m else 0.0
            return point(x, y, base(x, y) + lift + spike)

        for j in range(m):
            for i in range(m):
                a, b, c, d = at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)
                tris += [(a, b, c), (a, c, d)]
        if m % 2:
            fx, fy = x0 + 0.5 * (m - 1) * step, y0 + 0.5 * (m - 1) * step
    with open(out + "/mesh.stl", "wb") as f:
        f.write(b"featurenets".ljust(80, b" "))
        f.write(struct.pack("<I", len(tris)))
        for t in tris:
            u = [t[1][q] - t[0][q] for q in range(3)]
            v = [t[2][q] - t[0][q] for q in range(3)]
            nn = (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])
            length = math.sqrt(sum(x * x for x in nn)) or 1.0
            f.write(struct.pack("<3f", *(x / length for x in nn)))
            for p in t:
                f.write(struct.pack("<3f", *p))
            f.write(b"\0\0")
    # The net: nodes on the sheet (away from the feature), poly-lines.
    if net == "grid":
        xs = [30.0, 50.0, 70.0]
        nodes = [(x, y) for y in xs for x in xs]
        lines = [[0, 1, 2], [3, 4, 5], [6, 7, 8], [0, 3, 6], [1, 4, 7], [2, 5, 8]]
        first = [(0, 1), (1, 4), (4, 3), (3, 0)]
    elif net == "strip":
        xs, ys = [30.0, 45.0, 55.0, 70.0], [30.0, 70.0]
        nodes = [(x, y) for y in ys for x in xs]
        lines = [[0, 1, 2, 3], [4, 5, 6, 7], [0, 4], [1, 5], [2, 6], [3, 7]]
        first = [(0, 1), (1, 5), (5, 4), (4, 0)]
    else:
        nodes = [(30.0, 30.0), (70.0, 30.0), (70.0, 70.0), (30.0, 70.0), (50.0, 50.0)]
        lines = [[0, 1, 2, 3, 0], [0, 4, 2], [1, 4, 3]]
        first = [(0, 1), (1, 4), (4, 0)]
    nodes = [(x + shift[0], y + shift[1]) for x, y in nodes]
    with open(out + "/net.grid", "w") as f:
        f.write("Version 2\nNodes %d\n" % len(nodes))
        for e, (x, y) in enumerate(nodes):
            z = base(x, y)
            place = "%r %r %r" % (x * scale, y * scale, z * scale) if z or scale != 1.0 \
                else "%r %r 0" % (x, y)
            f.write("%d %s 0 0 1\n0\t1\t0 0 0\n0\t1\t0 0 0\n" % (e, place))
        f.write("Polylines %d\n" % len(lines))
        for line in lines:
            f.write("%d\n 1\n%s\n" % (len(line), " ".join(str(v) for v in line)))

    # How far the feature's place lies from its region's sides, in the plane.
    def off(a, b):
        (ax, ay), (bx, by) = nodes[a], nodes[b]
        ex, ey = bx - ax, by - ay
        t = max(0.0, min(1.0, ((fx - ax) * ex + (fy - ay) * ey) / (ex * ex + ey * ey)))
        return math.hypot(fx - ax - t * ex, fy - ay - t * ey)

    side = min(off(a, b) for a, b in first)
    if feature == "piece":
        h += gap * tol
    print("tolerance %.6g feature %s top (%g, %g, %.6g) height %.6g tolerances, %.3g from a side" %
          (tol * scale, feature, fx * scale, fy * scale, (base(fx, fy) + h) * scale, h / tol,
           side / tol))


main()
