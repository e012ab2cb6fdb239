#!/usr/bin/env bash
# Renders the manual page as man does and fails on any warning.
#   check_man_page.sh PAGE VERSION
set -euo pipefail
page=$1 version=$2
warnings=$(groff -ww -z -man -t "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns: $warnings"; exit 1; }
rendered=$(MANWIDTH=80 man --warnings -l "$page" 2>"${TMPDIR:-/tmp}/man-warnings.$$")
warnings=$(cat "${TMPDIR:-/tmp}/man-warnings.$$"); rm -f "${TMPDIR:-/tmp}/man-warnings.$$"
[ -z "$warnings" ] || { echo "man warns: $warnings"; exit 1; }
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS EXAMPLES "OUTPUT PROFILE" "EXIT STATUS" DIAGNOSTICS SIGNALS LIMITS; do
  grep -q "^$heading" <<<"$rendered" || { echo "no section $heading"; exit 1; }
done
grep -q "vidmill $version" <<<"$rendered" || { echo "the version $version is not shown"; exit 1; }
echo "manual ok"
