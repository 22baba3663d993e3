# Sourced by the script suites. Writes the cases of one suite as a JUnit
# report in build/test-results/, where tools/test-summary.py counts them
# case by case, and returns whether all passed.
# usage: write_results SUITE BUILD_DIR WHAT
#        (reads the arrays `names` and `failures`)
write_results() {
  local suite="$1" build="$2" what="$3"
  mkdir -p "$build/test-results"
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites><testsuite name=\"$suite\" tests=\"${#names[@]}\" failures=\"${#failures[@]}\">"
    local name f failed xml
    for name in "${names[@]}"; do
      failed=""
      for f in "${failures[@]}"; do [ "$f" = "$name" ] && failed="<failure/>"; done
      # Bash 5.2 puts the match in place of a bare "&" in a replacement.
      xml="${name//&/\&amp;}"
      xml="${xml//</\&lt;}"
      xml="${xml//\"/\&quot;}"
      echo "  <testcase name=\"$xml\" status=\"run\">$failed</testcase>"
    done
    echo "</testsuite></testsuites>"
  } >"$build/test-results/$suite.xml"
  echo "${#names[@]} $what, ${#failures[@]} failed"
  [ "${#failures[@]}" -eq 0 ]
}
