#!/bin/bash
# queue_report.sh: the local queues of a queue manager, fullest first, as tab-separated
# lines (queue, depth, MAXDEPTH, percent full), made with jq from KVARN's JSON Lines
# output.
#
#   ./queue_report.sh [QMGR]                     kvarn and jq on PATH
#   ./queue_report.sh QM1 | column -t            aligned
#
# Messages of failed commands are shown as lines beginning "error:"; the exit status is
# KVARN's (0 when the DISPLAY succeeded, 128 when the connection failed ...).
set -o pipefail

kvarn -f -o json ${1:+-m "$1"} -C 'DISPLAY QLOCAL(*) CURDEPTH MAXDEPTH' |
  jq -rs '
    (.[] | select(.kind == "error") | "error: \(.text)"),
    (["QUEUE", "CURDEPTH", "MAXDEPTH", "PERCENT"] | @tsv),
    ( map(select(.kind == "record") | .attributes | select(.MAXDEPTH > 0)
          | . + {PERCENT: (.CURDEPTH * 100 / .MAXDEPTH | floor)})
      | sort_by(-.PERCENT, .QUEUE) | .[]
      | [.QUEUE, .CURDEPTH, .MAXDEPTH, .PERCENT] | @tsv )'
