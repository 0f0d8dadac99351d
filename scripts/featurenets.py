#!/usr/bin/env python3
"""Narrow features under a face: writes a flat height-field mesh with a
feature inside one face of a net, and the net's text, for the import job
(examples/main-job-import.vzs), which judges each Brep's largest distance
from the mesh with `!face-fits 1.5`.

    python3 scripts/featurenets.py FEATURE HEIGHT NET OUTDIR [CELLS [HALF]]

FEATURE: spike (one vertex raised), needle (a point raised over the
centroid of one triangle), pit (one vertex lowered), gauss (a
Gaussian bump of spread two cells), rib (a row of vertices raised), plateau
(a flat top raised over a square of half side HALF, 3 by default,
with walls one cell wide), lean (the spike's top moved HALF along x: a
spike leaning sideways, over its foot's facets from HALF of a cell on),
column (a closed box of half side HALF standing on the sheet, a piece of
its own), siderib (the rib along the side the first region shares with the
second, x = 50), flat (none).
HEIGHT: the feature's height in the job's tolerances (1/500 of the mesh's
diagonal, the feature included). NET: grid (2 x 2 regions), strip (three
regions across, the middle one narrow), cross (four triangles meeting at the
centre). The mesh is [0, 100]^2 in CELLS x CELLS cells (100), the net over
[30, 70]^2, the feature inside its first region. Writes OUTDIR/mesh.stl and
OUTDIR/net.grid and prints the feature's top in space and its height.
"""
import math
import struct
import sys


def tolerance_for(height_in_tolerances, size=100.0):
    # The diagonal holds the feature's height: solve h = k d / 500.
    h = 0.0
    for _ in range(50):
        d = math.sqrt(2.0 * size * size + h * h)
        h = height_in_tolerances * d / 500.0
    return h, math.sqrt(2.0 * size * size + h * h) / 500.0


def main():
    feature, k, net, out = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4]
    n = int(sys.argv[5]) if len(sys.argv) > 5 else 100
    half = float(sys.argv[6]) if len(sys.argv) > 6 else 3.0
    size = 100.0
    h, tol = tolerance_for(k if feature != "flat" else 0.0, size)
    step = size / n
    # The feature's place: inside the first region of each net.
    fx, fy = {"grid": (40.0, 40.0), "strip": (50.0, 40.0), "cross": (50.0, 38.0)}[net]
    if feature == "siderib":
        fx = {"grid": 50.0, "strip": 45.0, "cross": 50.0}[net]
    if feature == "pit":
        h = -h

    def height(x, y):
        dx, dy = x - fx, y - fy
        if feature in ("spike", "pit", "lean"):
            return h if abs(dx) < 1e-9 and abs(dy) < 1e-9 else 0.0
        if feature == "gauss":
            s = 2.0 * step
            return h * math.exp(-(dx * dx + dy * dy) / (2.0 * s * s))
        if feature in ("rib", "siderib"):
            return h if abs(dx) < 1e-9 and abs(dy) <= 5.0 + 1e-9 else 0.0
        if feature == "plateau":
            return h if abs(dx) <= half + 1e-9 and abs(dy) <= half + 1e-9 else 0.0
        return 0.0

    pts = [[(i * step, j * step, height(i * step, j * step)) for i in range(n + 1)]
           for j in range(n + 1)]
    if feature == "lean":
        i, j = int(round(fx / step)), int(round(fy / step))
        pts[j][i] = (fx + half, fy, h)
        fx += half
    tris = []
    for j in range(n):
        for i in range(n):
            a, b, c, d = pts[j][i], pts[j][i + 1], pts[j + 1][i + 1], pts[j + 1][i]
            for t in ((a, b, c), (a, c, d)):
                # A needle: the triangle holding the feature's place fanned
                # to a point raised over its centroid.
                m = tuple(sum(q[k] for q in t) / 3.0 for k in range(2))
                if feature == "needle" and abs(m[0] - fx) < 0.5 * step and \
                        abs(m[1] - fy) < 0.5 * step and (m[0] - fx) > 0 and (m[1] - fy) < 0:
                    top = (m[0], m[1], h)
                    fx, fy = m
                    tris += [(t[0], t[1], top), (t[1], t[2], top), (t[2], t[0], top)]
                else:
                    tris.append(t)
    if feature == "column":
        # Six sides, each split into squares of about a cell.
        m = max(1, int(math.ceil(2 * half / step)))
        k = max(1, int(math.ceil(h / step)))
        lo, hi = (fx - half, fy - half), (fx + half, fy + half)

        def side(corner, du, dv, nu, nv):
            at = lambda a, b: tuple(corner[q] + a / nu * du[q] + b / nv * dv[q] for q in range(3))
            out = []
            for a in range(nu):
                for b in range(nv):
                    p, q, r, s_ = at(a, b), at(a + 1, b), at(a + 1, b + 1), at(a, b + 1)
                    out += [(p, q, r), (p, r, s_)]
            return out
        w = 2 * half
        tris += side((lo[0], lo[1], h), (w, 0, 0), (0, w, 0), m, m)
        tris += side((lo[0], lo[1], 0.0), (0, w, 0), (w, 0, 0), m, m)
        tris += side((lo[0], lo[1], 0.0), (w, 0, 0), (0, 0, h), m, k)
        tris += side((hi[0], lo[1], 0.0), (0, w, 0), (0, 0, h), m, k)
        tris += side((hi[0], hi[1], 0.0), (-w, 0, 0), (0, 0, h), m, k)
        tris += side((lo[0], hi[1], 0.0), (0, -w, 0), (0, 0, h), m, k)
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
    # The net: nodes on the plane (z 0 away from the feature), poly-lines.
    if net == "grid":
        xs = [30.0, 50.0, 70.0]
        nodes = [(x, y) for y in xs for x in xs]
        lines = [[0, 1, 2], [3, 4, 5], [6, 7, 8], [0, 3, 6], [1, 4, 7], [2, 5, 8]]
    elif net == "strip":
        xs, ys = [30.0, 45.0, 55.0, 70.0], [30.0, 70.0]
        nodes = [(x, y) for y in ys for x in xs]
        lines = [[0, 1, 2, 3], [4, 5, 6, 7], [0, 4], [1, 5], [2, 6], [3, 7]]
    else:
        nodes = [(30.0, 30.0), (70.0, 30.0), (70.0, 70.0), (30.0, 70.0), (50.0, 50.0)]
        lines = [[0, 1, 2, 3, 0], [0, 4, 2], [1, 4, 3]]
    with open(out + "/net.grid", "w") as f:
        f.write("Version 2\nNodes %d\n" % len(nodes))
        for k, (x, y) in enumerate(nodes):
            f.write("%d %r %r 0 0 0 1\n0\t1\t0 0 0\n0\t1\t0 0 0\n" % (k, x, y))
        f.write("Polylines %d\n" % len(lines))
        for line in lines:
            f.write("%d\n 1\n%s\n" % (len(line), " ".join(str(v) for v in line)))
    print("tolerance %.6g feature %s top (%g, %g, %.6g) height %.6g tolerances" %
          (tol, feature, fx, fy, h, h / tol))


main()
