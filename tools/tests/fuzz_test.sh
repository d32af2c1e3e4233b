#!/usr/bin/env bash
# tools/fuzz with stand-ins for cmake and the fuzz targets: a timed run
# reads the kept corpus and the regressions and writes nothing in the
# repository; a run of N executions merges the kept corpus and what it
# found back into fuzz/corpus, keeps that corpus as it was when the merge
# fails, takes up the inputs left behind at its next run and goes on after
# a timeout that does not recur; a failing target fails the tool, which
# names the input it saved.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

root=$work/root
targets=(fuzz_md5 fuzz_cipher fuzz_encrypt fuzz_code_page fuzz_image_reader fuzz_fat_reader
  fuzz_lz4)
mkdir -p "$root/tools" "$root/build/fuzz" "$root/fuzz/regressions/fuzz_md5" "$work/bin"
cp "$repo/tools/fuzz" "$root/tools/"
printf '#!/bin/sh\n' >"$work/bin/cmake"
chmod +x "$work/bin/cmake"
export PATH=$work/bin:$PATH FAKE_LOG=$work/calls

# A target as libFuzzer runs it: notes each input it reads; fuzzing, adds
# one input to the first folder (or fails when FAKE_CRASH names it, or
# times out after 3 runs once when the file FAKE_STALL names is missing);
# merging (or failing to when FAKE_MERGE_FAILS is set), copies every input
# into the first folder; run on one input, passes unless FAKE_HANG is set.
cat >"$work/fake-target" <<'EOF'
#!/usr/bin/env bash
name=$(basename "$0") dirs=() merge=0 prefix= runs=100
for arg; do
  case $arg in
    -merge=1) merge=1 ;;
    -runs=*) runs=${arg#*=} ;;
    -artifact_prefix=*) prefix=${arg#*=} ;;
    -*) ;;
    *) dirs+=("$arg") ;;
  esac
done
if [[ -f ${dirs[0]} ]]; then
  echo "$name alone" >>"$FAKE_LOG"
  [[ -z ${FAKE_HANG:-} ]]
  exit
fi
echo "$name ${merge} ${runs} $(find "${dirs[@]:1}" -type f | sort | paste -sd' ')" >>"$FAKE_LOG"
if ((merge)); then
  [[ -z ${FAKE_MERGE_FAILS:-} ]] || exit 1
  for dir in "${dirs[@]:1}"; do find "$dir" -type f -exec cp {} "${dirs[0]}/" \;; done
  exit 0
fi
if [[ -n ${FAKE_STALL:-} && ! -e $FAKE_STALL ]]; then
  touch "$FAKE_STALL"
  echo "stat::number_of_executed_units: 3"
  echo stall >"${prefix}timeout-1a" && echo "Test unit written to ${prefix}timeout-1a"
  exit 70
fi
echo "stat::number_of_executed_units: $runs"
if [[ ${FAKE_CRASH:-} == "$name" ]]; then
  echo crash >"${prefix}crash-1" && echo "Test unit written to ${prefix}crash-1"
  exit 1
fi
echo found >"${dirs[0]}/found-$RANDOM$RANDOM"
EOF
for target in "${targets[@]}"; do
  cp "$work/fake-target" "$root/build/fuzz/$target"
  chmod +x "$root/build/fuzz/$target"
  mkdir -p "$root/fuzz/corpus/$target"
  echo kept >"$root/fuzz/corpus/$target/kept-1"
done
echo old >"$root/fuzz/regressions/fuzz_md5/old-finding"
snapshot() { (cd "$root/fuzz" && find . -type f -exec md5sum {} + | sort); }

for bad in "0" "x" "--runs" "--runs 0" "--runs 2147483648" "--runs 5 fuzz_other" "3 4"; do
  # shellcheck disable=SC2086
  status=0 && "$root/tools/fuzz" $bad 2>/dev/null || status=$?
  [[ $status -eq 2 ]] || fail "tools/fuzz $bad gave $status, not the usage error"
done

before=$(snapshot)
"$root/tools/fuzz" 3 >"$work/out" || fail "a timed run failed: $(cat "$work/out")"
[[ $(snapshot) == "$before" ]] || fail "a timed run changed fuzz/"
[[ $(grep -c ' ok ' "$work/out") -eq 7 ]] || fail "a timed run reported $(cat "$work/out")"
grep -q '^fuzz_md5 0 100 fuzz/corpus/fuzz_md5/kept-1 fuzz/regressions/fuzz_md5/old-finding$' \
  "$FAKE_LOG" || fail "a timed run did not read the kept corpus and the regressions"
compgen -G "$root/build/fuzz/corpus/fuzz_fat_reader/found-*" >/dev/null ||
  fail "a timed run kept no new input in build/fuzz/corpus"

: >"$FAKE_LOG"
"$root/tools/fuzz" --runs 7 fuzz_md5 >"$work/out" || fail "a long run failed: $(cat "$work/out")"
[[ $(cut -d' ' -f1-3 "$FAKE_LOG" | paste -sd,) == "fuzz_md5 0 7,fuzz_md5 1 100" ]] ||
  fail "a long run of fuzz_md5 ran $(cat "$FAKE_LOG")"
[[ $(find "$root/fuzz/corpus/fuzz_md5" -type f -printf '%f\n' | sed 's/[0-9]*$//' | sort | paste -sd' ') == \
  "found- kept-" ]] ||
  fail "the kept corpus is not the merge of the old one and the new input"
[[ ! -e $root/build/fuzz/new/fuzz_md5 ]] || fail "merged inputs stayed in build/fuzz/new"
grep -q 'corpus 2 inputs, 11 bytes (was 1, 5)' "$work/out" || fail "reported $(cat "$work/out")"

before=$(snapshot)
if FAKE_MERGE_FAILS=1 "$root/tools/fuzz" --runs 7 fuzz_cipher >"$work/out"; then
  fail "a failed merge went unnoticed"
fi
[[ $(snapshot) == "$before" ]] || fail "a failed merge changed the kept corpus"
grep -q 'FAILED.*corpus kept as it was' "$work/out" || fail "reported $(cat "$work/out")"
"$root/tools/fuzz" --runs 7 fuzz_cipher >"$work/out" || fail "a long run failed: $(cat "$work/out")"
[[ $(find "$root/fuzz/corpus/fuzz_cipher" -type f | wc -l) -eq 3 ]] ||
  fail "the inputs of a run whose merge failed were not taken up by the next"

# A timeout whose input runs in time on its own, as after Ctrl-Z: the run
# goes on with the runs left. A timeout that recurs is a failure.
: >"$FAKE_LOG"
FAKE_STALL=$work/stalled "$root/tools/fuzz" --runs 7 fuzz_code_page >"$work/out" ||
  fail "a long run did not go on after a timeout: $(cat "$work/out")"
[[ $(cut -d' ' -f1-3 "$FAKE_LOG" | paste -sd,) == \
  "fuzz_code_page 0 7,fuzz_code_page alone,fuzz_code_page 0 4,fuzz_code_page 1 100" ]] ||
  fail "after a timeout, fuzz_code_page ran $(cat "$FAKE_LOG")"
grep -q ' 7 runs in .*after 1 timeouts' "$work/out" || fail "reported $(cat "$work/out")"
[[ ! -e $root/build/fuzz/findings/fuzz_code_page/timeout-1a ]] || fail "a passing input stayed in findings"
rm "$work/stalled"
if FAKE_STALL=$work/stalled FAKE_HANG=1 "$root/tools/fuzz" --runs 7 fuzz_code_page >"$work/out"; then
  fail "a timeout that recurs went unnoticed"
fi
grep -q 'FAILED *3 runs: build/fuzz/findings/fuzz_code_page/timeout-1a' "$work/out" ||
  fail "a timeout that recurs was reported as $(cat "$work/out")"

if FAKE_CRASH=fuzz_encrypt "$root/tools/fuzz" 3 >"$work/out"; then fail "a failing target went unnoticed"; fi
grep -q '^fuzz_encrypt *FAILED *100 runs: build/fuzz/findings/fuzz_encrypt/crash-1' "$work/out" ||
  fail "a failing target was reported as $(cat "$work/out")"
echo "tools/fuzz: timed runs leave the repository alone, long runs merge into fuzz/corpus"
