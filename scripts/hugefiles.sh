#!/usr/bin/env bash
# Hands the script runner's file roads huge and damaged files and measures
# how long each refusal takes and how much memory it costs: documents of 2 GB
# and 8 GB that are none (the 8 GB one under a 4 GB memory limit), a saved
# document with 2 GB after it, a script of 1 GB, an STL of 2 GB, texts of
# 2 GB without line ends after a first line or two (a net text, AutoForm,
# Nastran, VRML and STL text, each a run of digits; a net text a run of
# blanks), texts of 2 GB of blank lines (a net text, AutoForm, Nastran and
# VRML), a script whose first line runs to 60 MB, and the
# document of a 100 x 100 net (10,000 faces on a 20,000-facet plate) with one
# bit flipped in its mesh image and in its net text. Every refusal must come
# within a second or two with little memory (a text of blank lines is read to
# its end: a few seconds, a line's bound costing per line, not per
# character), and the runner must live on to say so. The big files are sparse
# and deleted after (not part of the test command).
#
#   bash scripts/hugefiles.sh [VZHOST]
#
# VZHOST is the runner to measure (build/release/apps/vzhost, built when
# missing): another build's runner gives the figures to compare; the runner
# in HUGEFILES_MAKER (VZHOST) makes and saves the 10,000-face document, so
# that a document of an older format can be measured. The big files are
# opened under a 4 GB memory limit, so that a runner that reads them whole
# fails instead of taking the machine's memory. Prints one line per case:
# seconds, peak memory, the runner's answer and its last line; exits 1 when
# a case was not answered as expected.
set -euo pipefail
cd "$(dirname "$0")/.."
vzhost=${1:-build/release/apps/vzhost}
if [[ ! -x "$vzhost" ]]; then
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/release -j "${MW_JOBS:-3}" --target vzhost >/dev/null
fi
vzhost=$(cd "$(dirname "$vzhost")" && pwd)/$(basename "$vzhost")
maker=${HUGEFILES_MAKER:-$vzhost}
limit=4194304
work=$(mktemp -d "${TMPDIR:-/tmp}/mw-hugefiles-XXXXXX")
trap 'rm -rf "$work"' EXIT
export FENWO_DIAGNOSTICS_DIR=$work/diagnostics
mkdir -p "$FENWO_DIAGNOSTICS_DIR" "$work/out"
status=0

# Runs a script through the runner (with a memory limit in KB when given)
# and prints the case's line; expected is the runner's exit code.
measure() {
    local name=$1 script=$2 expected=$3 limit=${4:-unlimited}
    local code=0
    (ulimit -v "$limit"; /usr/bin/time -f "%e %M" -o "$work/time" \
        "$vzhost" --script "$script" --out "$work/out" >"$work/log" 2>&1) || code=$?
    local seconds kilobytes
    read -r seconds kilobytes < <(tail -1 "$work/time") || true
    local said
    said=$(grep -E "not opened|cannot be read|No facets|not an STL|contains binary|no STL|longer than|runs past|is refused|Script line" \
        "$work/log" | tail -1 | cut -c1-110) || true
    printf '%-34s %6s s %8s MB  exit %s  %s\n' "$name" "${seconds:-?}" \
        "$(( ${kilobytes:-0} / 1024 ))" "$code" "$said"
    [[ "$code" == "$expected" ]] || status=1
}

opens() { # a script that opens the document and expects the answer
    printf '_Open "%s"\n!expect-result %s\n' "$1" "$2" >"$work/open.vzs"
    echo "$work/open.vzs"
}

truncate -s 2G "$work/zeros.vzd"
measure "2 GB of zeros named .vzd" "$(opens "$work/zeros.vzd" 3)" 0 $limit
rm -f "$work/zeros.vzd"
truncate -s 8G "$work/zeros.vzd"
measure "8 GB of zeros named .vzd" "$(opens "$work/zeros.vzd" 3)" 0 $limit
rm -f "$work/zeros.vzd"
truncate -s 1G "$work/huge.vzs"
measure "a script of 1 GB" "$work/huge.vzs" 2 $limit
rm -f "$work/huge.vzs"
truncate -s 2G "$work/zeros.stl"
printf '_MWLoadMesh File=Yes file:%s\n!expect-result 3\n' "$work/zeros.stl" >"$work/load.vzs"
measure "2 GB of zeros named .stl" "$work/load.vzs" 0 $limit
rm -f "$work/zeros.stl"

# Texts of one line after their first: 2 GB of digits (or blanks) where a
# line of a few words stands. A loader that fails leaves the document as it
# was; the net text's import answers 3 and keeps the net.
head -c 2000000000 /dev/zero | tr '\0' '1' >"$work/digits"
onLine() { # name, file, what stands before the run, the run, the script line
    { printf "$3"; cat "$4"; } >"$work/$2"
    printf '%s\n!expect-result 3\n' "$5" >"$work/line.vzs"
    measure "$1" "$work/line.vzs" 0 $limit
    rm -f "$work/$2"
}
# The net text, AutoForm, Nastran and VRML readers on a run: the run, then
# the names of the four cases.
fourReaders() {
    onLine "$2" n.grid 'Version 7\nNodes 1\n0 ' "$1" "_MWImportGridV1 file:$work/n.grid"
    onLine "$3" a.af 'POINTS\n' "$1" "_MWLoadMesh File=Yes file:$work/a.af"
    onLine "$4" b.nas 'BEGIN BULK\nGRID,1,0,0.,0.,0.\n' "$1" "_MWLoadMesh File=Yes file:$work/b.nas"
    onLine "$5" c.wrl \
        '#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [ ' \
        "$1" "_MWLoadMesh File=Yes file:$work/c.wrl"
}
fourReaders "$work/digits" "a net text of one number" "an AutoForm text of one line" \
    "a Nastran text of one line" "a VRML text of one number"
onLine "an STL text of one number" d.stl 'solid s\nfacet normal 0 0 1\nouter loop\nvertex ' \
    "$work/digits" "_MWLoadMesh File=Yes file:$work/d.stl"
rm -f "$work/digits"
head -c 2000000000 /dev/zero | tr '\0' ' ' >"$work/blanks"
onLine "a net text of one line of blanks" e.grid 'Version 7\nNodes 1\n0 ' "$work/blanks" \
    "_MWImportGridV1 file:$work/e.grid"
rm -f "$work/blanks"
# Texts of 2 GB of blank lines where a record or a list goes on: the bound on
# a line's length must cost per line, not per character.
head -c 2000000000 /dev/zero | tr '\0' '\n' >"$work/feeds"
fourReaders "$work/feeds" "a net text of blank lines" "an AutoForm text of blank lines" \
    "a Nastran text of blank lines" "a VRML text of blank lines"
rm -f "$work/feeds"
{ printf '_MWLoadMesh File=Yes file:'; head -c 60000000 /dev/zero | tr '\0' '1'; echo; } \
    >"$work/long.vzs"
measure "a script line of 60 MB" "$work/long.vzs" 1 $limit
rm -f "$work/long.vzs"

# The 100 x 100 net over the plate, imported and saved.
python3 - "$work" <<'PYEOF'
import struct, sys
work = sys.argv[1]
n = 100
with open(work + "/plate.stl", "wb") as f:
    f.write(b"plate".ljust(80, b" ") + struct.pack("<I", 2 * n * n))
    p = lambda i, j: (100.0 * i / n, 100.0 * j / n, 0.0)
    for j in range(n):
        for i in range(n):
            for t in ((p(i, j), p(i + 1, j), p(i + 1, j + 1)), (p(i, j), p(i + 1, j + 1), p(i, j + 1))):
                f.write(struct.pack("<3f", 0, 0, 1) + b"".join(struct.pack("<3f", *v) for v in t) + b"\0\0")
m = 100
lines = ["Version 2", "Nodes %d" % ((m + 1) ** 2)]
for j in range(m + 1):
    for i in range(m + 1):
        lines += ["%d %r %r 0 0 0 1" % (j * (m + 1) + i, 5.0 + 90.0 * i / m, 5.0 + 90.0 * j / m),
                  "0\t1\t0 0 0", "0\t1\t0 0 0"]
lines.append("Polylines %d" % (2 * (m + 1)))
for k in range(m + 1):
    for row in (True, False):
        lines += [str(m + 1), " 1", " ".join(str(k * (m + 1) + q if row else q * (m + 1) + k) for q in range(m + 1))]
open(work + "/net.grid", "w").write("\n".join(lines) + "\n")
PYEOF
cat >"$work/make.vzs" <<EOF
_MWLoadMesh File=Yes file:$work/plate.stl
!expect-result 0
_MWOptions RMS_of_Mesh=~0.3 Online_Face_Computation=No OK Cancel
!expect-result 0
_MWImportGridV1 file:$work/net.grid
!expect-result 0
-_Save "$work/net.vzd"
!expect-result 0
EOF
"$maker" --script "$work/make.vzs" --out "$work/out" >"$work/make.log" 2>&1 || {
    echo "the 10,000-face document could not be made" >&2
    exit 1
}
measure "the 10,000-face document" "$(opens "$work/net.vzd" 0)" 0
cp "$work/net.vzd" "$work/tail.vzd"
truncate -s +2G "$work/tail.vzd"
measure "that document and 2 GB after it" "$(opens "$work/tail.vzd" 3)" 0 $limit
rm -f "$work/tail.vzd"

# One bit flipped in the middle of the mesh image and of the net text: the
# plug-in's record is the file's last chunk, in either document format.
python3 - "$work" <<'PYEOF'
import struct, sys
work = sys.argv[1]
data = bytearray(open(work + "/net.vzd", "rb").read())
version = struct.unpack_from("<i", data, 8)[0]
at = 12
def block():
    global at
    length = struct.unpack_from("<q", data, at)[0]
    at += 12
    start = at
    at += length
    return start, length
if version == 1:
    at += 8
    layers = struct.unpack_from("<i", data, at)[0]; at += 8
    for _ in range(layers):
        at += 4 + struct.unpack_from("<i", data, at)[0]
    objects = struct.unpack_from("<i", data, at)[0]; at += 4
    for _ in range(objects):
        at += 20
        at += 8 + struct.unpack_from("<q", data, at)[0]
    chunks = struct.unpack_from("<i", data, at)[0]; at += 4
    for _ in range(chunks):
        at += 16
        length = struct.unpack_from("<q", data, at)[0]; at += 8
        record = at; at += length
else:
    at += 8
    settings, length = block()
    objects, chunks = struct.unpack_from("<ii", data, settings + length - 8)
    for _ in range(objects + chunks):
        record, length = block()
    record += 16
refs = struct.unpack_from("<i", data, record + 4)[0]
mesh = record + 8 + 28 * refs + 12
packed = struct.unpack_from("<q", data, mesh + 12)[0]
net = mesh + 20 + packed
netPacked = struct.unpack_from("<q", data, net + 12)[0]
for name, where in (("mesh", mesh + 20 + packed // 2), ("net", net + 20 + netPacked // 2)):
    damaged = bytearray(data)
    damaged[where] ^= 0x10
    open(work + "/flip-" + name + ".vzd", "wb").write(damaged)
print("document format %d, %d bytes" % (version, len(data)))
PYEOF
measure "a bit flipped in its mesh image" "$(opens "$work/flip-mesh.vzd" 3)" 0
measure "a bit flipped in its net text" "$(opens "$work/flip-net.vzd" 3)" 0
exit $status
