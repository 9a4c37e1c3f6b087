#!/bin/bash
# Fails when any of the given programs loads a library whose name matches the pattern, directly
# or through another library, and names each program and library.
# Usage: check_libraries.sh <extended regex> <program>...
set -u
pattern=$1
shift
if [ $# -eq 0 ]; then
    echo "no programs to check" >&2
    exit 2
fi
status=0
for program in "$@"; do
    if ! libraries=$(ldd "$program" 2>&1); then
        echo "$program: cannot list its libraries: $libraries" >&2
        status=2
        continue
    fi
    found=$(awk '{ print $1 }' <<<"$libraries" | grep -E "$pattern")
    if [ -n "$found" ]; then
        echo "$program loads:" $found >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "checked $#: none loads $pattern"
exit $status
