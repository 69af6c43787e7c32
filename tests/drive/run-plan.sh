#!/bin/sh
# Runs a plan of brindle-cli commands and reports what each one did, as "@@" lines on stdout:
#
#   run-plan.sh CLI SOURCE PLAN OUTROOT
#
# SOURCE "drives": read the drive the plan line names (inside the guest). Otherwise SOURCE is a
# folder holding one image per drive letter, D.iso, E.iso, ... (on the host): the same plan run
# both ways must report the same lines, so the images give the expected result for the drives.
# Plain POSIX sh: it runs under busybox ash in the guest and under dash or bash on the host.
#
# A plan line is ID, TRANSPORT (auto, spti or aspi, each optionally with "+user"), COMMAND
# (drives, ls, extract, get, extract-r, verify), the drive LETTER and PATH ("." for the root, else names joined by
# "/"), separated by tabs. The COMMAND mark instead reports "@@ MARK ID" and waits PATH seconds
# (the host changes the medium when it sees it). For each other line:
#   @@ RUN ID TRANSPORT COMMAND LETTER PATH
#   @@ OUT ID [line]           each line of standard output, blanks kept
#   @@ ERR ID [line]           each line of standard error
#   @@ EXIT ID STATUS
#   @@ SUM ID SHA256 NAME      each file the command wrote: extract, NAME under OUTROOT/ID;
#                              get, NAME "OUTFILE"
#   @@ TIME ID MILLISECONDS    wall time of the command (not compared)
set -u
cli=$1 source=$2 plan=$3 outRoot=$4
tab=$(printf '\t')

now_ms() {
  read -r up _ </proc/uptime
  hundredths=${up#*.}
  echo $((${up%.*} * 1000 + 10 * ${hundredths#0}))
}

# Prints each line of FILE as "@@ KIND ID [line]", the last line also when it has no newline.
report_lines() {
  while IFS= read -r line || [ -n "$line" ]; do echo "@@ $1 $2 [$line]"; done <"$3"
}

# Runs one plan line; the path's names become separate arguments (ls, extract) or stay one
# slash-separated PATH (get).
run_one() {
  id=$1 transport=$2 command=$3 letter=$4 path=$5 variant=$2
  if [ "$source" = drives ]; then
    sourceOption=--drive sourceValue=$letter
  else
    sourceOption=--image sourceValue=$source/$letter.iso
  fi
  set --
  if [ "$path" != . ]; then
    set -f
    oldIfs=$IFS
    IFS=/
    # shellcheck disable=SC2086 # splitting the path on "/" is the point
    set -- $path
    IFS=$oldIfs
    set +f
  fi
  # TRANSPORT+user: the same as an unprivileged user (in the guest; the host runs as itself).
  runAs=""
  case $transport in
    *+user)
      transport=${transport%+user}
      [ "$source" != drives ] || runAs="as-user 1000"
      ;;
  esac
  transportOption=""
  [ "$transport" = auto ] || transportOption="--transport=$transport"
  out=$outRoot/$id
  rm -rf "$out" "$out.bin"
  started=$(now_ms)
  # A command that hangs (a drive that never answers) ends after a minute with a status of its
  # own instead of holding up the whole guest.
  case $command in
    drives) timeout 60 $runAs "$cli" drives $transportOption ;;
    ls) timeout 60 $runAs "$cli" ls "$sourceOption" "$sourceValue" $transportOption "$@" ;;
    extract)
      mkdir -p "$out" && chmod 0777 "$out" &&
        timeout 60 $runAs "$cli" extract "$sourceOption" "$sourceValue" $transportOption "$out" "$@" ;;
    get) timeout 60 $runAs "$cli" get "$sourceOption" "$sourceValue" $transportOption "$path" "$out.bin" ;;
    extract-r)
      mkdir -p "$out" && chmod 0777 "$out" &&
        timeout 60 $runAs "$cli" extract -r -q "$sourceOption" "$sourceValue" $transportOption "$out" "$@" ;;
    verify) timeout 60 $runAs "$cli" verify -q "$sourceOption" "$sourceValue" $transportOption ;;
    *) echo "unknown plan command: $command" >&2; false ;;
  esac </dev/null >"$outRoot/$id.stdout" 2>"$outRoot/$id.stderr"
  status=$?
  elapsed=$(($(now_ms) - started))
  echo "@@ RUN $id $variant $command $letter $path"
  report_lines OUT "$id" "$outRoot/$id.stdout"
  report_lines ERR "$id" "$outRoot/$id.stderr"
  echo "@@ EXIT $id $status"
  if [ -f "$out.bin" ]; then
    echo "@@ SUM $id $(sha256sum <"$out.bin" | cut -d' ' -f1) OUTFILE"
  fi
  if [ -d "$out" ]; then
    (cd "$out" && find . -type f | LC_ALL=C sort) | while IFS= read -r name; do
      echo "@@ SUM $id $(sha256sum <"$out/$name" | cut -d' ' -f1) ${name#./}"
    done
  fi
  echo "@@ TIME $id $elapsed"
}

mkdir -p "$outRoot"
# Unprivileged runs write here too.
[ "$source" != drives ] || chmod 1777 "$outRoot"
while IFS="$tab" read -r id transport command letter path || [ -n "$id" ]; do
  case $id in '' | '#'*) continue ;; esac
  if [ "$command" = mark ]; then
    echo "@@ MARK $id"
    sleep "$path"
    continue
  fi
  run_one "$id" "$transport" "$command" "$letter" "$path"
done <"$plan"
