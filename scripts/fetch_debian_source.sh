#!/usr/bin/env bash
# fetch_debian_source.sh BINARY SOURCE DEST FILE: fetches the source of a
# library for the Windows builder (mksfx.exe) into DEST: Debian's source
# package SOURCE of the very version that the binary package BINARY installs
# for the host build, so that both builders compress alike. apt-get runs on
# a private copy of the machine's Debian sources, turned into source entries,
# with private lists: the machine's own apt configuration, lists and locks
# stay untouched. Does nothing when the source of that version is already
# there (DEST/FILE, a file of the source tree, tells that it unpacked).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# = 4 ] || { echo "usage: fetch_debian_source.sh BINARY SOURCE DEST FILE" >&2; exit 2; }
BINARY=$1 SOURCE=$2 DEST=$3 MARKER=$4
NAME="fetch $SOURCE"
APT=build/deps/apt-$SOURCE
version=$(dpkg-query -W -f='${Version}' "$BINARY" 2>/dev/null) || {
  echo "$NAME: $BINARY is not installed"; exit 1; }
if [ -f "$DEST/.debian-version" ] && [ "$(cat "$DEST/.debian-version")" = "$version" ] \
   && [ -f "$DEST/$MARKER" ]; then
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
    sys.exit("no Debian archive found in the apt sources")
open(sys.argv[1], "w").write("\n\n".join(stanzas) + "\n")
PY
APT_OPTIONS=(-q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$PWD/$APT/sources.list.d"
             -o "Dir::State::Lists=$PWD/$APT/lists" -o "Dir::Cache=$PWD/$APT/cache" -o "APT::Sandbox::User=root")
apt-get "${APT_OPTIONS[@]}" update > "$APT/update.log" 2>&1 || {
  echo "$NAME: apt-get update of the source lists failed:"; tail -5 "$APT/update.log"; exit 1; }
# The installed version itself; when the archive no longer carries it (a
# machine installed before a stable update), the archive's newest Debian
# revision of the same upstream version, whose library code is the same
# but for the update's fixes.
wanted=$version
if ! apt-cache "${APT_OPTIONS[@]}" showsrc "$SOURCE" 2>/dev/null | grep -qx "Version: $version"; then
  upstream=${version%-*}
  wanted=""
  for candidate in $(apt-cache "${APT_OPTIONS[@]}" showsrc "$SOURCE" 2>/dev/null | sed -n 's/^Version: //p'); do
    [ "${candidate%-*}" = "$upstream" ] || continue
    if [ -z "$wanted" ] || dpkg --compare-versions "$candidate" gt "$wanted"; then wanted=$candidate; fi
  done
  [ -n "$wanted" ] || { echo "$NAME: the archive has no source of $SOURCE $upstream (installed: $version)"; exit 1; }
  echo "$NAME: $version is no longer in the archive; taking $wanted, the same upstream version"
fi
(cd "$APT/work" && apt-get "${APT_OPTIONS[@]}" source "$SOURCE=$wanted" > ../source.log 2>&1) || {
  echo "$NAME: apt-get source $SOURCE=$wanted failed:"; tail -5 "$APT/source.log"; exit 1; }
unpacked=$(find "$APT/work" -maxdepth 1 -type d -name "$SOURCE-*" | head -1)
[ -n "$unpacked" ] && [ -f "$unpacked/$MARKER" ] || {
  echo "$NAME: the source package did not unpack"; exit 1; }
rm -rf "$DEST"
mkdir -p "$(dirname "$DEST")"
mv "$unpacked" "$DEST"
echo "$version" > "$DEST/.debian-version"
echo "$wanted" > "$DEST/.debian-source-version"
rm -rf "$APT"
echo "$NAME: source of $SOURCE $wanted in $DEST (for $BINARY $version)"
