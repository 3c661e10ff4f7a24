#!/bin/sh
# Runs the lamp's firmware tests as CI does: a JUnit report for the CI server,
# the coverage as an lcov trace (and as HTML where genhtml is installed) and
# the cycle profile. The exit status is m51sim's: 0 when every test passed.
set -u
cd "$(dirname "$0")"
mkdir -p results
m51sim test tests --junit results/junit.xml --coverage results/coverage.info --profile results/profile.csv
status=$?
if command -v genhtml >/dev/null 2>&1; then
  genhtml --quiet --branch-coverage --output-directory results/coverage results/coverage.info
fi
exit $status
