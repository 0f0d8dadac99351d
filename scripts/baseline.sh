#!/usr/bin/env bash
# Keeps the sweeps' verdicts as baselines and names what got worse: each
# sweep's per-case verdict, largest distance from the mesh, largest gap and
# processor seconds (scripts/sweeprecord.sh) stand in scripts/baselines/
# SWEEP.txt, one line a case in a stable order, with the verdict of an
# earlier build beside them.
#
#   bash scripts/baseline.sh check SWEEP [CASE...]
#   bash scripts/baseline.sh record SWEEP [CASE...]
#   bash scripts/baseline.sh before SWEEP BUILD [CASE...]
#   bash scripts/baseline.sh compare SWEEP RECORD
#
# check reruns the sweep (its baseline's cases, or those named) and lists
# the cases whose verdict got worse (pass, then none: the case ran no job,
# then fail) and those whose processor time grew past the margin, each with
# its baseline beside it, then apart those that got better or faster; it
# exits 1 when one got worse or slower, or a case of the baseline was not
# run. record reruns the sweep and writes what it found
# as the baseline (of the cases named only, the others kept); before reruns
# it with another build's runner and tools (BUILD holds apps/vzhost and, for
# the sweeps that need them, tests/readersweep or tests/test_plugin) and
# writes their verdicts in the column BEFORE, then lists the cases that
# passed there and fail now; compare judges a record the sweep wrote
# (its build folder's SWEEP/record.txt) without running anything, and
# BASELINE_FROM=RECORD has record and before take such a record instead of
# running the sweep.
#
# SWEEP is one of sweep netsweep gapsweep wavesweep cornersweep featuresweep
# costsweep editsweep recordsweep readersweep. The sweeps that take hours run
# a default subset here (see subset below). BASELINE_MARGIN (1.5) and
# BASELINE_SLACK (1 s) set the margin: a case is slower when its processor
# seconds exceed MARGIN x the baseline's + SLACK.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
usage() {
    sed -n '8,11p' "$0" | sed 's/^# *//' >&2
    exit 2
}
[[ $# -ge 2 ]] || usage
action=$1 sweep=$2
shift 2
case "$action" in
check | record) ;;
before)
    [[ $# -ge 1 ]] || usage
    other=$(cd "$1" && pwd)
    shift
    ;;
compare)
    [[ $# -eq 1 ]] || usage
    ;;
*) usage ;;
esac
baseline=$root/scripts/baselines/$sweep.txt
realdata=$root/../shared/realdata
[[ -d "$realdata" ]] || realdata=$root/../../shared/realdata

# The sweep's command for the cases given (all of its baseline when none):
# the script, its arguments and environment. The subsets of the long sweeps:
#   sweep        the bundled bump and six real meshes of ../shared/realdata
#                (a wing, a part of planes and fillets, a tray, a torus, a
#                sphere with a hole, the spider) at the 15 view directions,
#                zoom 1 only;
#   netsweep     the bump with every style and size 2 to 4, healed and not;
#   wavesweep    the default list without x0.1, x2 and x10 (x0.01, x1 and
#                x100 kept) and without facets of 0.125;
#   editsweep    seeds 1000 to 1059 in three chunks;
#   readersweep  byte deletions only;
#   costsweep    its default list without the 200 x 200 net (hours).
# The others run their default lists.
command_of() {
    env=() args=()
    script=scripts/$sweep.sh
    case "$sweep" in
    sweep)
        env+=(SWEEP_ZOOMS=1)
        args+=("$root/examples/bump.stl")
        local mesh
        for mesh in nastran/0012_20.bdf stl/featuretype.STL stl/1002_tray_bottom.STL stl/torus.STL \
            stl/sphereWithHole.stl stl/Spider_binary.stl; do
            args+=("$(cd "$realdata" && pwd)/$mesh")
        done
        [[ $# -eq 0 ]] || env+=("SWEEP_CASES=$*")
        [[ -z "${other:-}" ]] || env+=("SWEEP_VZHOST=$other/apps/vzhost")
        ;;
    netsweep)
        env+=("NETSWEEP_SIZES=2 3 4")
        [[ $# -eq 0 ]] || env+=("SWEEP_CASES=$*")
        [[ -z "${other:-}" ]] || env+=("NETSWEEP_VZHOST=$other/apps/vzhost")
        ;;
    wavesweep)
        [[ $# -gt 0 ]] || env+=("WAVESWEEP_FACETS=0.25 0.5" "WAVESWEEP_SCALES=0.01 1 100")
        ;;
    editsweep) ;;
    recordsweep)
        [[ -z "${other:-}" ]] || args+=("$other/apps/vzhost")
        ;;
    readersweep)
        args+=(none)
        [[ -z "${other:-}" ]] || env+=("READERSWEEP_TOOL=$other/tests/readersweep")
        ;;
    costsweep)
        [[ $# -gt 0 ]] || args+=(plate:20k:10 plate:320k:10 plate:1280k:10 main:bump.stl plate:20k:3:0.05
            overshoot:featuretype.STL:3:0,0,-1)
        ;;
    gapsweep | cornersweep | featuresweep) ;;
    *)
        echo "baseline: no sweep $sweep" >&2
        exit 2
        ;;
    esac
    case "$sweep" in
    gapsweep | wavesweep | cornersweep | featuresweep | costsweep)
        # The cases are the sweep's arguments; a case SPEC/RUN is a run of SPEC.
        local name
        for name in "$@"; do
            args+=("${name%%/*}")
        done
        mapfile -t args < <(printf '%s\n' ${args[@]+"${args[@]}"} | awk 'NF && !seen[$0]++')
        local upper=${sweep^^}
        [[ -z "${other:-}" ]] || env+=("${upper}_VZHOST=$other/apps/vzhost")
        ;;
    esac
    if [[ "$sweep" == editsweep && -n "${other:-}" ]]; then
        env+=("EDITSWEEP_TEST=$other/tests/test_plugin")
    fi
    return 0
}

# Runs the sweep and leaves its records in $1.
run_sweep() {
    local records=$1
    shift
    if [[ -n "${BASELINE_FROM:-}" ]]; then
        cp "$BASELINE_FROM" "$records"
        return
    fi
    command_of "$@"
    : >"$records"
    local status=0
    if [[ "$sweep" == editsweep && $# -gt 0 ]]; then
        # A case is a chunk of seeds, seeds-FIRST-LAST.
        local name range
        for name in "$@"; do
            range=${name#seeds-}
            env "${env[@]}" SWEEP_RECORD="$records" EDITSWEEP_JOBS=1 bash "$script" "${range%-*}" \
                "$((${range#*-} - ${range%-*} + 1))" >&2 || status=$?
        done
    elif [[ "$sweep" == editsweep ]]; then
        env "${env[@]}" SWEEP_RECORD="$records" bash "$script" 1000 60 >&2 || status=$?
    else
        env ${env[@]+"${env[@]}"} SWEEP_RECORD="$records" bash "$script" ${args[@]+"${args[@]}"} >&2 ||
            status=$?
    fi
    echo "baseline: $script ended with $status; $(wc -l <"$records") cases recorded" >&2
}

# The judging and the writing of baselines: python3 - MODE BASELINE RECORDS [CASE...]
judge() {
    python3 - "$@" <<'EOF'
import os
import re
import sys

mode, path, records = sys.argv[1:4]
named = set(sys.argv[4:])
margin = float(os.environ.get("BASELINE_MARGIN", "1.5"))
slack = float(os.environ.get("BASELINE_SLACK", "1"))
rank = {"pass": 0, "none": 1, "fail": 2}
header = "# CASE VERDICT DISTANCE GAP CPU BEFORE [CAUSE]"


def natural(name):
    return [int(t) if t.isdigit() else t for t in re.split(r"(\d+)", name)]


def read(path, before_column):
    cases = {}
    if not os.path.exists(path):
        return cases
    for line in open(path):
        if not line.strip() or line.startswith("#"):
            continue
        words = line.split()
        n = 6 if before_column else 5
        case = dict(zip(["verdict", "distance", "gap", "cpu", "before"][: n - 1], words[1:n]))
        case.setdefault("before", "?")
        case["cause"] = " ".join(words[n:])
        cases[words[0]] = case
    return cases


def number(text):
    try:
        return float(text)
    except ValueError:
        return None


def show(name, case):
    figures = "distance %s gap %s cpu %s" % (case["distance"], case["gap"], case["cpu"])
    return "%s %s (%s)%s" % (name, case["verdict"], figures, " " + case["cause"] if case["cause"] else "")


kept = read(path, True)
found = read(records, False)
if mode in ("record", "before"):
    if mode == "record":
        for name, case in found.items():
            case["before"] = kept.get(name, {}).get("before", "?")
            kept[name] = case
    else:
        for name, case in found.items():
            if name in kept:
                kept[name]["before"] = case["verdict"]
    key, note = os.environ["BASELINE_NOTE"].split(" ", 1)
    comment = [line for line in open(path) if line.startswith("#") and line.strip() != header
               and not line.startswith("# %s " % key)] if os.path.exists(path) else []
    comment.append("# %s %s\n" % (key, note))
    with open(path, "w") as f:
        f.writelines(comment)
        f.write(header + "\n")
        for name in sorted(kept, key=natural):
            c = kept[name]
            f.write(" ".join([name, c["verdict"], c["distance"], c["gap"], c["cpu"], c["before"]]
                             + ([c["cause"]] if c["cause"] else [])) + "\n")
    lost = sorted((n for n, c in kept.items() if c["before"] == "pass" and c["verdict"] == "fail"), key=natural)
    print("%s: %d cases; %d passed before and fail now%s" % (os.path.basename(path), len(kept), len(lost),
                                                               ":" if lost else ""))
    for name in lost:
        print("  " + show(name, kept[name]))
    sys.exit(0)

worse, slower, better, faster, new = [], [], [], [], []
for name in sorted(found, key=natural):
    now = found[name]
    was = kept.get(name)
    if was is None:
        new.append(name)
        continue
    if rank.get(now["verdict"], 2) > rank.get(was["verdict"], 2):
        worse.append(name)
    elif rank.get(now["verdict"], 2) < rank.get(was["verdict"], 2):
        better.append(name)
    a, b = number(was["cpu"]), number(now["cpu"])
    if a is not None and b is not None and b > margin * a + slack:
        slower.append(name)
    elif a is not None and b is not None and margin * b + slack < a:
        faster.append(name)
missing = sorted((n for n in kept if n not in found and (not named or n in named)), key=natural)
print("%d cases against %s" % (len(found), os.path.basename(path)))
for title, names in (("worse", worse), ("slower (cpu above %g x the baseline + %g s)" % (margin, slack), slower),
                     ("better", better), ("faster (cpu below the baseline less %g s, divided by %g)" % (slack, margin),
                                          faster)):
    print("%s: %d" % (title, len(names)))
    for name in names:
        print("  now  " + show(name, found[name]))
        print("  was  " + show(name, kept[name]) + (", before it %s" % kept[name]["before"]))
for title, names in (("not in the baseline", new), ("in the baseline, not run", missing)):
    if names:
        print("%s: %d: %s" % (title, len(names), " ".join(names)))
sys.exit(1 if worse or slower or missing else 0)
EOF
}

case "$action" in
compare)
    judge check "$baseline" "$1"
    ;;
check)
    [[ -f "$baseline" ]] || {
        echo "baseline: no $baseline (bash scripts/baseline.sh record $sweep)" >&2
        exit 2
    }
    records=$(mktemp)
    trap 'rm -f "$records"' EXIT
    run_sweep "$records" "$@"
    judge check "$baseline" "$records" "$@"
    ;;
record | before)
    mkdir -p "$(dirname "$baseline")"
    records=$(mktemp)
    trap 'rm -f "$records"' EXIT
    run_sweep "$records" "$@"
    if [[ ! -f "$baseline" ]]; then
        printf '# %s: bash scripts/baseline.sh check %s\n' "$sweep" "$sweep" >"$baseline"
    fi
    if [[ "$action" == record ]]; then
        note="verdicts: of $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . ':!scripts' ':!*.md' || echo ' with changes')"
    else
        note="before: the verdicts of $(git -C "$other" rev-parse --short HEAD 2>/dev/null || echo "$other")"
    fi
    BASELINE_NOTE="$note" judge "$action" "$baseline" "$records"
    ;;
esac
