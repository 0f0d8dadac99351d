#!/usr/bin/env bash
# Damages small files of the formats a user hands the readers, every byte
# deleted and every bit flipped, and reads each damaged copy
# (tests/tools/ReaderSweep.cpp): net texts with face records of every kind
# (a surface, a trimmed face with its trim curves, Imprint counts, names),
# ASCII and binary STL, Nastran bulk data in small-field, large-field and
# free-field cards and with grids in coordinate systems of each kind, VRML
# and AutoForm text. A damaged net text must be refused on the line of
# its damage with the drawn net kept, or read as what it says; a damaged
# mesh must load whole, say what it left out, or be refused. Then the valid
# variants of each file (CR LF, tabs and runs of blanks, a byte-order mark,
# numbers of 150 characters; NULs after an STL text; CR line ends, blanks at
# line ends, a '+' before reals and lower-case knot headers in net texts)
# must read as the plain file, and a binary STL with bytes after its facets,
# cut inside a facet or with a count of 0 must read its whole facets and say
# so. Not part of the test command: it takes minutes.
#
#   bash scripts/readersweep.sh [FLIPS]
#
# FLIPS is all (the default) or none (byte deletions only, a quick look).
# READERSWEEP_SHOW (5) sets how many cases of a fault are shown;
# READERSWEEP_TOOL reads with another build's tests/readersweep (the verdicts
# before a change). Prints the outcomes per file; exits 1 when any file had a
# fault. The inputs stay in $build/readersweep/, with each file's record for
# scripts/baseline.sh (scripts/sweeprecord.sh), as MODE-KIND-FILE, in
# record.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
flips=${1:-all}
show=${READERSWEEP_SHOW:-5}
build=${MW_TOOLS_BUILD_DIR:-build/tools}
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMW_BUILD_TESTS=ON -DMW_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${MW_JOBS:-3}" --target readersweep >/dev/null
sweep=${READERSWEEP_TOOL:-$build/tests/readersweep}
out=$build/readersweep
rm -rf "$out"
mkdir -p "$out"
source scripts/sweeprecord.sh
start_record "$out/record.txt"

# A net of one square face with a surface: the smallest text with every
# field of a face record's surface.
cat >"$out/square-surface.grid" <<'EOF'
Version 7
Nodes 4
0 0 0 0 0 0 1
0	1	0 0 0
0	1	0 0 0
1 1 0 0 0 0 1
0	1	0 0 0
0	1	0 0 0
2 1 1 0 0 0 1
0	1	0 0 0
0	1	0 0 0
3 0 1 0 0 0 1
0	1	0 0 0
0	1	0 0 0
Polylines 4
2
 1
0 1
0
2
 1
1 2
0
2
 1
2 3
0
2
 1
3 0
0
Topology
0 5 100
0.1
1
2
0
0.01
0.1
0.5
1
GeoObject Begin
36H8958226e-d8d2-488f-bdd5-82bc1d4d2f00
6Hcorner
Layer -1
GeoObject End
Draft
Draft
1
GeoObject Begin
36Hcbb9a891-a611-44ea-8c01-24b914c0f3a9
0H
Layer -1
GeoObject End
p=1 n=1 ClampedEnd Uniform
p=1 n=1 ClampedEnd Uniform
P 0,0 = [   0.0000000000000000,   0.0000000000000000,   0.0000000000000000 ]   1.0000000000000000
P 1,0 = [   1.0000000000000000,   0.0000000000000000,   0.0000000000000000 ]   1.0000000000000000
P 0,1 = [   0.0000000000000000,   1.0000000000000000,   0.1250000000000000 ]   1.0000000000000000
P 1,1 = [   1.0000000000000000,   1.0000000000000000,   0.0000000000000000 ]   0.5000000000000000
 0
1
GeoObject Begin
36H95e1072d-bf3d-4188-8fa8-a1c36e0dc089
0H
Layer -1
GeoObject End
 0
4 0 0
 1 1
 2 2
 3 3

EOF
# The "#" net of the tests (a trimmed face, a surface, Imprint counts, a
# name with a blank) and faces fitted on a real sphere, as documents hold
# them.
for name in hash-faces sphere-faces relocated-loops; do
    cp "fuzz/corpus/NetText/$name" "$out/$name.grid"
done

# Four facets as text, and their binary form.
cat >"$out/four.stl" <<'EOF'
solid part
 facet normal 0 0 1
  outer loop
   vertex 0 0 0
   vertex 1 0 0
   vertex 0 1 0.5
  endloop
 endfacet
 facet normal 0 0 1
  outer loop
   vertex 1 0 0
   vertex 1 1 0
   vertex 0 1 0.5
  endloop
 endfacet
 facet normal 0 0 1
  outer loop
   vertex 1 0 0
   vertex 2 0 1.5
   vertex 1 1 0
  endloop
 endfacet
 facet normal 0 0 1
  outer loop
   vertex 2 0 1.5
   vertex 2 1 1.5
   vertex 1 1 0
  endloop
 endfacet
endsolid part
EOF
"$sweep" binary stl "$out/four.stl" "$out/four-binary.stl"

# Four facets of Nastran bulk data in each card format.
cat >"$out/small-field.nas" <<'EOF'
BEGIN BULK
GRID           1       0      0.      0.      0.
GRID           2       0      1.      0.      0.
GRID           3       0      1.      1.      0.
GRID           4       0      0.      1.      .5
GRID           5       0      2.      0.     1.5
GRID           6       0      2.      1.     1.5
CTRIA3        10       1       1       2       4
CTRIA3        11       1       2       3       4
CQUAD4        12       1       2       5       6       3
CTRIA3        13       1       5       6       3
ENDDATA
EOF
cat >"$out/large-field.nas" <<'EOF'
BEGIN BULK
GRID*                  1               0              0.              0.
*                     0.
GRID*                  2               0              1.              0.
*                     0.
GRID*                  3               0              1.              1.
*                     0.
GRID*                  4               0              0.              1.
*                     .5
GRID*                  5               0              2.              0.
*                    1.5
GRID*                  6               0              2.              1.
*                    1.5
CTRIA3*               10               1               1               2
*                      4
CTRIA3*               11               1               2               3
*                      4
CQUAD4*               12               1               2               5
*                      6               3
CTRIA3*               13               1               5               6
*                      3
ENDDATA
EOF
cat >"$out/free-field.nas" <<'EOF'
BEGIN BULK
GRID,1,0,0.,0.,0.
GRID,2,0,1.,0.,0.
GRID,3,0,1.,1.,0.
GRID,4,0,0.,1.,.5
GRID,5,0,2.,0.,1.5
GRID,6,0,2.,1.,1.5
CTRIA3,10,1,1,2,4
CTRIA3,11,1,2,3,4
CQUAD4,12,1,2,5,6,3
CTRIA3,13,1,5,6,3
ENDDATA
EOF

# Those facets with their grids in a moved rectangular system, a
# cylindrical one and a rectangular one given in the cylindrical.
cat >"$out/systems.nas" <<'EOF'
BEGIN BULK
CORD2R         1       0     10.      0.      0.     10.      0.      1.
+            11.      0.      0.
CORD2C         2       0      0.      0.      0.      0.      0.      1.
+             1.      0.      0.
CORD2R*                3               2              1.             90.
*                     0.              1.             90.              1.
*                     1.            180.              0.
GRID           1       1    -10.      0.      0.
GRID           2       2      1.      0.      0.
GRID           3       2 1.41421     45.      0.
GRID           4       3      1.      0.      .5
GRID           5       1     -8.      0.     1.5
GRID           6       0      2.      1.     1.5
CTRIA3        10       1       1       2       4
CTRIA3        11       1       2       3       4
CQUAD4        12       1       2       5       6       3
CTRIA3        13       1       5       6       3
ENDDATA
EOF

# Three facets of VRML and of AutoForm text.
cat >"$out/three.wrl" <<'EOF'
#VRML V2.0 utf8
Shape { geometry IndexedFaceSet {
  coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0, 2 0 1, 2 1 1 ] }
  coordIndex [ 0, 1, 3, -1, 1, 2, 3, -1, 1, 4, 5, 2, -1 ]
} }
EOF
cat >"$out/three.af" <<'EOF'
POINTS
1 0 0 0
2 1 0 0
3 1 1 0
4 0 1 0.5
5 2 0 1.5
FACETS
10 1 2 4
11 2 3 4
12 2 5 3
EOF

status=0
# One reading of a file, MODE KIND FILE [OPTION...], its verdict kept.
run() {
    local result=0
    timed "$out/time" "$sweep" "$@" || result=1
    record "$1-$2-$(basename "$3")" "$([[ $result -eq 0 ]] && echo pass || echo fail)" - - \
        "$(cpu_of "$out/time")"
    [[ $result -eq 0 ]] || status=1
}
damaged=(--flips "$flips" --show "$show")
for file in "$out"/*.grid; do
    run damage net "$file" "${damaged[@]}"
    run variants net "$file"
done
for file in "$out"/four.stl "$out"/four-binary.stl; do
    run damage stl "$file" "${damaged[@]}"
    run variants stl "$file"
done
for file in "$out"/*.nas; do
    run damage nastran "$file" "${damaged[@]}"
    run variants nastran "$file"
done
run damage vrml "$out/three.wrl" "${damaged[@]}"
run variants vrml "$out/three.wrl"
run damage autoform "$out/three.af" "${damaged[@]}"
run variants autoform "$out/three.af"
exit $status
