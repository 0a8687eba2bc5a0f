#!/bin/sh
# Common body of the stand-ins for outside commands: records the call as one
# line "name args..." in $PAVORA_STANDIN_DIR/calls.log, and as one line of
# its words, each ended by the byte 0x1f, in calls.argv (so that a blank
# inside an argument shows), its process id in name.pids, waits the seconds
# in name.delay if the test wrote one (a slow or hung command), prints
# name.out if the test wrote one, and exits with the status in name.exit (0
# by default).
name=$1
shift
dir=${PAVORA_STANDIN_DIR:-/tmp}
echo "$name $*" >> "$dir/calls.log"
{
  printf '%s\037' "$name"
  for arg in "$@"; do printf '%s\037' "$arg"; done
  printf '\n'
} >> "$dir/calls.argv"
# A wrapper that already recorded its pid and waited sets PAVORA_STANDIN_DELAYED.
if [ -z "$PAVORA_STANDIN_DELAYED" ]; then
  echo $$ >> "$dir/$name.pids"
  [ -f "$dir/$name.delay" ] && sleep "$(cat "$dir/$name.delay")"
fi
[ -f "$dir/$name.out" ] && cat "$dir/$name.out"
status=0
[ -f "$dir/$name.exit" ] && status=$(cat "$dir/$name.exit")
exit "$status"
