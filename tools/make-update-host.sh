#!/usr/bin/env bash
# Generates the content root of the agent server and the update host for
# tools/nginx-fixture.sh: the agent JSON answers, the web view archive, and for
# x64 and x86 the version manifest with every component of the agent at the
# version folder its line names.
#
#   make-update-host.sh <content-root> [--port N] [--pki DIR] [--make-pe PATH] [--windows DIR]
#   make-update-host.sh <content-root> --answers-only --port N
#
# --port   the port nginx will listen on (the "update" address names it);
#          without it the agent server's answers are left out, so that one
#          generated content root can be copied and served on any port
# --answers-only  writes only the agent server's answers for the port (the
#          rest of the content root is there already)
# --pki    where the test code-signing PKI is (generated when missing); the
#          driver is signed by its "thirdparty" signer, and the machine that
#          installs must trust DIR/trusted-roots.pem
# --make-pe  the make_pe tool (default: build/default/tools/make_pe)
# --windows  the host of a real Windows machine: the agent's programs are the
#          stand-ins built for Windows in DIR (bvlsvc.exe, BrimvaleAgent.exe,
#          bvlmqtt.exe, bvludt.exe, bvlchk.exe, bvlUninstaller.exe; the
#          Windows build's agent-programs folder). They are 32-bit programs,
#          served in both architecture folders: 64-bit Windows runs them under
#          WOW64. The installer checks no signature of theirs.
#
# The agent programs and libraries are tiny PE images of the architecture
# folder they are served from; kvppob.sys is one signed with Authenticode.
# The programs the installer starts (bvlsvc.exe, BrimvaleAgent.exe,
# bvlmqtt.exe, bvludt.exe, bvlchk.exe, bvlUninstaller.exe) name the built-in
# program of the simulated machine that stands in for them, or with --windows
# are those stand-ins built for Windows.
set -euo pipefail

usage() {
  echo "usage: $0 <content-root> [--port N] [--pki DIR] [--make-pe PATH] [--windows DIR] | <content-root> --answers-only --port N" >&2
  exit 2
}

[ $# -ge 1 ] || usage
root=$1
shift
source_dir=$(cd "$(dirname "$0")/.." && pwd)
port=""
pki=""
make_pe="$source_dir/build/default/tools/make_pe"
answers_only=0
windows_programs=""
while [ $# -gt 0 ]; do
  case "$1" in
    --port) [ $# -ge 2 ] || usage; port=$2; shift 2 ;;
    --pki) [ $# -ge 2 ] || usage; pki=$2; shift 2 ;;
    --make-pe) [ $# -ge 2 ] || usage; make_pe=$2; shift 2 ;;
    --answers-only) answers_only=1; shift ;;
    --windows) [ $# -ge 2 ] || usage; windows_programs=$2; shift 2 ;;
    *) usage ;;
  esac
done
case "$port" in *[!0-9]*) usage ;; esac

product_version=3.2.1.0
webview_version=1.4.2

# write <path> <text>: a file with its folders.
write() {
  mkdir -p "$(dirname "$1")"
  printf '%s' "$2" > "$1"
}

# The agent server's answers; the "update" address names the port.
answers() {
  write "$root/agent/v2/agent-request-urls" \
    "{\"update\":\"http://127.0.0.1:$port/update\",\"mqtt\":\"mqtt://127.0.0.1:1883/brimvale\"}"
  write "$root/agent/v2/versions" "{\"webview\":{\"version\":\"$webview_version\"}}"
}

if [ "$answers_only" = 1 ]; then
  [ -n "$port" ] && [ -d "$root" ] || usage
  answers
  exit 0
fi

[ -n "$pki" ] || pki="$root/.pki"
[ -x "$make_pe" ] || { echo "make-update-host: $make_pe is not built (cmake --build --preset default --target make_pe)" >&2; exit 1; }
command -v zip >/dev/null || { echo "make-update-host: zip is not installed" >&2; exit 1; }
agent_programs="bvlsvc.exe BrimvaleAgent.exe bvlmqtt.exe bvludt.exe bvlchk.exe bvlUninstaller.exe"
if [ -n "$windows_programs" ]; then
  for name in $agent_programs; do
    [ -f "$windows_programs/$name" ] ||
      { echo "make-update-host: $windows_programs/$name is not built (cmake --build --preset windows --target bvl_agent_programs)" >&2; exit 1; }
  done
fi

mkdir -p "$root"
root=$(cd "$root" && pwd)
bash "$source_dir/tools/make-test-pki.sh" "$pki"
work=$(mktemp -d "$root/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT

# pe <machine> <out> <text>: a PE image whose code section carries the text.
pe() {
  mkdir -p "$(dirname "$2")"
  printf '%s' "$3" > "$work/payload"
  "$make_pe" "$1" "$2" "$work/payload"
}

if [ -n "$port" ]; then answers; fi
# The root that signed the driver: a machine trusting another one refuses it.
cp "$pki/root.crt" "$root/.signing-root.pem"

# The web view archive: its entries land in the web view folder.
webview="$work/webview"
write "$webview/index.html" "<!doctype html><title>Brimvale</title><script src=\"assets/app.js\"></script>"
write "$webview/assets/app.js" "document.title = 'Brimvale $webview_version';"
write "$webview/assets/img/logo.svg" "<svg xmlns=\"http://www.w3.org/2000/svg\"/>"
mkdir -p "$root/agent/resources/webview/$webview_version"
(cd "$webview" && zip -q -r -X "$root/agent/resources/webview/$webview_version/webview.zip" .)

# component <arch-folder> <machine> <name> <version>: one served component;
# appends its manifest line.
component() {
  local folder=$1 machine=$2 name=$3 version=$4
  local out="$root/update/$folder/$version/$name"
  case "$name" in
    kvppob.sys)
      pe "$machine" "$work/kvppob.unsigned" "Brimvale process protection driver ($folder)"
      mkdir -p "$(dirname "$out")"
      rm -f "$out"
      bash "$source_dir/tools/sign-test-pe.sh" "$pki" thirdparty sha256 "$work/kvppob.unsigned" "$out"
      ;;
    cef.zip)
      # Entries carry their path below the install folder: cef\...
      local cef="$work/cef-$folder"
      pe "$machine" "$cef/cef/libcef.dll" "Chromium Embedded Framework ($folder)"
      pe "$machine" "$cef/cef/swiftshader/libGLESv2.dll" "SwiftShader ($folder)"
      write "$cef/cef/locales/en-US.pak" "en-US locale"
      write "$cef/cef/locales/ko.pak" "ko locale"
      write "$cef/cef/icudtl.dat" "ICU data"
      mkdir -p "$(dirname "$out")"
      rm -f "$out"
      (cd "$cef" && zip -q -r -X "$out" cef)
      ;;
    bvlsvc.exe|BrimvaleAgent.exe|bvlmqtt.exe|bvludt.exe|bvlchk.exe|bvlUninstaller.exe)
      if [ -n "$windows_programs" ]; then
        mkdir -p "$(dirname "$out")"
        cp "$windows_programs/$name" "$out"
      else
        pe "$machine" "$out" "BVLSIM-BUILTIN:${name%.exe}
Brimvale agent program $name $version ($folder)"
      fi
      ;;
    *)
      pe "$machine" "$out" "Brimvale agent component $name $version ($folder)"
      ;;
  esac
  local digest
  digest=$(md5sum "$out" | cut -d' ' -f1)
  printf '%s %s %s\n' "$name" "$digest" "$version" >> "$root/update/$folder/proverinfo.dat"
}

for arch in x64:amd64 x86:i386; do
  folder=${arch%%:*}
  machine=${arch#*:}
  mkdir -p "$root/update/$folder"
  printf '%s\n' "$product_version" > "$root/update/$folder/proverinfo.dat"
  for name in bvlsvc.exe BrimvaleAgent.exe bvlchk.exe bvlUninstaller.exe bvludt.exe bvlres.dll bvlcore.dll \
              bvlmqtt.exe bvlcv.dll; do
    component "$folder" "$machine" "$name" 3.2.1
  done
  component "$folder" "$machine" sqlite3.dll 3.45.1
  component "$folder" "$machine" libeay32.dll 1.0.2
  component "$folder" "$machine" mosquitto.dll 2.0.18
  component "$folder" "$machine" msvcr100.dll 10.0.40219
  component "$folder" "$machine" pthreadVC2.dll 2.9.1
  component "$folder" "$machine" kvppob.sys 3.2.0
  component "$folder" "$machine" cef.zip 120.1.10
done

echo "update host content in $root (port ${port:-none: add the answers with --answers-only}); trust $pki/trusted-roots.pem"
