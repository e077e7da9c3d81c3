# Shared by the command's end-to-end tests, sourced by each script with the
# runner and the command as its arguments:
#   SCRIPT RUNNER VELLUM
# RUNNER is empty for a native build, or scripts/wine-run for vellum.exe.
# Every expectation comes from independent tools (qpdf, pdfimages, tiffinfo,
# the shell itself), never from the command under test.
set -uo pipefail

# Absolute, since some checks run from another directory.
absolute() { if [ -n "$1" ]; then (cd "$(dirname "$1")" && printf '%s/%s' "$(pwd)" "$(basename "$1")"); fi; }
runner="$(absolute "$1")"
vellum="$(absolute "$2")"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
sample="$root/samples/sample.pdf"
work="$(mktemp -d)"
trap 'chmod -R u+rwX "$work" 2>/dev/null; rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# Ends the script with its verdict.
finish() {  # name
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "$1: all checks passed"
}

# Paths as the program sees them: Wine maps the Unix root to drive Z:.
hostpath() { if [ -n "$runner" ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi; }
# The separator the program joins a directory and a name with.
if [ -n "$runner" ]; then sep='\'; else sep=/; fi

# Runs vellum; stdout to $work/out, stderr to $work/err, CRs of Windows text mode dropped.
# VELLUM_PLUGIN, as for the export tests, loads another build of the plug-in.
run() {
  local status
  if [ -n "${VELLUM_PLUGIN:-}" ]; then set -- --plugin "$(hostpath "$VELLUM_PLUGIN")" "$@"; fi
  if [ -n "$runner" ]; then "$runner" "$vellum" "$@" >"$work/out.raw" 2>"$work/err.raw"; else "$vellum" "$@" >"$work/out.raw" 2>"$work/err.raw"; fi
  status=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
  return $status
}

# The command line of vellum itself, for checks that redirect on their own.
vellum_command() {
  if [ -n "$runner" ]; then printf '%s\n' "$runner"; fi
  printf '%s\n' "$vellum"
  if [ -n "${VELLUM_PLUGIN:-}" ]; then printf '%s\n' --plugin "$(hostpath "$VELLUM_PLUGIN")"; fi
}
mapfile -t vellum_argv < <(vellum_command)

expect_status() {  # expected actual what
  [ "$1" -eq "$2" ] || fail "$3: exit status $2, expected $1 (stderr: $(cat "$work/err"))"
}

# Pieces of a PDF of uncompressed stream objects, padded past the plug-in's
# minimum size.
pdf_start() { printf '%%PDF-1.4\n'; }
pdf_stream() {  # number file
  printf '%s 0 obj\n<< /Length %s >>\nstream\n' "$1" "$(stat -c %s "$2")"; cat "$2"; printf '\nendstream\nendobj\n'
}
pdf_end() { printf '%%'; head -c 800 /dev/zero | tr '\0' x; printf '\n%%%%EOF\n'; }

# Temporary files the command leaves in a directory (there must be none).
leftovers() { find "$1" -maxdepth 1 -name '.vellum-*' 2>/dev/null; }

# What a PDF holds, according to qpdf: DIR/names lists each stream object's
# entry name in object order, and DIR/NAME holds the bytes its entry must
# have (of an object's latest revision). The extension follows the content
# the plug-in writes: decoded XML metadata, stored JPEG, CCITT fax wrapped as
# TIFF, anything else decoded (here Flate page contents) as data. A TIFF
# entry is 110 header bytes followed by the stored fax data, of which DIR
# holds the fax data.
make_oracle() {  # pdf dir
  mkdir -p "$2"
  qpdf --json "$1" | python3 -c '
import json, sys
objects = json.load(sys.stdin)["qpdf"][1]
rows = []
for key, value in objects.items():
    if not key.startswith("obj:") or "stream" not in value:
        continue
    d = value["stream"]["dict"]
    f = d.get("/Filter", [])
    f = f if isinstance(f, list) else [f]
    ext = ".xml" if d.get("/Subtype") == "/XML" else ".jpg" if "/DCTDecode" in f else ".tif" if "/CCITTFaxDecode" in f else ".dat"
    rows.append((int(key[4:].split()[0]), ext))
for number, ext in sorted(rows):
    print(number, ext)
' | while read -r number ext; do
    name=$(printf 'object-stream-%08u%s' "$number" "$ext")
    case "$ext" in
      .dat|.xml) qpdf --show-object="$number" --filtered-stream-data "$1" >"$2/$name" ;;
      *) qpdf --show-object="$number" --raw-stream-data "$1" >"$2/$name" ;;
    esac
    echo "$name"
  done >"$2/names"
  [ -s "$2/names" ] || { echo "FAIL: qpdf found no streams in $1" >&2; exit 1; }
}

# The sample's: $work/expected-names and $work/oracle/NAME.
make_oracle "$sample" "$work/oracle"
mv "$work/oracle/names" "$work/expected-names"
count=$(wc -l <"$work/expected-names")
total=$(( $(cat "$work"/oracle/* | wc -c) + 110 * $(grep -c '\.tif$' "$work/expected-names") ))
first=$(head -1 "$work/expected-names")
second=$(sed -n 2p "$work/expected-names")

# Whether an extracted file holds what qpdf gives for its entry (a TIFF entry:
# its fax data after the 110-byte header).
same_as_oracle() {  # name file
  if [ "${1##*.}" = tif ]; then tail -c +111 "$2" | cmp -s - "$work/oracle/$1"; else cmp -s "$2" "$work/oracle/$1"; fi
}
