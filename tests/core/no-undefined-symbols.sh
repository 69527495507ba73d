#!/usr/bin/env bash
# Fails, naming them, when an object file needs symbols from elsewhere.
set -euo pipefail
undefined=$(nm --undefined-only "$@")
if [ -n "$undefined" ]; then
  echo "needs outside symbols:"
  echo "$undefined"
  exit 1
fi
echo "no outside symbol in: $*"
