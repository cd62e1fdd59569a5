#!/usr/bin/env bash
# The installation and the Debian package, built from a build directory:
#   package_test.sh CMAKE CPACK BUILD_DIR VERSION
# 1. cmake --install into a temporary prefix: the layout, the links, the
#    units naming that prefix (verified by systemd-analyze), the installed
#    programs answering --version and --help and finding their parameters
#    file through the link, and a second install keeping an edited one.
# 2. cpack -G DEB: lintian reports no error and no warning; the control
#    fields, conffiles and maintainer scripts; every shipped service rated
#    2.0 or lower by systemd-analyze security.
# 3. As root, when the package is unknown to dpkg: installed with apt-get;
#    the user, the state directory, the conffile's mode, the manual pages,
#    the units verified, nothing enabled; exporttotale-admin check of a
#    prepared installation as the user exporttotale (also an instance under
#    /etc/exporttotale/INSTANCE/); a stock run as that user in a read-only
#    view of the file system where only /var/lib/exporttotale is writable,
#    against an FTP and an HTTP server on 127.0.0.1; then removed
#    (configuration kept) and purged (configuration gone, data and user
#    kept). The machine is left as it was apart from the system user.
set -euo pipefail
cmake_cmd=$1 cpack_cmd=$2 build=$3 version=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
py=/usr/bin/python3

work=$(mktemp -d)
pids=()
cleanups=()  # commands run at exit, last first
at_exit() {
  local i p
  for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}" || true; done
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap at_exit EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_file() { [ -f "$1" ] || fail "missing $1"; }
# Expected text, expected status, command...: the command's output (standard
# output and error) must hold the text and its status must be the one given.
expect_output() {
  local expected=$1 want=$2; shift 2
  local out status=0
  out=$("$@" </dev/null 2>&1) || status=$?
  [ "$status" -eq "$want" ] || fail "$* exited $status, not $want: $out"
  [[ "$out" == *"$expected"* ]] || fail "$* printed '$out', without '$expected'"
}
expect_link() {  # link, target
  [ -L "$1" ] || { fail "$1 is not a symbolic link"; return; }
  [ "$(readlink "$1")" = "$2" ] || fail "$1 points at $(readlink "$1"), not $2"
}

# The six services and six timers, and the switch of each run kind.
units=()
for base in exporttotale exporttotale-listini exporttotale-promo; do
  for name in "$base" "$base@"; do units+=("$name.service" "$name.timer"); done
done
switch_of() {
  case $1 in exporttotale-listini*) echo " -p" ;; exporttotale-promo*) echo " -s" ;; *) echo "" ;; esac
}

# The installed tree under PREFIX whose configuration is in ETC and units in
# UNITDIR, as installed with PREFIX as its prefix; ROOT is where it lies on
# disk (empty, or the unpacked package).
check_tree() {  # root, prefix, etc, unitdir
  local root=$1 prefix=$2 etc=$3 unitdir=$4
  local lib=$root$prefix/lib/exporttotale
  for f in exporttotale exporttotale-admin exporttotale-cron; do
    expect_file "$lib/$f"
    [ -x "$lib/$f" ] || fail "$lib/$f is not executable"
  done
  expect_link "$root$prefix/bin/exporttotale" ../lib/exporttotale/exporttotale
  expect_link "$root$prefix/bin/exporttotale-admin" ../lib/exporttotale/exporttotale-admin
  expect_file "$root$etc/PARAMETRIQUORVANDELIX.INI"
  expect_link "$lib/PARAMETRIQUORVANDELIX.INI" "$etc/PARAMETRIQUORVANDELIX.INI"
  local doc=$root$prefix/share/doc/exporttotale
  for f in README.md copyright changelog.gz examples/PARAMETRIQUORVANDELIX.INI; do
    expect_file "$doc/$f"
  done
  for page in exporttotale exporttotale-admin; do
    local gz=$root$prefix/share/man/man1/$page.1.gz
    expect_file "$gz"
    # A NOME line that man's index reads.
    [[ "$(lexgrog "$gz" 2>&1)" == "$gz: \"$page - "* ]] ||
      fail "$page(1) has no name line: $(lexgrog "$gz" 2>&1)"
  done
  zcat "$root$prefix/share/man/man1/exporttotale.1.gz" | grep -q '^\.SH AMBIENTE' ||
    fail "exporttotale(1) lacks the section AMBIENTE"
  for unit in "${units[@]}"; do
    local file=$root$unitdir/$unit
    expect_file "$file"
    [ -f "$file" ] || continue
    case $unit in
      *.service)
        grep -qx "ExecStart=$prefix/bin/exporttotale$(switch_of "$unit")" "$file" ||
          fail "$unit does not start $prefix/bin/exporttotale$(switch_of "$unit")"
        for line in Type=oneshot User=exporttotale SuccessExitStatus=232 StandardInput=null \
                    TimeoutStartSec=4h ProtectSystem=strict StateDirectory=exporttotale; do
          grep -qx "$line" "$file" || fail "$unit lacks $line"
        done
        if [[ $unit == *@.service ]]; then
          grep -qx "Environment=EXPORTTOTALE_DIR=$etc/%i" "$file" ||
            fail "$unit does not run the installation $etc/%i"
        elif grep -q '^Environment=EXPORTTOTALE_DIR=' "$file"; then
          fail "$unit names an installation directory"
        fi
        ;;
      *.timer)
        grep -qx "WantedBy=timers.target" "$file" || fail "$unit has no [Install]"
        ;;
    esac
  done
  local extra
  extra=$(find "$root$prefix" -name '*_tests' -o -name 'exporttotale-fixture')
  [ -z "$extra" ] || fail "test programs installed: $extra"
}

# Programs of an installation run from where they lie (the package unpacked
# or installed by hand): versions, the Italian help, and the parameters file
# found through the link in the programs' directory.
check_programs() {  # the commands' directory, the programs' directory
  local bin=$1 lib=$2
  expect_output "exporttotale $version" 0 "$bin/exporttotale" --version
  expect_output "Uso: exporttotale [-p | -s]" 0 "$bin/exporttotale" --help
  expect_output "exporttotale-admin $version" 0 "$bin/exporttotale-admin" --version
  expect_output "Uso: exporttotale-admin" 0 "$bin/exporttotale-admin" --help
  # The example names a user database that is not there: the parameters
  # file is read, the next step fails.
  expect_output "file parametri $lib/PARAMETRIQUORVANDELIX.INI ... ok" 1 \
    env -u EXPORTTOTALE_DIR "$bin/exporttotale-admin" check
}

units_verify() {  # directory of the units; the rest: environment assignments
  local dir=$1; shift
  local out
  # Templates are verified as an instance, as systemd would load them.
  mkdir -p "$work/instances"
  rm -f "$work/instances"/*
  for unit in "${units[@]}"; do
    if [[ $unit == *@.* ]]; then
      ln -s "$dir/$unit" "$work/instances/${unit/@./@ditta2.}"
    else
      ln -s "$dir/$unit" "$work/instances/$unit"
    fi
  done
  out=$(cd "$work/instances" && env "$@" systemd-analyze verify ./* 2>&1) ||
    fail "systemd-analyze verify failed in $dir: $out"
  [ -z "$out" ] || fail "systemd-analyze verify in $dir: $out"
}

# 1. cmake --install
prefix=$work/prefix
"$cmake_cmd" --install "$build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
check_tree "" "$prefix" "$prefix/etc/exporttotale" "$prefix/lib/systemd/system"
check_programs "$prefix/bin" "$prefix/lib/exporttotale"
if command -v systemd-analyze >/dev/null; then
  units_verify "$prefix/lib/systemd/system" "MANPATH=$prefix/share/man"
fi
# A second install into the same prefix keeps the administrator's file.
echo "; edited" >>"$prefix/etc/exporttotale/PARAMETRIQUORVANDELIX.INI"
"$cmake_cmd" --install "$build" --prefix "$prefix" >"$work/install2.log" ||
  fail "the second cmake --install failed"
tail -n1 "$prefix/etc/exporttotale/PARAMETRIQUORVANDELIX.INI" | grep -qx "; edited" ||
  fail "a second cmake --install replaced the edited parameters file"

# 2. the Debian package, written into the work directory
"$cpack_cmd" --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(find "$work/deb" -maxdepth 1 -name 'exporttotale_*.deb' | head -n1)
if [ -z "$deb" ]; then
  fail "no package written"
else
  # lintian: no error and no warning (informational tags are fine).
  if command -v lintian >/dev/null; then
    lintian_status=0
    lintian_out=$(lintian --allow-root -I --fail-on error,warning "$deb" 2>&1) || lintian_status=$?
    [ "$lintian_status" -eq 0 ] || fail "lintian (status $lintian_status): $lintian_out"
    echo "package: lintian: $(printf "%s\n" "$lintian_out" | grep -c "^I: " || true) informational tag(s)"
  else
    fail "lintian is not installed (scripts/install-deps)"
  fi

  info=$(dpkg-deb -I "$deb")
  depends=$(printf '%s\n' "$info" | sed -n 's/^ Depends: //p')
  for dep in adduser libfbclient2 libcurl4; do
    [[ ", $depends," == *", $dep "* || ", $depends," == *", $dep,"* ]] ||
      fail "Depends '$depends' lacks $dep"
  done
  printf '%s\n' "$info" | grep -qx " Version: $version" || fail "package version is not $version"
  printf '%s\n' "$info" | grep -q '^ Maintainer: .*@.*\.' || fail "no maintainer address"
  mkdir "$work/control"
  dpkg-deb -e "$deb" "$work/control"
  [ "$(cat "$work/control/conffiles")" = /etc/exporttotale/PARAMETRIQUORVANDELIX.INI ] ||
    fail "conffiles: $(cat "$work/control/conffiles" 2>&1)"
  # Nothing enables or starts a unit on installation.
  if grep -rqs systemctl "$work/control"; then fail "a maintainer script calls systemctl"; fi
  grep -q 'adduser --quiet --system' "$work/control/postinst" || fail "postinst creates no system user"

  dpkg-deb -x "$deb" "$work/root"
  check_tree "$work/root" /usr /etc/exporttotale /lib/systemd/system
  [ ! -e "$work/root/opt" ] || fail "files under /opt"
  # Every shipped service rated 2.0 or lower (templates as an instance).
  if command -v systemd-analyze >/dev/null; then
    for unit in "${units[@]}"; do
      [[ $unit == *.service ]] || continue
      rating=$(systemd-analyze security --offline=true "$work/root/lib/systemd/system/$unit" 2>&1 |
               sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
      if [ -z "$rating" ]; then
        fail "no rating for $unit"
      elif ! awk -v r="$rating" 'BEGIN { exit !(r <= 2.0) }'; then
        fail "$unit rated $rating, above 2.0"
      else
        echo "package: $unit rated $rating"
      fi
    done
  else
    fail "systemd-analyze is not installed"
  fi
fi

# 3. installed, used, removed and purged, as root
state=/var/lib/exporttotale
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@"; }
packages_now() { dpkg-query -W -f '${Package} ${Status}\n' | sort; }
start_server() {  # name, command...: starts it and sets $port from its first line
  local name=$1; shift
  "$@" >"$work/$name.port" </dev/null &
  pids+=("$!")
  for _ in $(seq 1 100); do
    if [ -s "$work/$name.port" ]; then port=$(head -n1 "$work/$name.port"); return 0; fi
    sleep 0.1
  done
  fail "the $name server did not start"
  return 1
}

if [ -z "${deb:-}" ]; then
  :
elif [ "$(id -u)" -ne 0 ]; then
  echo "package: not root, so the package was not installed, removed or purged"
elif dpkg-query -W exporttotale >/dev/null 2>&1; then
  fail "exporttotale is known to dpkg already: install, remove and purge not tried"
else
  packages_before=$(packages_now)
  state_existed=no
  [ -d "$state" ] && state_existed=yes
  if [ "$state_existed" = no ]; then cleanups+=("rm -rf $state"); fi
  # Whatever happens below, the package goes.
  cleanups+=("dpkg-query -W exporttotale >/dev/null 2>&1 && apt_get purge exporttotale >/dev/null 2>&1")

  apt_get install --no-install-recommends "$deb" >"$work/apt-install.log" 2>&1 ||
    fail "apt-get install failed: $(cat "$work/apt-install.log")"
  [ "$(dpkg-query -W -f '${Status}' exporttotale)" = "install ok installed" ] ||
    fail "exporttotale is not installed"
  [ "$(comm -13 <(echo "$packages_before") <(packages_now) | cut -d' ' -f1)" = exporttotale ] ||
    fail "apt-get installed more than exporttotale"

  # The user, the state directory and the conffile's mode.
  IFS=: read -r _ _ uid _ _ home shell <<<"$(getent passwd exporttotale)" || true
  [ -n "${uid:-}" ] || fail "no user exporttotale"
  [ "${uid:-0}" -gt 0 ] && [ "${uid:-0}" -lt 1000 ] || fail "exporttotale is not a system user (uid ${uid:-})"
  [ "${home:-}" = "$state" ] || fail "home of exporttotale is ${home:-}"
  [ "${shell:-}" = /usr/sbin/nologin ] || fail "shell of exporttotale is ${shell:-}"
  [ "$(stat -c '%U:%G %a' "$state")" = "exporttotale:exporttotale 750" ] ||
    fail "$state is $(stat -c '%U:%G %a' "$state")"
  [ "$(stat -c '%U:%G %a' /etc/exporttotale/PARAMETRIQUORVANDELIX.INI)" = "root:exporttotale 640" ] ||
    fail "the parameters file is $(stat -c '%U:%G %a' /etc/exporttotale/PARAMETRIQUORVANDELIX.INI)"
  check_programs /usr/bin /usr/lib/exporttotale
  expect_output /usr/share/man/man1/exporttotale.1.gz 0 man -w exporttotale
  expect_output /usr/share/man/man1/exporttotale-admin.1.gz 0 man -w exporttotale-admin
  if ls /etc/systemd/system/*.wants/exporttotale* >/dev/null 2>&1; then
    fail "a unit was enabled: $(ls /etc/systemd/system/*.wants/exporttotale*)"
  fi
  units_verify /lib/systemd/system

  # A prepared installation: embedded databases in the state directory, the
  # web side on 127.0.0.1, configured with the installed administration
  # command through the conffile, as an administrator would.
  test_dir=$(mktemp -d "$state/package-test.XXXXXX")
  cleanups+=("rm -rf $test_dir")
  "$build/exporttotale-fixture" install "$test_dir" /usr/lib/exporttotale/exporttotale >/dev/null
  "$build/exporttotale-fixture" sample "$test_dir/dati/archivio.fdb" >/dev/null
  cat "$test_dir/bin/PARAMETRIQUORVANDELIX.INI" >/etc/exporttotale/PARAMETRIQUORVANDELIX.INI
  mkdir -p "$work/ftp/catalogo"
  start_server ftp "$py" "$source_dir/tests/servers/ftp_server.py" --root "$work/ftp" \
    --log "$work/ftp.log" --user catalogo:segreta:elradfmw && ftp_port=$port
  start_server http "$py" "$source_dir/tests/servers/http_server.py" --log "$work/http.log" &&
    http_port=$port
  exporttotale-admin set CAT_HOSTFTP "127.0.0.1:${ftp_port:-0}"
  exporttotale-admin set CAT_USERFTP catalogo
  printf 'segreta\n' | exporttotale-admin set CAT_PWDFTP --stdin
  exporttotale-admin set CAT_DIRFTP catalogo
  for key in CAT_SCRIPTGIACENZE:giacenze CAT_EXPPRVEN_SCRIPT:listini CAT_EXPPRVEN_SCRIPT2:clienti; do
    exporttotale-admin set "${key%%:*}" "http://127.0.0.1:${http_port:-0}/import/${key#*:}.php"
  done
  chown -R exporttotale:exporttotale "$test_dir"
  # The lock directory of the embedded engine, as the units set it.
  firebird_lock=$(sed -n 's/^Environment=FIREBIRD_LOCK=//p' /lib/systemd/system/exporttotale.service)
  case $firebird_lock in "$state"/*) ;; *) fail "FIREBIRD_LOCK=$firebird_lock is outside $state" ;; esac
  [ -e "$firebird_lock" ] || cleanups+=("rm -rf $firebird_lock")
  as_user() { runuser -u exporttotale -- env FIREBIRD_LOCK="$firebird_lock" "$@"; }

  expect_output "Controllo riuscito: nessun errore" 0 as_user exporttotale-admin check
  expect_output "file parametri /usr/lib/exporttotale/PARAMETRIQUORVANDELIX.INI ... ok" 0 \
    as_user exporttotale-admin check
  # The embedded engine is said to be a risk, not an error.
  expect_output "motore del database gestionale ... ATTENZIONE:" 0 as_user exporttotale-admin check
  # A second installation under /etc/exporttotale/INSTANCE/, as the template
  # units run it.
  mkdir /etc/exporttotale/ditta2
  cp /etc/exporttotale/PARAMETRIQUORVANDELIX.INI /etc/exporttotale/ditta2/
  chgrp exporttotale /etc/exporttotale/ditta2/PARAMETRIQUORVANDELIX.INI
  expect_output "file parametri /etc/exporttotale/ditta2/PARAMETRIQUORVANDELIX.INI ... ok" 0 \
    as_user env EXPORTTOTALE_DIR=/etc/exporttotale/ditta2 exporttotale-admin check -p

  # The stock run as exporttotale, the file system read-only but the state
  # directory.
  status=0
  runuser -u exporttotale -- bwrap --ro-bind / / --bind "$state" "$state" --proc /proc --dev /dev \
    --setenv FIREBIRD_LOCK "$firebird_lock" --unsetenv EXPORTTOTALE_DIR \
    /usr/bin/exporttotale </dev/null >"$work/run.out" 2>"$work/run.err" || status=$?
  [ "$status" -eq 232 ] ||
    fail "the sandboxed stock run exited $status: $(cat "$work/run.out" "$work/run.err")"
  csv=$test_dir/export/ESTRAZQ.CSV
  if [ -f "$csv" ]; then
    grep -qE $'^1;[^;]+;[0-9]+(\\.[0-9]+)?\r$' "$csv" || fail "ESTRAZQ.CSV holds no stock line"
    [ "$(stat -c %U "$csv")" = exporttotale ] || fail "ESTRAZQ.CSV is not the user's"
    cmp -s "$csv" "$work/ftp/catalogo/ESTRAZQ.CSV" || fail "the FTP server did not receive ESTRAZQ.CSV"
  else
    fail "the sandboxed stock run wrote no ESTRAZQ.CSV"
  fi
  grep -q '"path": "/import/giacenze.php"' "$work/http.log" 2>/dev/null ||
    fail "the stock trigger was not requested"
  [ ! -s "$test_dir/export/logQuorvandelix.txt" ] ||
    fail "the run logged: $(cat "$test_dir/export/logQuorvandelix.txt")"

  # Removed: configuration and data stay.
  apt_get remove exporttotale >"$work/apt-remove.log" 2>&1 || fail "apt-get remove failed"
  [ "$(dpkg-query -W -f '${Status}' exporttotale 2>&1)" = "deinstall ok config-files" ] ||
    fail "after remove: $(dpkg-query -W -f '${Status}' exporttotale 2>&1)"
  [ ! -e /usr/bin/exporttotale ] && [ ! -e /usr/lib/exporttotale ] ||
    fail "programs left after remove"
  grep -q "Utente=" /etc/exporttotale/PARAMETRIQUORVANDELIX.INI 2>/dev/null ||
    fail "remove took the configuration"
  [ -f "$csv" ] || fail "remove took the data"
  if man -w exporttotale >/dev/null 2>&1; then fail "man exporttotale still found after remove"; fi

  # Purged: the configuration goes, the data and the user stay.
  apt_get purge exporttotale >"$work/apt-purge.log" 2>&1 || fail "apt-get purge failed"
  if dpkg-query -W exporttotale >/dev/null 2>&1; then fail "dpkg still knows exporttotale"; fi
  [ ! -e /etc/exporttotale ] || fail "purge left /etc/exporttotale: $(find /etc/exporttotale)"
  [ -f "$csv" ] || fail "purge took the data"
  getent passwd exporttotale >/dev/null || fail "purge removed the user"

  # The machine as it was, apart from the user (and the state directory,
  # removed at exit when it was not there before).
  [ "$(packages_now)" = "$packages_before" ] || fail "the installed packages changed"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "package: all checks passed ($(basename "${deb:-none}"))"
