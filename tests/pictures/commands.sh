#!/usr/bin/env bash
# The picture commands end to end on discs made by picture-disc-tool, and the thumbnailer run
# exactly as the Exec line of brindle.thumbnailer says.
#   commands.sh BRINDLE-CLI PICTURE-DISC-TOOL BRINDLE.THUMBNAILER WORKDIR
set -u
cli=$1 tool=$2 thumbnailer=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# "W H" of a PNG file, from its header.
png_size() {
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || { echo "not-png"; return; }
  local b; b=($(od -An -tu1 -j16 -N8 "$1"))
  echo "$(( (b[0] << 24) + (b[1] << 16) + (b[2] << 8) + b[3] )) $(( (b[4] << 24) + (b[5] << 16) + (b[6] << 8) + b[7] ))"
}

"$tool" disc.iso --look 1 || exit 1
head -c 100000 /dev/urandom > noise.iso
printf 'FILE "noise.iso" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' > noise.cue

# The thumbnailer, as the file manager runs it: %s the size, %i the input path, %o the output.
exec_line=$(sed -n 's/^Exec=//p' "$thumbnailer")
thumbnail() {  # SIZE INPUT OUTPUT
  local line=${exec_line//%s/$1}
  line=${line//%i/$2}
  line=${line//%o/$3}
  PATH="$(dirname "$cli"):$PATH" eval "$line"
}
thumbnail 128 "$work/disc.iso" "$work/thumb.png" || fail "thumbnailer on a disc with a banner"
[ "$(png_size thumb.png)" = "128 96" ] || fail "thumbnail is $(png_size thumb.png), not 128 96"
for bad in noise.iso noise.cue; do
  thumbnail 128 "$work/$bad" "$work/$bad.png" 2>/dev/null && fail "thumbnailer succeeded on $bad"
  [ -e "$bad.png" ] && fail "thumbnailer wrote something for $bad"
done
[ -z "$(ls -A | grep -v -e '^disc.iso$' -e '^noise' -e '^thumb.png$')" ] || fail "stray files: $(ls -A)"
if command -v chdman >/dev/null; then
  chdman createcd -i disc.iso -o disc.chd >/dev/null 2>&1 || fail "chdman"
  thumbnail 256 "$work/disc.chd" "$work/chd.png" || fail "thumbnailer on a CHD"
  [ "$(png_size chd.png)" = "256 192" ] || fail "CHD thumbnail is $(png_size chd.png)"
fi

# banner: the image first or through --image; to a file or standard output; scaled.
"$cli" banner disc.iso banner.png || fail "banner"
[ "$(png_size banner.png)" = "320 240" ] || fail "banner is $(png_size banner.png)"
"$cli" banner --image disc.iso --size 64 small.png || fail "banner --size"
[ "$(png_size small.png)" = "64 48" ] || fail "banner --size 64 is $(png_size small.png)"
"$cli" banner disc.iso > piped.png || fail "banner to standard output"
cmp -s banner.png piped.png || fail "banner to standard output differs"
# No banner, a banner cut short, no disc at all: a message, exit status 1, no file.
"$tool" nobanner.iso --banner none && "$tool" cutbanner.iso --banner cut || exit 1
for bad in nobanner.iso cutbanner.iso noise.iso; do
  message=$("$cli" banner "$bad" none.png 2>&1) && fail "banner of $bad succeeded"
  [ -n "$message" ] || fail "banner of $bad gave no message"
  [ -e none.png ] && fail "banner of $bad wrote a file"
  thumbnail 128 "$work/$bad" "$work/none.png" 2>/dev/null && fail "thumbnailer succeeded on $bad"
  [ -e none.png ] && fail "thumbnailer wrote something for $bad"
done

# picture: the same picture in the IMAG and CEL forms gives the same PNG as the banner.
for path in Art/title.imag Art/packed.cel Art/unpacked.cel; do
  "$cli" picture disc.iso "$path" "$(basename "$path").png" || fail "picture $path"
  cmp -s banner.png "$(basename "$path").png" || fail "picture $path differs from the banner"
done
message=$("$cli" picture --image disc.iso LaunchMe launch.png 2>&1) && fail "picture of LaunchMe succeeded"
[[ $message == *'"LaunchMe" is not a picture'* ]] || fail "picture of LaunchMe says: $message"
[ -e launch.png ] && fail "picture of LaunchMe wrote a file"

# extract -r --pictures: a PNG beside each picture file, the same as the banner's; none for others.
"$cli" extract -r -q --pictures --image disc.iso out || fail "extract -r --pictures"
for path in BannerScreen Art/title.imag Art/packed.cel Art/unpacked.cel; do
  cmp -s banner.png "out/$path.png" || fail "extract --pictures: out/$path.png differs or is missing"
done
[ "$(find out -name '*.png' | wc -l)" = 4 ] || fail "extract --pictures wrote $(find out -name '*.png')"
"$cli" extract --pictures --image disc.iso out2 2>/dev/null
[ $? = 2 ] || fail "extract --pictures without -r is not a usage error"

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
