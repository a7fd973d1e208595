#!/usr/bin/env bash
# A stand-in for an experiment program, for testing the sweep and plot
# scripts without the simulator: it prints a small, self-consistent trace
# (spikes, switch events, a switch-off, the final report) that depends on the
# seed, the factor and the switching probabilities, and takes the programs'
# options:
#
#   fake-exp.sh [FACTOR] [--seed N] [--steps N] [--set KEY=VALUE]...
#               [--params FILE] [--print-params] [--meta FILE] [-o FILE]...
#               [--record KINDS] [--progress SECONDS] [--trace LIST] [--version]
#   net1 DESCRIPTION [the same options but FACTOR]
#
# Keys: steps, switchOffAfter, sorc.switchProb, rsvr.switchProb,
# sink.switchProb; as net1 also rateFactor and PRE->POST.probability for
# each pathway (0 leaves the pathway out of the network). -o FILE is
# repeatable, "-" is standard output and a name ending in .zst is compressed
# (with the zstd command, standing in for the programs' own compression);
# files appear under their names only when the run completed.
#
# The name it is called by picks a variant, like the programs' names do:
#   net1           runs a network description, as the program net1 does: a
#                  file that holds the word "wide" is a network of twelve
#                  groups (g0 to g11) and 36 pathways, any other the three
#                  groups of the programs
#   exp-xor-rand*  switchProb 0 in every group, so the factor changes nothing
#   exp-broken*    with an odd seed, prints half a trace and fails with exit 3
#   exp-damaged*   prints a trace with a malformed line in it and exits 0
#   exp-slow*      sleeps a second before its trace (for progress lines)
set -euo pipefail
name=$(basename "$0")
usage_error() { echo "$name: $*" >&2; exit 2; }

declare -A set_values=()
factor=1.0 seed=1 meta='' record='' progress='' print_params=0 shape=narrow
outputs=()
argv=("$0" "$@")
if [[ $name == net1 && $1 != --* ]]; then
  [[ $# -ge 1 && -r $1 ]] || usage_error "cannot read the network description ${1:-}"
  grep -q wide "$1" && shape=wide
  shift
fi
while [[ $# -gt 0 ]]; do
  arg=$1
  value=
  if [[ $arg == --*=* ]]; then value=${arg#*=}; arg=${arg%%=*}; shift; set -- "$arg" "$value" "$@"; fi
  case $arg in
    --seed|--steps|--set|--params|--meta|-o|--output|--record|--progress|--trace)
      [[ $# -ge 2 ]] || usage_error "option $arg needs a value" ;;
  esac
  case $arg in
    --seed) [[ $2 =~ ^[0-9]+$ ]] || usage_error "--seed: not a seed: $2"; seed=$((10#$2)); shift 2 ;;
    --steps) set_values[steps]=$2; shift 2 ;;
    --set) [[ $2 == *=* ]] || usage_error "--set takes KEY=VALUE, not $2"; set_values[${2%%=*}]=${2#*=}; shift 2 ;;
    --params) [[ -r $2 ]] || usage_error "--params: cannot read $2"; shift 2 ;;
    --meta) meta=$2; shift 2 ;;
    -o|--output) outputs+=("$2"); shift 2 ;;
    --record) record=$2; shift 2 ;;
    --progress) [[ $2 =~ ^[0-9]+(\.[0-9]+)?$ ]] || usage_error "--progress: not a number of seconds: $2"
                progress=$2; shift 2 ;;
    --trace) shift 2 ;;
    --print-params) print_params=1; shift ;;
    --version) printf '%s 0.0-fake\nbuilt from commit fake\n' "$name"; exit 0 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0"; exit 0 ;;
    -*) usage_error "unknown option $arg" ;;
    *) [[ $name != net1 ]] || usage_error "a description takes no factor: --set rateFactor=$arg"
       [[ $arg =~ ^[0-9]+(\.[0-9]+)?$ ]] || usage_error "not a factor: $arg"; factor=$arg; shift ;;
  esac
done

# The effective settings: defaults, then --set.
default_prob=0.05
[[ $name == exp-xor-rand* ]] && default_prob=0
declare -A settings=([steps]=200 [switchOffAfter]=- [sorc.switchProb]=$default_prob
                     [rsvr.switchProb]=$default_prob [sink.switchProb]=$default_prob)
# The pathways: pre group, post group, synapses per unit, and how a unit
# picks its targets (i * a + j * b + c).
if [[ $shape == wide ]]; then
  pathways=()
  for ((g = 0; g < 12; g++)); do
    for step in 0 1 5; do pathways+=("g$g g$(((g + step) % 12)) 2 $((step + 1)) 3 1"); done
  done
else
  pathways=("sorc rsvr 6 5 7 0" "rsvr rsvr 5 1 3 1" "rsvr sink 2 1 1 0")
fi
if [[ $name == net1 ]]; then
  settings[rateFactor]=1.0
  for p in "${pathways[@]}"; do read -r pre post _ <<<"$p"; settings[$pre->$post.probability]=1; done
fi
for key in "${!set_values[@]}"; do
  [[ -v "settings[$key]" ]] || usage_error "--set: unknown key $key"
  settings[$key]=${set_values[$key]}
done
if ! [[ ${settings[steps]} =~ ^[0-9]+$ ]] || ((settings[steps] < 1)); then
  usage_error "steps: not a whole number >= 1: ${settings[steps]}"
fi
[[ ${settings[switchOffAfter]} == - ]] && settings[switchOffAfter]=$((settings[steps] * 8 / 10))
[[ ${settings[switchOffAfter]} =~ ^[0-9]+$ ]] || usage_error "switchOffAfter: not a whole number: ${settings[switchOffAfter]}"
((settings[switchOffAfter] <= settings[steps])) || usage_error "switchOffAfter: after the last step"
[[ -z ${settings[rateFactor]:-} ]] || factor=${settings[rateFactor]}
[[ $factor =~ ^[0-9]+(\.[0-9]+)?$ ]] || usage_error "rateFactor: not a factor: $factor"
for group in sorc rsvr sink; do
  p=${settings[$group.switchProb]}
  if ! [[ $p =~ ^[0-9]*\.?[0-9]+$ ]] || ! awk -v p="$p" 'BEGIN { exit !(p <= 1) }'; then
    usage_error "$group.switchProb: not a probability in [0, 1]: $p"
  fi
done
if [[ -n $record ]]; then
  for kind in ${record//,/ }; do
    case $kind in spk|swon|swoff|nmp|swofftime|report|unit|syn) ;; *) usage_error "--record: unknown kind $kind" ;; esac
  done
fi

if ((print_params)); then
  echo "# Settings of $name (a stand-in program)"
  echo "steps = ${settings[steps]}  # stimulation steps"
  echo "switchOffAfter = ${settings[switchOffAfter]}"
  [[ -z ${settings[rateFactor]:-} ]] || echo "rateFactor = ${settings[rateFactor]}"
  for group in sorc rsvr sink; do printf '\n[%s]\nswitchProb = %s\n' "$group" "${settings[$group.switchProb]}"; done
  for key in "${!settings[@]}"; do
    [[ $key == *'->'* ]] && printf '\n[pathways."%s"]\nprobability = %s\n' "${key%.probability}" "${settings[$key]}"
  done
  exit 0
fi
kept=()  # the pathways of the network: those not set to probability 0
for p in "${pathways[@]}"; do
  read -r pre post _ <<<"$p"
  [[ ${settings[$pre->$post.probability]:-1} =~ ^0*\.?0*$ ]] || kept+=("$p")
done

json_string() { local s=${1//\\/\\\\}; s=${s//\"/\\\"}; printf '"%s"' "$s"; }
start_time=$(date -u +%Y-%m-%dT%H:%M:%SZ)
trace=$(mktemp)
partials=()
cleanup() { rm -f "$trace" "${partials[@]}"; }
trap cleanup EXIT

write_meta() {  # write_meta STATUS ERROR
  [[ -n $meta ]] || return 0
  local lines first=1 a k
  lines=$(wc -l <"$trace")
  {
    printf '{"program": %s, "version": "0.0-fake", "commit": "fake", "edition": 1, "command_line": [' "$(json_string "$name")"
    for a in "${argv[@]}"; do ((first)) || printf ', '; first=0; json_string "$a"; done
    printf '], "seed": %s, "settings": {' "$seed"
    first=1
    for k in "${!settings[@]}"; do
      ((first)) || printf ', '; first=0; printf '"%s": %s' "$k" "${settings[$k]}"
    done
    printf '}, "outputs": ['
    first=1
    for a in "${outputs[@]}"; do ((first)) || printf ', '; first=0; json_string "$a"; done
    printf '], "record": [%s], "start_time": "%s", "wall_seconds": 0.01, "steps_done": %s,' \
      "$(tr ',' '\n' <<<"$record" | sed '/^$/d; s/.*/"&"/' | paste -sd, | sed 's/,/, /g')" "$start_time" "${settings[steps]}"
    printf ' "lines_written": %s, "exit_status": %s, "error": %s}\n' "$lines" "$1" "$2"
  } >"$meta"
}

echo "seed $seed" >&2
[[ -n $progress ]] && echo "progress: step 0 of ${settings[steps]}, time 0, elapsed 0 s" >&2
[[ $name == exp-slow* ]] && sleep 1
status=0
# The groups: name, units, chance to fire each step, and whether every
# fifth unit is inhibitory; the input group's spikes come with nmp lines.
if [[ $shape == wide ]]; then
  groups=""
  for ((g = 0; g < 12; g++)); do groups+=" g$g 6 0.1 1"; done
else
  groups="sorc 8 0.3 0 rsvr 40 0.05 1 sink 6 0.03 0"
fi
awk -v seed="$seed" -v steps="${settings[steps]}" -v off_step="${settings[switchOffAfter]}" -v factor="$factor" \
    -v p_sorc="${settings[sorc.switchProb]}" -v p_rsvr="${settings[rsvr.switchProb]}" -v p_sink="${settings[sink.switchProb]}" \
    -v groups="$groups" -v pathways="${kept[*]}" \
    -v broken="$([[ $name == exp-broken* ]] && ((seed % 2)) && echo 1 || echo 0)" \
    -v damaged="$([[ $name == exp-damaged* ]] && echo 1 || echo 0)" '
function add_syn(pg, pi, qg, qi, pe, qe) {
  n++; pre[n] = pg; pid[n] = pi; post[n] = qg; qid[n] = qi; pexc[n] = pe; qexc[n] = qe
  act[n] = rand() < 0.3; w[n] = sprintf("%.6f", 0.5 + rand() * 1.5)
  last[n] = sprintf("%.6f", rand() * 0.1); delay[n] = sprintf("%.6f", rand() * 0.2)
}
function tick() { now += 0.000137; return sprintf("%.6f", now) }
function exc(g, i) { return !mixed[g] || (i % 5) != 0 }
function unit(g, i,   k, it, ia, iw, ot, oa, ow) {
  it = ia = iw = ot = oa = ow = 0
  for (k = 1; k <= n; k++) {
    if (post[k] == g && qid[k] == i) { it++; if (act[k]) { ia++; iw += w[k] } }
    if (pre[k] == g && pid[k] == i) { ot++; if (act[k]) { oa++; ow += w[k] } }
  }
  printf "unit %s %d %d 1.000000 0.900000 0.000000 %d %d %.6f %d %d %.6f\n", g, i, exc(g, i), it, ia, iw, ot, oa, ow
}
BEGIN {
  srand(seed); n = 0
  G = split(groups, f, " ") / 4
  for (g = 1; g <= G; g++) {
    name[g] = f[4 * g - 3]; size[name[g]] = f[4 * g - 2]; rate[g] = f[4 * g - 1]; mixed[name[g]] = f[4 * g]
    prob[name[g]] = (name[g] == "sorc" ? p_sorc : name[g] == "sink" ? p_sink : p_rsvr) * 6
  }
  P = split(pathways, f, " ") / 6
  for (p = 1; p <= P; p++) {
    a = f[6 * p - 5]; b = f[6 * p - 4]
    for (i = 0; i < size[a]; i++)
      for (j = 0; j < f[6 * p - 3]; j++) {
        q = (i * f[6 * p - 2] + j * f[6 * p - 1] + f[6 * p]) % size[b]
        add_syn(a, i, b, q, exc(a, i), exc(b, q))
      }
  }
  plastic = 1; now = 0
  for (t = 1; t <= steps; t++) {
    if (now < t - 1) now = t - 1
    for (g = 1; g <= G; g++)
      for (i = 0; i < size[name[g]]; i++)
        if (rand() < rate[g]) {
          ts = tick(); printf "spk %s %s %d %d %d\n", ts, name[g], i, exc(name[g], i), int(rand() * 9)
          if (name[g] == "sorc") printf "nmp %s sorc %d 1 0\n", ts, i
        }
    for (a = 0; plastic && n && a < 2; a++) {
      k = 1 + int(rand() * n); r = rand(); p = prob[post[k]]
      if (act[k] && r < p / factor) { act[k] = 0; last[k] = tick(); printf "swoff %s %s %d %d %s %d\n", last[k], pre[k], pid[k], pexc[k], post[k], qid[k] }
      else if (!act[k] && r < p * factor) { act[k] = 1; last[k] = tick(); printf "swon %s %s %d %d %s %d\n", last[k], pre[k], pid[k], pexc[k], post[k], qid[k] }
    }
    if (t == off_step) { plastic = 0; printf "swofftime %s\n", tick() }
    if (damaged && t == int(steps / 2)) printf "spk %s %s zero 1 0\n", tick(), name[1]
    if (broken && t == int(steps / 2)) { printf "spk %s %s 0 1", tick(), name[1]; exit 3 }
  }
  for (g = 1; g <= G; g++) for (i = size[name[g]] - 1; i >= 0; i--) unit(name[g], i)
  for (k = 1; k <= n; k++) printf "syn %s %d %s %d %d %d %d %s %s %s\n", pre[k], pid[k], post[k], qid[k], act[k], pexc[k], qexc[k], w[k], delay[k], last[k]
}' >"$trace" || status=$?

# --record: the full trace filtered by line kind ("report" is unit and syn).
if [[ -n $record ]]; then
  kinds=" ${record//,/ } "
  kinds=${kinds/ report / unit syn }
  awk -v kinds="$kinds" 'index(kinds, " " $1 " ")' "$trace" >"$trace.kept" && mv "$trace.kept" "$trace"
fi
[[ -n $progress ]] && echo "progress: step ${settings[steps]} of ${settings[steps]}, done" >&2

[[ ${#outputs[@]} -gt 0 ]] || outputs=(-)
for out in "${outputs[@]}"; do
  if [[ $out == - ]]; then
    cat "$trace"
    continue
  fi
  partials+=("$out.partial")
  if [[ $out == *.zst ]]; then zstd -q -c "$trace" >"$out.partial"; else cp "$trace" "$out.partial"; fi
done
if ((status != 0)); then
  echo "$name: the run failed" >&2
  write_meta "$status" '"the run failed"'
  exit "$status"
fi
for out in "${outputs[@]}"; do [[ $out == - ]] || mv "$out.partial" "$out"; done
write_meta 0 null
