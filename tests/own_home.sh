#!/bin/sh
# Runs a test with user folders of its own (settings, cache, job log), made
# for this run and removed after it: two copies of the suite side by side,
# from the same build, never share a settings file or a job log.
home=$(mktemp -d "${TMPDIR:-/tmp}/kelvarion-test-home.XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
export XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" XDG_STATE_HOME="$home/state"
"$@"
