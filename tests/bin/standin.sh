#!/bin/sh
# Common body of the stand-ins for outside commands: records the call as one
# line "name args..." in $PAVORA_STANDIN_DIR/calls.log and its process id in
# name.pids, waits the seconds in name.delay if the test wrote one (a slow or
# hung command), prints name.out if the test wrote one, and exits with the
# status in name.exit (0 by default).
name=$1
shift
dir=${PAVORA_STANDIN_DIR:-/tmp}
echo "$name $*" >> "$dir/calls.log"
# A wrapper that already recorded its pid and waited sets PAVORA_STANDIN_DELAYED.
if [ -z "$PAVORA_STANDIN_DELAYED" ]; then
  echo $$ >> "$dir/$name.pids"
  [ -f "$dir/$name.delay" ] && sleep "$(cat "$dir/$name.delay")"
fi
[ -f "$dir/$name.out" ] && cat "$dir/$name.out"
status=0
[ -f "$dir/$name.exit" ] && status=$(cat "$dir/$name.exit")
exit "$status"
