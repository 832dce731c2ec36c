#!/usr/bin/env bash
# What a grid page costs beside a static file of the same bytes: requests
# per second of the demo's grid pages at 1 and 16 connections, each as a
# browser asks for it (the first request, and postbacks of the grid's form
# with its hidden state fields, the sealed row count among them: the next
# page, a sort, the next page of a filtered grid, the last page), and of
# the same HTML saved as a static file and served by the same server.
#
#   bash scripts/page_cost.sh [BUILD]
#
# Environment: FENNICK_BENCH_SECONDS (per run, default 5; keep it well under
# the grid's RowCountLifetime of 30 s, or the postbacks count again),
# FENNICK_BIG_ROWS (rows of the big demo table, default 1000000; built into
# the copy of the site, which takes a while), FENNICK_PAGE_COST_SITE (a
# folder kept between runs for that copy, so the big table is built once;
# default a temporary folder), FENNICK_PAGES (default "plain formats big").
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
top=$(pwd)
bin="$top/$build/fennick"
load="$top/$build/bench/http_load"
seconds=${FENNICK_BENCH_SECONDS:-5}
big_rows=${FENNICK_BIG_ROWS:-1000000}
[ -x "$bin" ] && [ -x "$load" ] || { echo "build $build first (fennick, http_load)" >&2; exit 1; }

work=$(mktemp -d /tmp/fennick-page-cost.XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true  # ignoring failures on purpose
  rm -rf "$work"
}
trap cleanup EXIT
site_copy=${FENNICK_PAGE_COST_SITE:-$work/site}
[ -d "$site_copy" ] || cp -r site "$site_copy"
mkdir -p "$site_copy/static"
FENNICK_SECRET="page cost" "$bin" serve --demo --site "$site_copy" --big --big-rows "$big_rows" \
  --port 0 --quiet --threads 16 > "$work/server.log" 2>&1 &
pid=$!
port=
for _ in $(seq 1 3000); do
  port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/server.log" 2>/dev/null | head -n 1 || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "server did not start: $(cat "$work/server.log")" >&2; exit 1; }
base="http://127.0.0.1:$port"

# The postback argument of a grid link, as the page's script encodes it:
# Base64 of the text padded with blanks to a multiple of three.
argument() {
  local text=$1
  while (( ${#text} % 3 != 0 )); do text+=" "; done
  printf '%s' "$text" | base64 -w0
}

urlencode() {
  local LC_ALL=C s=$1 out= c h i
  for ((i = 0; i < ${#s}; i++)); do
    c=${s:i:1}
    case $c in
      [a-zA-Z0-9.~_-]) out+=$c ;;
      *) printf -v h '%%%02X' "'$c"; out+=$h ;;
    esac
  done
  printf '%s' "$out"
}

# The form a browser posts from page HTML ($1) with the postback argument
# $2 and the filter field replaced by $3 when given: every hidden field, and
# the page-size box.
form_of() {
  local html=$1 arg=$2 filter=${3-} body= name value
  while IFS= read -r field; do
    name=$(sed -n 's/^<input type=hidden name=\([^ >]*\) value=.*/\1/p' <<< "$field")
    value=$(sed -n 's/^.* value="\([^"]*\)">$/\1/p' <<< "$field" |
            sed 's/&quot;/"/g; s/&#39;/'"'"'/g; s/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g')
    case $name in
      __FARGS) value=$(argument "$arg") ;;
      rsfilter) [ -n "$filter" ] && value=$filter ;;
    esac
    body+="${body:+&}$name=$(urlencode "$value")"
  done < <(grep -o '<input type=hidden name=[^ >]* value="[^"]*">' <<< "$html")
  size=$(grep -o 'name=npagesize value="[0-9]*"' <<< "$html" | head -n 1 | sed 's/.*value="//; s/"//')
  [ -n "$size" ] && body+="&npagesize=$size"
  printf '%s' "$body"
}

post() { curl -s -X POST --data-binary @"$2" -H 'Content-Type: application/x-www-form-urlencoded' "$base$1"; }

# The grid's page size and record count in page HTML.
page_size() { grep -o 'name=pagesize value="[0-9]*"' <<< "$1" | head -n 1 | tr -dc 0-9; }
records() { grep -o '([0-9]* recs)' <<< "$1" | head -n 1 | tr -dc 0-9; }

# make_form SCENARIO PATH FILTER OUT: the form of one click, made from a
# page fetched just now (its sealed count is reused only while young).
make_form() {
  local scenario=$1 path=$2 filter=$3 out=$4 html size
  html=$(curl -s "$base$path")
  size=$(page_size "$html")
  case $scenario in
    next) form_of "$html" "2start:$((size + 1));" > "$out" ;;
    sorted) form_of "$html" "1sort:2;lastsort:;" > "$out" ;;
    last) form_of "$html" "2start:$(( ($(records "$html") - 1) / size * size + 1 ));" > "$out" ;;
    filtered)
      # The filter applied (it counts), then the next page of it.
      form_of "$html" "2start:1;" "$filter" > "$out.tmp"
      html=$(post "$path" "$out.tmp")
      form_of "$html" "2start:$((size + 1));" > "$out" ;;
  esac
}

printf "%-20s %5s %10s %10s %7s %9s %9s\n" scenario conns "page r/s" "static r/s" ratio "p50 ms" "p99 ms"
# run PAGE SCENARIO FILTER: a line per connection count, the page and its
# static copy side by side.
run() {
  local page=$1 scenario=$2 filter=$3 path="/demo/$1.asp" form= html static conns r a b sr
  [ "$scenario" = first ] || form="$work/$page.$scenario"
  for conns in 1 16; do
    if [ -n "$form" ]; then
      make_form "$scenario" "$path" "$filter" "$form"
      html=$(post "$path" "$form")
    else
      html=$(curl -s "$base$path")
    fi
    static="static/$page-$scenario.html"
    printf '%s' "$html" > "$site_copy/$static"
    "$load" 127.0.0.1 "$port" "$path" - "$conns" 1 ${form:+"@$form"} > /dev/null
    read -r _ _ _ r _ a _ b _ _ < <("$load" 127.0.0.1 "$port" "$path" - "$conns" "$seconds" ${form:+"@$form"})
    read -r _ _ _ sr _ _ _ _ _ _ < <("$load" 127.0.0.1 "$port" "/$static" - "$conns" "$seconds")
    printf "%-20s %5s %10s %10s %6.1fx %9s %9s\n" "$page $scenario" "$conns" "$r" "$sr" \
      "$(awk -v s="$sr" -v r="$r" 'BEGIN { print (r > 0 ? s / r : 0) }')" "$a" "$b"
  done
}

for page in ${FENNICK_PAGES:-plain formats big}; do
  grep -q 'name=rowcount' <<< "$(curl -s "$base/demo/$page.asp")" ||
    echo "note: /demo/$page.asp carries no row count" >&2
  case $page in
    big) filter="[Region] = 'North'" ;;
    *) filter="[Country] = 'Germany'" ;;
  esac
  for scenario in first next sorted filtered last; do run "$page" "$scenario" "$filter"; done
done
