#!/usr/bin/env bash
# Changes the counts and indices inside the plug-in's record of a saved
# document as a writer with a fault of its own would, every check sum made
# to fit again, and opens each changed document in the script runner: the
# POL image's header counts, loop and corner counts and vertex indices (-1,
# the vertex count, one past it, 2^31 - 1 and their neighbours), the
# record's own counts, and the counts and node indices of its net text.
# Each open must be refused with the document before it kept, or answer 3;
# one that answers 0 must hold the whole record: the document it saves
# again holds the very mesh image and net text that were opened. Not part
# of the test command (it runs the runner a few hundred times).
#
#   bash scripts/recordsweep.sh [VZHOST]
#
# VZHOST is the runner (build/release/apps/vzhost, built when missing).
# RECORDSWEEP_SHOW (5) sets how many cases of a fault are shown. Prints the
# outcomes and exits 1 when an open answered 0 and lost part of the record.
# Each case's record for scripts/baseline.sh (scripts/sweeprecord.sh), and
# the whole run's as "all", go to $SWEEP_RECORD when it is set.
set -euo pipefail
cd "$(dirname "$0")/.."
vzhost=${1:-build/release/apps/vzhost}
if [[ ! -x "$vzhost" ]]; then
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/release -j "${MW_JOBS:-3}" --target vzhost >/dev/null
fi
vzhost=$(cd "$(dirname "$vzhost")" && pwd)/$(basename "$vzhost")
work=$(mktemp -d "${TMPDIR:-/tmp}/mw-recordsweep-XXXXXX")
[[ -n "${RECORDSWEEP_KEEP:-}" ]] || trap 'rm -rf "$work"' EXIT
export FENWO_DIAGNOSTICS_DIR=$work/diagnostics
mkdir -p "$FENWO_DIAGNOSTICS_DIR" "$work/out" "$work/cases"

# A plate of 200 facets and a 3 x 3 net on it, its faces fitted: the
# document the sweep changes.
python3 - "$work" <<'PYEOF'
import struct, sys
work, n, m = sys.argv[1], 10, 3
with open(work + "/plate.stl", "wb") as f:
    f.write(b"plate".ljust(80, b" ") + struct.pack("<I", 2 * n * n))
    p = lambda i, j: (10.0 * i / n, 10.0 * j / n, 0.1 * ((i * 7 + j * 3) % 5))
    for j in range(n):
        for i in range(n):
            for t in ((p(i, j), p(i + 1, j), p(i + 1, j + 1)), (p(i, j), p(i + 1, j + 1), p(i, j + 1))):
                f.write(struct.pack("<3f", 0, 0, 1) + b"".join(struct.pack("<3f", *v) for v in t) + b"\0\0")
lines = ["Version 2", "Nodes %d" % ((m + 1) ** 2)]
for j in range(m + 1):
    for i in range(m + 1):
        lines += ["%d %r %r 0.2 0 0 1" % (j * (m + 1) + i, 0.5 + 9.0 * i / m, 0.5 + 9.0 * j / m),
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
_MWImportGridV1 file:$work/net.grid
!expect-result 0
-_Save "$work/base.vzd"
!expect-result 0
EOF
"$vzhost" --script "$work/make.vzs" --out "$work/out" >"$work/make.log" 2>&1 || {
    echo "the document to change could not be made" >&2
    exit 1
}

# The changed documents, and a script that opens the sound document, then
# each changed one, and saves what is open.
python3 - "$work" <<'PYEOF'
import struct, sys, zlib
work = sys.argv[1]
data = open(work + "/base.vzd", "rb").read()

def blocks(doc):
    at, found = 20, []
    while at < len(doc):
        length = struct.unpack_from("<q", doc, at)[0]
        found.append((at, length))
        at += 12 + length
    return found

def seal(doc):
    doc = bytearray(doc)
    struct.pack_into("<q", doc, 12, len(doc))
    for at, length in blocks(doc):
        crc = zlib.crc32(bytes(doc[at + 12:at + 12 + length]), zlib.crc32(bytes(doc[at:at + 8])))
        struct.pack_into("<I", doc, at + 8, crc)
    return bytes(doc)

def buffer(size_at, record):
    size = struct.unpack_from("<q", record, size_at)[0]
    packed = struct.unpack_from("<q", record, size_at + 12)[0]
    raw = zlib.decompress(record[size_at + 20:size_at + 20 + packed])
    assert len(raw) == size
    return raw, size_at + 20 + packed

def pack(raw):
    z = zlib.compress(raw)
    return struct.pack("<qIq", len(raw), zlib.crc32(raw), len(z)) + z

at, length = blocks(data)[-1]
head, chunk = data[:at + 12 + 16], data[at + 12 + 16:at + 12 + length]
refs = struct.unpack_from("<i", chunk, 4)[0]
meshes_at = 8 + 28 * refs + 8
assert struct.unpack_from("<i", chunk, meshes_at)[0] == 1
image, net_at = buffer(meshes_at + 4, chunk)
text, end = buffer(net_at, chunk)
assert end == len(chunk)
prefix = chunk[:meshes_at + 4]
V, P = struct.unpack_from("<II", image, 196)[0], struct.unpack_from("<I", image, 204)[0]

cases = []
def case(what, record):
    name = "c%04d.vzd" % len(cases)
    doc = bytearray(head[:-16 - 12]) + struct.pack("<qI", 16 + len(record), 0) + head[-16:] + record
    open(work + "/cases/" + name, "wb").write(seal(doc))
    cases.append((name, what))

def with_word(raw, offset, value):
    raw = bytearray(raw)
    struct.pack_into("<i", raw, offset, value)
    return bytes(raw)

def values(v, n):
    return sorted({-1, 0, 1, v - 1, v + 1, n - 1, n, n + 1, 2**31 - 1, -2**31} - {v})

# The POL image: header counts, then the words of the first and last two
# polygons (loop count, corner count, indices).
for k, offset in enumerate(range(196, 220, 4)):
    v = struct.unpack_from("<i", image, offset)[0]
    for value in values(v, v):
        case("POL header word %d %d -> %d" % (k, v, value),
             prefix + pack(with_word(image, offset, value)) + pack(text))
polygon_words = []
at = 512 + 12 * V
for p in range(P):
    loops = struct.unpack_from("<i", image, at)[0]
    words = [at]
    at += 4
    for _ in range(loops):
        corners = struct.unpack_from("<i", image, at)[0]
        words += [at + 4 * k for k in range(corners + 1)]
        at += 4 * (corners + 1)
    if p < 2 or p >= P - 2:
        polygon_words += [(p, w) for w in words]
for p, offset in polygon_words:
    v = struct.unpack_from("<i", image, offset)[0]
    for value in values(v, V):
        case("polygon %d word %d: %d -> %d" % (p, (offset - 512 - 12 * V) // 4, v, value),
             prefix + pack(with_word(image, offset, value)) + pack(text))
# The record's own ints: version, reference count, display, mesh count.
for offset in [0, 4] + [8 + 28 * refs + k for k in (0, 4, 8)]:
    v = struct.unpack_from("<i", chunk, offset)[0]
    for value in values(v, v):
        case("record word at %d: %d -> %d" % (offset, v, value),
             with_word(chunk, offset, value))
# The net text: every whole number of its first 200 lines (nodes,
# poly-lines, settings and the first faces) one more, one less and -1.
lines = text.rstrip(b"\0").decode().split("\n")
for i, line in enumerate(lines):
    words = line.split()
    for w, word in enumerate(words):
        if not word.lstrip("-").isdigit() or i >= 200:
            continue
        for value in {int(word) - 1, int(word) + 1, -1} - {int(word)}:
            changed = list(lines)
            changed[i] = " ".join(words[:w] + [str(value)] + words[w + 1:])
            case("net text line %d word %d: %s -> %d" % (i + 1, w + 1, word, value),
                 prefix + pack(image) + pack("\n".join(changed).encode() + b"\0"))

with open(work + "/sweep.vzs", "w") as f:
    for name, what in cases:
        f.write('_Open "%s/base.vzd"\n_Open "%s/cases/%s"\n-_Save "%s/cases/%s.saved"\n'
                % (work, work, name, work, name))
with open(work + "/cases.txt", "w") as f:
    for name, what in cases:
        f.write("%s\t%s\n" % (name, what))
PYEOF
source scripts/sweeprecord.sh
start_record "$work/record.txt"
timed "$work/sweep.time" "$vzhost" --script "$work/sweep.vzs" --out "$work/out" >"$work/sweep.log" 2>&1 || true

# Sorts the outcomes: each changed open's answer, and for an answer of 0
# whether the document saved again holds the record that was opened.
python3 - "$work" "${RECORDSWEEP_SHOW:-5}" "$SWEEP_RECORD" "$(cpu_of "$work/sweep.time")" <<'PYEOF'
import re, struct, sys, zlib
work, show, kept, cpu = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4] or "-"
cases = [line.rstrip("\n").split("\t") for line in open(work + "/cases.txt")]
results = [int(r) for r in re.findall(r"Command Open: result (\d)", open(work + "/sweep.log").read())]
if len(results) != 2 * len(cases):
    sys.exit("the runner answered %d opens of %d" % (len(results), 2 * len(cases)))

def record(path):
    doc = open(path, "rb").read()
    at = 20
    while at < len(doc):
        length = struct.unpack_from("<q", doc, at)[0]
        last = (at, length)
        at += 12 + length
    chunk = doc[last[0] + 28:last[0] + 12 + last[1]]
    refs = struct.unpack_from("<i", chunk, 4)[0]
    at = 8 + 28 * refs + 8
    if at + 4 > len(chunk) or struct.unpack_from("<i", chunk, at)[0] < 1:
        return None
    out, at = [], at + 4
    while at < len(chunk):
        size, packed = struct.unpack_from("<q", chunk, at)[0], struct.unpack_from("<q", chunk, at + 12)[0]
        out.append(zlib.decompress(chunk[at + 20:at + 20 + packed]))
        at += 20 + packed
    # The net text as its tokens: the sweep writes a changed line with
    # blanks where the writer put tabs.
    out[-1] = out[-1].split()
    return out

outcomes, faults, lines = {}, [], []
for k, (name, what) in enumerate(cases):
    answer = results[2 * k + 1]
    if answer != 0:
        kind = "refused or said (%d)" % answer
    elif record(work + "/cases/" + name) == record(work + "/cases/" + name + ".saved"):
        kind = "opened whole (0)"
    else:
        kind = "LOST part of the record with 0"
        faults.append(what)
    outcomes[kind] = outcomes.get(kind, 0) + 1
    # The record for scripts/baseline.sh: the whole run's time on its own line.
    lines.append("%s %s - - - %s\n" % (re.sub(r"[\s:]+", "_", what), "fail" if what in faults else "pass", kind))
lines.append("all %s - - %s\n" % ("fail" if faults else "pass", cpu))
with open(kept, "a") as f:
    f.writelines(lines)
for kind, count in sorted(outcomes.items()):
    print("%6d  %s" % (count, kind))
for what in faults[:show]:
    print("        " + what)
sys.exit(1 if faults else 0)
PYEOF
