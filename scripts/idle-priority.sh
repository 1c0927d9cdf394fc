#!/bin/sh
# Runs a command at the scheduler's idle priority (SCHED_IDLE, nice 19) in the
# caller's session, so that it gets only the processor time the rest leaves;
# nice 19 alone where SCHED_IDLE is not available.
if chrt --idle 0 true 2>/dev/null; then exec chrt --idle 0 nice -n 19 "$@"; fi
exec nice -n 19 "$@"
