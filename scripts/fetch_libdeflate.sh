#!/usr/bin/env bash
# Fetches the source of libdeflate for the Windows builder (mksfx.exe) into
# build/deps/libdeflate: Debian's source package of the very version that
# libdeflate-dev installs for the host build, so that both builders compress
# alike. apt-get runs on a private copy of the machine's Debian sources,
# turned into source entries, with private lists: the machine's own apt
# configuration, lists and locks stay untouched. Does nothing when the
# source of that version is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
DEST=build/deps/libdeflate
APT=build/deps/apt
version=$(dpkg-query -W -f='${Version}' libdeflate-dev 2>/dev/null) || {
  echo "fetch_libdeflate: libdeflate-dev is not installed"; exit 1; }
if [ -f "$DEST/.debian-version" ] && [ "$(cat "$DEST/.debian-version")" = "$version" ] \
   && [ -f "$DEST/lib/deflate_compress.c" ]; then
  exit 0
fi

rm -rf "$APT"
mkdir -p "$APT/lists/partial" "$APT/cache/archives/partial" "$APT/sources.list.d" "$APT/work"
# Every configured Debian archive entry, as a source entry.
python3 - "$APT/sources.list.d/debian-src.sources" <<'PY'
import glob, re, sys
stanzas = []
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for block in re.split(r"\n\s*\n", open(path).read()):
        fields = {}
        for line in block.splitlines():
            if line.startswith("#") or ":" not in line or line[0].isspace():
                continue
            key, value = line.split(":", 1)
            fields[key.strip()] = value.strip()
        if "deb" in fields.get("Types", "").split() and "debian-archive-keyring" in fields.get("Signed-By", ""):
            fields["Types"] = "deb-src"
            stanzas.append("\n".join("%s: %s" % item for item in fields.items()))
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        lines = open(path).read().splitlines()
    except OSError:
        continue
    for line in lines:
        parts = line.split("#")[0].split()
        if len(parts) >= 4 and parts[0] == "deb" and "debian" in line:
            options = parts[1] if parts[1].startswith("[") else ""
            rest = parts[2:] if options else parts[1:]
            stanzas.append("Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s" % (rest[0], rest[1], " ".join(rest[2:])))
if not stanzas:
    sys.exit("fetch_libdeflate: no Debian archive found in the apt sources")
open(sys.argv[1], "w").write("\n\n".join(stanzas) + "\n")
PY
APT_OPTIONS=(-q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$PWD/$APT/sources.list.d"
             -o "Dir::State::Lists=$PWD/$APT/lists" -o "Dir::Cache=$PWD/$APT/cache" -o "APT::Sandbox::User=root")
apt-get "${APT_OPTIONS[@]}" update > "$APT/update.log" 2>&1 || {
  echo "fetch_libdeflate: apt-get update of the source lists failed:"; tail -5 "$APT/update.log"; exit 1; }
(cd "$APT/work" && apt-get "${APT_OPTIONS[@]}" source "libdeflate=$version" > ../source.log 2>&1) || {
  echo "fetch_libdeflate: apt-get source libdeflate=$version failed:"; tail -5 "$APT/source.log"; exit 1; }
unpacked=$(find "$APT/work" -maxdepth 1 -type d -name 'libdeflate-*' | head -1)
[ -n "$unpacked" ] && [ -f "$unpacked/lib/deflate_compress.c" ] || {
  echo "fetch_libdeflate: the source package did not unpack"; exit 1; }
rm -rf "$DEST"
mv "$unpacked" "$DEST"
echo "$version" > "$DEST/.debian-version"
rm -rf "$APT"
echo "fetch_libdeflate: source of libdeflate $version in $DEST"
