# Sourced by the sweeps: the line each sweep keeps for each case, which
# scripts/baseline.sh compares with the sweep's baseline in scripts/baselines/.
#
# A record is one line of words, the last free text:
#
#   CASE VERDICT DISTANCE GAP CPU [CAUSE]
#
# CASE has no blanks; VERDICT is pass, none (the case ran no job: no spot to
# draw on, no region, no facets) or fail; DISTANCE is the largest distance of
# a Brep from the mesh the job printed, GAP the largest gap between
# neighbouring Breps' shared edges, CPU the job's processor seconds (user and
# system), each "-" where the case has none; CAUSE is what failed, as the
# runner names it. The lines go to $SWEEP_RECORD (the sweep's own record.txt
# when it is not set), one write each, so jobs run at once do not mix them.

# record CASE VERDICT DISTANCE GAP CPU [CAUSE...]
record() {
    local name=$1 verdict=$2 distance=${3:-} gap=${4:-} cpu=${5:-}
    shift 5
    local cause
    cause=$(tr -s '\n\t ' '   ' <<<"$*" | cut -c1-160)
    cause=${cause% }
    printf '%s %s %s %s %s%s\n' "${name// /_}" "$verdict" "${distance:--}" "${gap:--}" "${cpu:--}" \
        "${cause:+ $cause}" >>"$SWEEP_RECORD"
}

# timed FILE COMMAND...: runs the command and leaves its processor seconds and
# peak memory in FILE for cpu_of and rss_of; answers the command's status.
timed() {
    local file=$1
    shift
    /usr/bin/time -f '%U %S %M' -o "$file" "$@"
}

# The processor seconds (user and system) and the peak resident memory in
# MB that timed left in FILE (its last line: a killed command's time
# says so first).
cpu_of() { tail -1 "$1" 2>/dev/null | awk 'NF == 3 { printf "%.2f", $1 + $2 }'; }
rss_of() { tail -1 "$1" 2>/dev/null | awk 'NF == 3 { printf "%d", $3 / 1024 }'; }

# The largest distance of a Brep from the mesh and the largest gap between
# shared edges (the first the job measured, before the save) a job's
# transcript printed, as "DISTANCE GAP" ("-" for either it did not print).
figures_of() {
    local distance gap
    distance=$(grep -o 'largest distance [0-9.e+-]* from the mesh' "$1" | awk '{ print $3 }' | sort -g | tail -1)
    gap=$(sed -n "s/^Largest gap between neighbouring Breps' shared edges: \([^ ]*\) .*/\1/p" "$1" | head -1)
    echo "${distance:--} ${gap:--}"
}

# wanted CASE: whether the case runs; SWEEP_CASES (names separated by
# blanks) chooses some of a sweep's cases by name.
wanted() { [[ -z "${SWEEP_CASES:-}" || " $SWEEP_CASES " == *" $1 "* ]]; }

# The sweep's record file, started afresh unless the caller collects it.
start_record() {
    if [[ -z "${SWEEP_RECORD:-}" ]]; then
        SWEEP_RECORD=$1
        : >"$SWEEP_RECORD"
    fi
    export SWEEP_RECORD SWEEP_CASES
    export -f record timed cpu_of rss_of figures_of wanted
}
