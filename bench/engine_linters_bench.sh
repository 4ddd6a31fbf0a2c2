#!/usr/bin/env bash
# The check's rules of the Windows viewer's engine against the field's linters on the same manuals:
# one `kvd_cd check` against es-check (scripts as ES5), doiuse (style sheets for that engine) and
# eslint with its compatibility plugin (script interfaces for that engine) run one after another.
# Wall time, peak memory and the number of things each side reports. The linters come from the npm
# registry into a temporary folder of this run only; they are never a dependency of the program.
#
#   bash bench/engine_linters_bench.sh [BUILD_DIR] [ROUNDS]     (BUILD_DIR: build/release by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
rounds=${2:-3}
kvd_cd=$build/bin/kvd_cd
[ -x "$kvd_cd" ] || { echo "no $kvd_cd: build the release preset first" >&2; exit 2; }

manuals=()
[ -f /usr/share/doc/nodejs/api/index.html ] && manuals+=("nodejs:/usr/share/doc/nodejs/api")
[ -f /usr/share/doc/python3.11/html/index.html ] && manuals+=("python:/usr/share/doc/python3.11/html")
[ ${#manuals[@]} -gt 0 ] || { echo "neither manual is installed (scripts/setup.sh installs them)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kvd-linters.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "Installing the linters into $work ..." >&2
(cd "$work" && npm init -y >/dev/null &&
  npm install --silent --no-audit --no-fund es-check@9 doiuse@6 postcss@8 eslint@9 eslint-plugin-compat@7 >/dev/null)
cat >"$work/eslint.config.cjs" <<'EOF'
const compat = require("eslint-plugin-compat");
module.exports = [{
  files: ["**/*.js"],
  plugins: { compat },
  languageOptions: { ecmaVersion: "latest", sourceType: "script" },
  settings: { browsers: ["ie 11"] },
  rules: { "compat/compat": "error" },
}];
EOF
bin=$work/node_modules/.bin

# Runs a command ROUNDS times; prints the median wall seconds and the largest peak memory in MB.
measure() {
  local out=$1
  shift
  local times=() peak=0
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$out" 2>&1 || true
    read -r secs kb < <(tail -n 1 "$work/time")
    times+=("$secs")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((rounds + 1) / 2))p")
  echo "$median $((peak / 1024))"
}

printf '%-8s %-28s %9s %9s %8s\n' manual tool seconds "peak MB" reports
for entry in "${manuals[@]}"; do
  name=${entry%%:*}
  dir=${entry#*:}
  mapfile -t scripts < <(find "$dir" -name '*.js' -type f | sort)
  mapfile -t sheets < <(find "$dir" -name '*.css' -type f | sort)

  read -r secs mb < <(measure "$work/ours.json" "$kvd_cd" check --json --first-page index.html "$dir")
  ours=$(python3 -c '
import json, sys
findings = json.load(open(sys.argv[1]))["findings"]
print(sum(1 for f in findings if f["kind"].startswith("windows-") or f["kind"].startswith("script-")))
' "$work/ours.json")
  printf '%-8s %-28s %9s %9s %8s\n' "$name" "kvd_cd check (engine kinds)" "$secs" "$mb" "$ours"

  total=0
  read -r secs mb < <(measure "$work/es-check.txt" "$bin/es-check" es5 "${scripts[@]}")
  n=$(grep -c -i 'error' "$work/es-check.txt" || true)
  printf '%-8s %-28s %9s %9s %8s\n' "$name" "es-check es5" "$secs" "$mb" "$n"
  total=$(python3 -c "print($total + $secs)")

  read -r secs mb < <(measure "$work/doiuse.txt" "$bin/doiuse" --browsers "ie 11" "${sheets[@]}")
  n=$(grep -c . "$work/doiuse.txt" || true)
  printf '%-8s %-28s %9s %9s %8s\n' "$name" "doiuse (ie 11)" "$secs" "$mb" "$n"
  total=$(python3 -c "print($total + $secs)")

  read -r secs mb < <(measure "$work/eslint.json" "$bin/eslint" --no-config-lookup -c "$work/eslint.config.cjs" \
    -f json "${scripts[@]}")
  n=$(python3 -c '
import json, sys
try:
    print(sum(len(f["messages"]) for f in json.load(open(sys.argv[1]))))
except ValueError:
    print("-")
' "$work/eslint.json")
  printf '%-8s %-28s %9s %9s %8s\n' "$name" "eslint compat (ie 11)" "$secs" "$mb" "$n"
  total=$(python3 -c "print(round($total + $secs, 2))")
  printf '%-8s %-28s %9s\n' "$name" "the three linters together" "$total"
done
