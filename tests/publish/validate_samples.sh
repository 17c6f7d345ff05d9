#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the feed against RFC 4287's RELAX NG schema and every written file for
# well-formedness.   validate_samples.sh WRITE_SAMPLES SCHEMA
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$1" "$dir"
jing -c "$2" "$dir/atom.xml" 2>&1 | grep -v '^\[warning\]' || true
jing -c "$2" "$dir/atom.xml" >/dev/null 2>&1
xmllint --noout "$dir"/*.xml
ls "$dir"/karte-2.xml >/dev/null
