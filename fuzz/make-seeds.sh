#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets from the project's own fixtures:
# the update host that tools/make-update-host.sh generates (agent server
# answers, version manifests, signed and unsigned PE images, archives), the
# licences of resources/ and of the resource table tests, dumps of the crash
# reporter's writer and small archives of every ZIP layout.
#
#   make-seeds.sh <out-folder> <make_pe> <make_seed_dump>
#
# <out-folder>/<target>/ receives the seeds of each target, and
# <out-folder>/trusted-roots.pem the roots that let the signed images verify.
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: $0 <out-folder> <make_pe> <make_seed_dump>" >&2; exit 2; }
out=$1 make_pe=$2 make_seed_dump=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
next="$work/seeds"
mkdir -p "$next"

# seed <target> <name> [file]: one seed, from the file or from standard input.
seed() {
  mkdir -p "$next/$1"
  if [ $# -eq 3 ]; then cp "$3" "$next/$1/$2"; else cat > "$next/$1/$2"; fi
}

host="$work/host"
bash "$source_dir/tools/make-update-host.sh" "$host" --port 8080 --make-pe "$make_pe" >/dev/null
cp "$host/.pki/trusted-roots.pem" "$next/trusted-roots.pem"

for arch in x64 x86; do
  update="$host/update/$arch"
  seed authenticode_fuzz "kvppob-$arch.sys" "$update/3.2.0/kvppob.sys"
  seed authenticode_fuzz "bvlsvc-$arch.exe" "$update/3.2.1/bvlsvc.exe"
  seed version_manifest_fuzz "proverinfo-$arch.dat" "$update/proverinfo.dat"
  seed zip_layout_fuzz "cef-$arch.zip" "$update/120.1.10/cef.zip"
  seed unzip_archive_fuzz "cef-$arch.zip" "$update/120.1.10/cef.zip"
done
for machine in arm64 ia64; do
  printf 'Brimvale agent component (%s)' "$machine" > "$work/payload"
  "$make_pe" "$machine" "$work/$machine.dll" "$work/payload"
  seed authenticode_fuzz "$machine.dll" "$work/$machine.dll"
done
# The manifest with Windows line endings, and as UTF-8 with its byte-order mark.
sed 's/$/\r/' "$host/update/x64/proverinfo.dat" | seed version_manifest_fuzz proverinfo-crlf.dat
{ printf '\xEF\xBB\xBF'; cat "$host/update/x86/proverinfo.dat"; } | seed version_manifest_fuzz proverinfo-bom.dat

webview=$(find "$host/agent/resources/webview" -name webview.zip | head -n 1)
seed zip_layout_fuzz webview.zip "$webview"
seed unzip_archive_fuzz webview.zip "$webview"
python3 "$source_dir/fuzz/make-zip-seeds.py" "$work/zips"
for archive in "$work"/zips/*.zip; do
  seed zip_layout_fuzz "$(basename "$archive")" "$archive"
  seed unzip_archive_fuzz "$(basename "$archive")" "$archive"
done

# Entry names as the archives store them, behind the flag byte of the target
# (0: ANSI code page, 1: UTF-8).
index=0
for archive in "$webview" "$host/update/x64/120.1.10/cef.zip" "$work"/zips/*.zip; do
  while IFS= read -r name; do
    { printf '\000'; printf '%s' "$name"; } | seed entry_names_fuzz "name-$index"
    index=$((index + 1))
  done < <(zipinfo -1 "$archive" 2>/dev/null || true)
done
{ printf '\001'; printf 'webview/\xec\x95\x88\xeb\x82\xb4.html'; } | seed entry_names_fuzz name-utf8

for answer in agent-request-urls versions; do
  seed agent_answer_fuzz "$answer.json" "$host/agent/v2/$answer"
  gzip -9 -n -c "$host/agent/v2/$answer" | seed http_gzip_fuzz "$answer.gz"
done
cat "$next/http_gzip_fuzz/agent-request-urls.gz" "$next/http_gzip_fuzz/versions.gz" |
  seed http_gzip_fuzz two-members.gz
gzip -1 -n -c "$host/update/x64/proverinfo.dat" | seed http_gzip_fuzz proverinfo.gz

# The installer's file name as the installation page names it.
token=$(printf '%s' "http://127.0.0.1:8080" | base64 -w0)
printf 'C:\\Users\\user\\Downloads\\bvlInstaller[%s].exe' "$token" | seed installation_token_fuzz token.txt
printf 'C:\\Users\\user\\Downloads\\bvlInstaller.exe' | seed installation_token_fuzz no-token.txt
token=$(printf '%s' "https://agent.brimvale.example:8443/\xea\xb0\x80" | base64 -w0)
printf 'C:\\Users\\user\\Downloads\\bvlInstaller[%s] (1).exe' "$token" | seed installation_token_fuzz token-copy.txt

seed rtf_reader_fuzz licence_ko.rtf "$source_dir/resources/licence_ko.rtf"
seed rtf_reader_fuzz other_licence.rtf "$source_dir/tests/ui/data/other_licence.rtf"

mkdir -p "$next/minidump_reader_fuzz"
"$make_seed_dump" "$next/minidump_reader_fuzz"

rm -rf "$out"
mkdir -p "$(dirname "$out")"
mv "$next" "$out"
