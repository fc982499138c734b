#!/bin/sh
# Runs a command with the X server's keyboard layout set to $1 (as X names it, "de"), and sets "us" again
# after it: Wine takes the layout of every window from the X server.
layout=$1
shift
setxkbmap "$layout" || exit 1
"$@"
status=$?
setxkbmap us
exit $status
