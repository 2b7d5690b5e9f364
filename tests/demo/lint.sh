#!/usr/bin/env bash
# The demo issue passes the authors' own check, page by page.
set -euo pipefail
out=$("$ZARN_BINARY_DIR/tools/zarn-tool" lint -C "$ZARN_BINARY_DIR/demo")
echo "$out"
[ "$out" = "ok" ]
