#!/usr/bin/env bash
# Holds every test group of a build to its committed minimum number of tests
# (tests/min_counts.txt), so that a group whose tests stopped being registered
# fails the run instead of vanishing from it. Every test must carry a label.
# Usage: check_test_counts.sh BUILD_DIR [--without LABEL]...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check_test_counts.sh BUILD_DIR [--without LABEL]...}
shift
without=()
while [ $# -gt 0 ]; do
  case $1 in
    --without) without+=("${2:?--without needs a label}"); shift 2 ;;
    *) echo "check_test_counts.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
listing=$(cd "$build" && ctest --show-only=json-v1) || {
  echo "check_test_counts.sh: ctest could not list the tests of $build" >&2
  exit 1
}
count=$(cat <<'PY'
import collections, json, sys
minimums = {}
for line in open(sys.argv[1]):
    line = line.split("#")[0].split()
    if line:
        minimums[line[0]] = int(line[1])
skipped = set(sys.argv[2:])
counts = collections.Counter()
unlabelled = []
for test in json.load(sys.stdin)["tests"]:
    labels = [l for p in test.get("properties", []) if p["name"] == "LABELS" for l in p["value"]]
    if not labels:
        unlabelled.append(test["name"])
    counts.update(labels)
bad = []
if unlabelled:
    bad.append("tests without a label: " + " ".join(unlabelled[:10]))
for label in sorted(set(minimums) | set(counts)):
    if label in skipped:
        continue
    if label not in minimums:
        bad.append("label %r has no minimum in tests/min_counts.txt" % label)
    elif counts[label] < minimums[label]:
        bad.append("label %r: %d tests, at least %d expected" % (label, counts[label], minimums[label]))
    else:
        print("%-12s %4d tests (at least %d)" % (label, counts[label], minimums[label]))
if bad:
    sys.exit("\n".join(bad))
PY
)
python3 -c "$count" "$root/tests/min_counts.txt" "${without[@]}" <<<"$listing"
