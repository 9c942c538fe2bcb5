#!/usr/bin/env bash
# Builds the Debian packages of a built tree (a top-level shared-library build), without
# debhelper and without touching anything outside the build folder:
#
#   scripts/package/build-deb.sh <build dir> [<output dir>]     (default output: <build dir>/packages)
#
# For each package that cmake/debian.cmake listed in <build>/debian/packages: installs its CMake
# components into a staging root, strips them, adds copyright, changelog.Debian.gz and lintian
# overrides, compresses man pages, sets the modes Debian expects, computes Depends (dpkg-shlibdeps) and
# Installed-Size, writes md5sums, shlibs and triggers, and calls dpkg-deb. Prints the paths of
# the packages it wrote. Needs dpkg-dev; check the result with lintian.
set -euo pipefail

[[ $# -ge 1 && $# -le 2 ]] || { echo "usage: build-deb.sh <build dir> [<output dir>]" >&2; exit 2; }
build=$(cd "$1" && pwd)
out=${2:-$build/packages}
meta=$build/debian
if [[ ! -f $meta/packages ]]; then
  echo "build-deb: $meta/packages is missing: configure a top-level shared-library build" \
       "with NIMBREL_TAVIK_UTIL_INSTALL on, and build it" >&2
  exit 1
fi
version=$(<"$meta/version")
changelog_version=$(dpkg-parsechangelog -l "$meta/changelog" -S Version)
if [[ $changelog_version != "$version" ]]; then
  echo "build-deb: the newest entry of cmake/debian/changelog.in is $changelog_version," \
       "the packages are $version: add an entry for $version" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)

work=$build/deb-staging
rm -rf "$work"
mkdir -p "$work/source/debian" "$out"
# dpkg-shlibdeps runs inside a source tree; shlibs.local says which package provides our own
# library, for programs in other packages that link it.
: >"$work/source/debian/control"
cat "$meta"/*/shlibs >"$work/source/debian/shlibs.local"

is_elf() { [[ $(head -c 4 "$1" | od -An -c | tr -d ' ') == '177ELF' ]]; }

lib_dirs=()
while read -r pkg components; do
  stage=$work/$pkg
  for component in $components; do
    cmake --install "$build" --component "$component" --prefix "$stage/usr" >/dev/null
  done

  # Python modules go where Debian's python3 packages keep them, whatever the interpreter's own
  # folder for local installs (as dh_python3 moves them).
  for site in "$stage"/usr/lib/python3.*/dist-packages "$stage"/usr/lib/python3.*/site-packages; do
    [[ -d $site ]] || continue
    mkdir -p "$stage/usr/lib/python3/dist-packages"
    cp -a "$site"/. "$stage/usr/lib/python3/dist-packages/"
    rm -rf "$(dirname "$site")"
  done

  doc=$stage/usr/share/doc/$pkg
  mkdir -p "$doc"
  cp "$meta/copyright" "$doc/copyright"
  if [[ -f $meta/$pkg/lintian-overrides ]]; then
    mkdir -p "$stage/usr/share/lintian/overrides"
    cp "$meta/$pkg/lintian-overrides" "$stage/usr/share/lintian/overrides/$pkg"
  fi
  # -n: no name or time stamp, so that the file is the same on every architecture (Multi-Arch).
  gzip -9n <"$meta/changelog" >"$doc/changelog.Debian.gz"
  if [[ -d $stage/usr/share/man ]]; then
    find "$stage/usr/share/man" -type f ! -name '*.gz' -exec gzip -9n {} +
  fi

  # Modes as dh_fixperms sets them: shared libraries are not executable, programs are.
  find "$stage" -type d -exec chmod 755 {} +
  find "$stage" -type f -exec chmod 644 {} +
  if [[ -d $stage/usr/bin ]]; then find "$stage/usr/bin" -type f -exec chmod 755 {} +; fi

  # Stripped as dh_strip does: no symbol table, no compiler notes; libraries keep only what
  # dynamic linking needs.
  elf=()
  while IFS= read -r -d '' f; do
    if is_elf "$f"; then elf+=("$f"); fi
  done < <(find "$stage" -type f -print0)
  for f in "${elf[@]}"; do
    case $f in
      *.so | *.so.*) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$f" ;;
      *) strip --remove-section=.comment --remove-section=.note "$f" ;;
    esac
  done
  while IFS= read -r -d '' d; do lib_dirs+=("-l$d"); done \
    < <(find "$stage/usr/lib" -maxdepth 2 -name 'lib*.so.*' -printf '%h\0' 2>/dev/null | sort -zu)
  shlibs_depends=""
  if ((${#elf[@]})); then
    shlibs_depends=$(cd "$work/source" &&
      dpkg-shlibdeps -O -x"$pkg" "${lib_dirs[@]}" "${elf[@]}" 2>"$work/shlibdeps-$pkg.log" |
      sed -n 's/^shlibs:Depends=//p')
  fi

  mkdir -p "$stage/DEBIAN"
  for f in shlibs triggers; do
    if [[ -f $meta/$pkg/$f ]]; then cp "$meta/$pkg/$f" "$stage/DEBIAN/$f"; fi
  done
  (cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0r md5sum) \
    >"$stage/DEBIAN/md5sums"
  size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)

  control=$(<"$meta/$pkg/control")
  # The placeholders are literal text in the control templates.
  # shellcheck disable=SC2016
  {
    control=${control//'${Architecture}'/$arch}
    control=${control//'${Installed-Size}'/$size}
    control=${control//'${shlibs:Depends}'/$shlibs_depends}
  }
  # A Depends field left empty (no ELF file) or ending in a comma loses the gap.
  printf '%s\n' "$control" | sed -E -e 's/^(Depends:.*), *$/\1/' -e '/^Depends: *$/d' \
    >"$stage/DEBIAN/control"
  find "$stage/DEBIAN" -type f -exec chmod 644 {} +

  file=$out/${pkg}_${version}_${arch}.deb
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$file" >/dev/null
  echo "$file"
done <"$meta/packages"
