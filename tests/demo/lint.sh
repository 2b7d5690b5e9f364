#!/usr/bin/env bash
# The demo issue passes the authors' own check, page by page, without even a
# warning: the report is the summary line alone, and standard error is empty.
set -euo pipefail
errors=$(mktemp /tmp/zarn-demo-lint-XXXXXX)
trap 'rm -f "$errors"' EXIT
out=$("$ZARN_BINARY_DIR/tools/zarn-tool" lint -C "$ZARN_BINARY_DIR/demo" --strict 2>"$errors")
echo "$out"
[[ "$out" =~ ^0\ errors,\ 0\ warnings\ in\ [0-9]+\ files$ ]]
[ ! -s "$errors" ]
