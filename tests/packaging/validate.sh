#!/usr/bin/env bash
# The desktop files pass their validators, the manual pages format without a warning, and the
# manual page and the bash completion know every command and option that brindle-cli's own
# help lists.
#   validate.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$source/packaging/org.brindle.Brindle.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$build/packaging/org.brindle.Brindle.metainfo.xml" ||
  fail "appstreamcli validate"

for name in brindle.1 brindle-cli.1; do
  page=$build/packaging/man/$name
  [ -f "$page" ] || fail "$page was not made"
  warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$page" 2>&1) || fail "groff failed on $name"
  [ -z "$warnings" ] || fail "$name: $warnings"
  if grep -q '@' "$page"; then fail "$name has a placeholder left"; fi
done

# What brindle-cli --help lists: its commands (up to the blank line that ends the list), then
# each command's long options.
cli=$build/cli/brindle-cli
section() { awk -v want="$1" '/^[A-Z][A-Za-z]*:$/ { on = ($0 == want) ; next } on'; }
mapfile -t commands < <("$cli" --help | section "Commands:" | awk '!NF { exit } { print $1 }')
[ ${#commands[@]} -gt 0 ] || fail "no commands read from brindle-cli --help"

manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 groff -man -Tascii -P-cbou "$build/packaging/man/brindle-cli.1")
source /usr/share/bash-completion/bash_completion
source "$source/packaging/bash-completion/brindle-cli"
complete_words() {
  COMP_WORDS=(brindle-cli "$@") COMP_CWORD=$# COMPREPLY=()
  COMP_LINE="brindle-cli $*" COMP_POINT=${#COMP_LINE}
  _brindle_cli brindle-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
  printf '%s\n' "${COMPREPLY[@]}"
}
completed_commands=$(complete_words "")
for command in "${commands[@]}"; do
  grep -qE "^ {7}$command( |$)" <<<"$manual" || fail "the manual page lacks the command $command"
  grep -qx "$command" <<<"$completed_commands" || fail "completion lacks the command $command"
  completed=$(complete_words "$command" -)
  while read -r option; do
    grep -qF -- "$option" <<<"$manual" || fail "the manual page lacks $command $option"
    grep -qx -- "$option" <<<"$completed" || fail "completion lacks $command $option"
  done < <("$cli" "$command" --help | section "Options:" | awk '!NF { exit } { print }' |
    grep -oE -- '--[a-z][a-z-]*' | sort -u)
done
echo "validated: desktop entry, metadata, manual pages; ${#commands[@]} commands documented and completed"
