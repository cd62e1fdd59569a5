#!/usr/bin/env bash
# The installation and the Debian package, built from a build directory:
#   package_test.sh CMAKE CPACK BUILD_DIR VERSION
# 1. cmake --install into a temporary prefix: the files, the units naming that
#    prefix, and the installed programs answering --version and --help.
# 2. cpack -G DEB into a temporary directory: the dependencies, no test
#    program, nothing that enables the timer, and the unpacked programs
#    running from /opt/exporttotale inside the unpacked tree.
set -euo pipefail
cmake_cmd=$1 cpack_cmd=$2 build=$3 version=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_file() { [ -f "$1" ] || fail "missing $1"; }
expect_output() {  # expected output, command...
  local expected=$1; shift
  local out status=0
  out=$("$@" </dev/null 2>&1) || status=$?
  [ "$status" -eq 0 ] || fail "$* exited $status: $out"
  [[ "$out" == *"$expected"* ]] || fail "$* printed '$out', not '$expected'"
}
# The installed tree under PREFIX, as installed with PREFIX as its prefix
# (ROOT is where it lies on disk: the same, or the unpacked package).
check_tree() {  # root, prefix
  local root=$1 prefix=$2
  local bin=$root$prefix/bin units=$root$prefix/share/exporttotale/systemd
  for f in "$bin/exporttotale" "$bin/exporttotale-admin" "$bin/exporttotale-cron"; do
    expect_file "$f"
    [ -x "$f" ] || fail "$f is not executable"
  done
  expect_file "$root$prefix/share/exporttotale/examples/PARAMETRIQUORVANDELIX.INI"
  expect_file "$root$prefix/share/doc/exporttotale/README.md"
  expect_file "$units/exporttotale.service"
  expect_file "$units/exporttotale.timer"
  grep -qx "ExecStart=$prefix/bin/exporttotale" "$units/exporttotale.service" ||
    fail "the service does not start $prefix/bin/exporttotale"
  for line in Type=oneshot SuccessExitStatus=232 StandardInput=null TimeoutStartSec=4h; do
    grep -qx "$line" "$units/exporttotale.service" || fail "the service lacks $line"
  done
  grep -qx "WantedBy=timers.target" "$units/exporttotale.timer" || fail "the timer has no [Install]"
  local extra
  extra=$(find "$root$prefix" -name '*_tests' -o -name 'exporttotale-fixture')
  [ -z "$extra" ] || fail "test programs installed: $extra"
  expect_output "exporttotale $version" "$bin/exporttotale" --version
  expect_output "Usage: exporttotale" "$bin/exporttotale" --help
  expect_output "exporttotale-admin $version" "$bin/exporttotale-admin" --version
  expect_output "exporttotale-admin" "$bin/exporttotale-admin" --help
}

# 1. cmake --install
"$cmake_cmd" --install "$build" --prefix "$work/prefix" >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
check_tree "" "$work/prefix"

# 2. the Debian package, written into the work directory
"$cpack_cmd" --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(find "$work/deb" -maxdepth 1 -name 'exporttotale_*.deb' | head -n1)
if [ -z "$deb" ]; then
  fail "no package written"
else
  info=$(dpkg-deb -I "$deb")
  depends=$(printf '%s\n' "$info" | sed -n 's/^ Depends: //p')
  for dep in libfbclient2 libcurl4; do
    [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] ||
      fail "Depends '$depends' lacks $dep"
  done
  printf '%s\n' "$info" | grep -qx " Version: $version" || fail "package version is not $version"
  # Nothing enables or starts the timer on installation.
  mkdir "$work/control"
  dpkg-deb -e "$deb" "$work/control"
  if grep -rqs systemctl "$work/control"; then fail "a maintainer script calls systemctl"; fi
  # Everything under /opt/exporttotale.
  outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./opt/' || true)
  [ -z "$outside" ] || fail "files outside /opt: $outside"
  dpkg-deb -x "$deb" "$work/root"
  check_tree "$work/root" /opt/exporttotale
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "package: all checks passed ($(basename "${deb:-none}"))"
