#!/usr/bin/env bash
# install_test.sh - catches a package that lacks a file, installed programs and modules that cannot find their libraries or the control module, and a cabinet library that another project cannot build against with pkg-config or find_package.
# Usage: install_test.sh BUILD_DIR PREFIX LIBDIR MODULEDIR CONSUMER_SOURCE CABINET (the cabinet holds "limerick" alone)
set -euo pipefail
build=$1 prefix=$2 libdir=$3 moduledir=$4 consumer=$5 cabinet=$6
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset LD_LIBRARY_PATH
fail() {
  echo "install_test: $*" >&2
  exit 1
}

# The package as ./dev package makes it, unpacked into a scratch root.
cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$scratch"/package/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, found: ${debs[*]}"
dpkg-deb -x "${debs[0]}" "$scratch/root"
usr=$scratch/root$prefix

for file in bin/quillora bin/bundlex include/bundlex.h "$libdir/libbundlex.so.1" "$libdir/pkgconfig/bundlex.pc" \
            "$libdir/cmake/Bundlex/BundlexConfig.cmake" "$moduledir/quillora.ocx" "$moduledir/uninstall" \
            "$moduledir/libplatform_desktop.so"; do
  [ -f "$usr/$file" ] || fail "the package lacks $prefix/$file"
done
[ "$(readlink "$usr/$libdir/libbundlex.so")" = libbundlex.so.1 ] || fail "libbundlex.so does not link to its soname"
[ "$(objdump -p "$usr/$libdir/libbundlex.so.1" | awk '$1 == "SONAME" { print $2 }')" = libbundlex.so.1 ] ||
  fail "libbundlex.so.1 carries another soname"

# Every program and module finds each library it needs, and ours only inside the unpacked tree.
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file")" = $'\x7fELF' ] || continue
  resolved=$(ldd "$file") || fail "ldd failed on $file"
  if grep -q 'not found' <<<"$resolved"; then fail "$file: $(grep 'not found' <<<"$resolved")"; fi
  while read -r name _ path _; do
    case $name in
      libplatform_* | libquillora* | libbundlex*) [[ $path == "$scratch"/* ]] || fail "$file takes $name from $path" ;;
    esac
  done <<<"$resolved"
done < <(find "$scratch/root" -type f -print0)

# The installed quillora registers the control module beside it by default.
export QUILLORA_DATA_HOME=$scratch/data QUILLORA_UI=headless
"$usr/bin/quillora" register >"$scratch/register.out" || fail "quillora register failed"
grep -qF "$(realpath "$usr/$moduledir/quillora.ocx"): DllRegisterServer succeeded" "$scratch/register.out" ||
  fail "quillora registered another module: $(cat "$scratch/register.out")"

# sign_text EXIT RESULT: a page's request through the registered control ends as expected.
sign_text() {
  local status=0
  "$usr/bin/quillora" signText "text" >"$scratch/sign.out" 2>/dev/null || status=$?
  [ "$status" -eq "$1" ] && [ "$(cat "$scratch/sign.out")" = "$2" ] ||
    fail "signText: exit $status, '$(cat "$scratch/sign.out")', expected exit $1, '$2'"
}

# quillora install copies the control and the uninstaller into a folder of the user's and registers
# the copy, which answers a request (no certificate: error:noMatchingCert). The copies look for the
# platform's libraries where the package puts them, for which the unpacked tree stands in here.
for file in quillora.ocx uninstall; do
  runpath=$(readelf -d "$usr/$moduledir/$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ "$runpath" = "\$ORIGIN:$prefix/$moduledir" ] || fail "the RUNPATH of $file is $runpath"
done
export LD_LIBRARY_PATH=$usr/$moduledir
"$usr/bin/quillora" install --dir "$scratch/control" >/dev/null || fail "quillora install failed"
sign_text 3 error:noMatchingCert
QUILLORA_HEADLESS_ACTIONS=yes,ok "$scratch/control/uninstall" >"$scratch/uninstall.out" ||
  { cat "$scratch/uninstall.out"; fail "the installed control's uninstaller failed"; }
[ ! -e "$scratch/control/quillora.ocx" ] || fail "the uninstaller left quillora.ocx"
sign_text 1 ""
unset LD_LIBRARY_PATH

# Another project's C program, built once with pkg-config and once with find_package(Bundlex),
# extracts the cabinet.
export PKG_CONFIG_SYSROOT_DIR=$scratch/root PKG_CONFIG_LIBDIR=$usr/$libdir/pkgconfig
read -r -a flags <<<"$(pkg-config --cflags --libs bundlex)"
cc -std=c11 -Wall -Wextra -Werror "$consumer/extract_cabinet.c" "${flags[@]}" -o "$scratch/by_pkg_config"
cmake -S "$consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$usr" >"$scratch/consumer.log" 2>&1 &&
  cmake --build "$scratch/consumer" >>"$scratch/consumer.log" 2>&1 ||
  { cat "$scratch/consumer.log"; fail "the find_package(Bundlex) project did not build"; }
export LD_LIBRARY_PATH=$usr/$libdir
for program in "$scratch/by_pkg_config" "$scratch/consumer/extract_cabinet"; do
  out=$scratch/out-$(basename "$program")
  mkdir "$out"
  "$program" "$cabinet" "$out/" || fail "$program failed"
  sha256sum "$out/limerick" | grep -q '^b73f646efdd62a1d' || fail "$program extracted a wrong limerick"
done
echo "install_test: the package installs and works from $scratch/root"
