#!/usr/bin/env bash
# The WebAssembly libraries (run by the web build's ctest with the prefix
# scripts/build-web-libs filled): a second run builds nothing, every library
# comes from the source of the version installed for the desktop build (or,
# where the mirrors moved on, a later Debian revision of the same upstream
# release), with Debian's patches, and in the configuration the reader needs.
set -euo pipefail
prefix=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

# Cached: nothing is fetched or built again.
start=$(date +%s)
output=$("$here/scripts/build-web-libs" "$prefix" 2>&1) || fail "second run failed: $output"
[ -z "$output" ] || fail "second run was not silent: $output"
[ $(($(date +%s) - start)) -lt 30 ] || fail "second run took $(($(date +%s) - start)) s"

# Versions: the stamp's first line names the installed source version, its
# second the version built.
for entry in zlib:zlib1g-dev libpng:libpng-dev freetype:libfreetype-dev \
  libjpeg-turbo:libjpeg62-turbo-dev libxmp:libxmp-dev googletest:googletest; do
  name=${entry%%:*} package=${entry#*:}
  installed=$(dpkg-query -W -f='${source:Package} ${source:Version}' "$package")
  stamp=$prefix/stamps/$name
  [ -f "$stamp" ] || fail "no stamp for $name"
  read -r source version _ <"$stamp"
  [ "$source $version" = "$installed" ] || fail "$name stamp says $source $version, installed is $installed"
  built=$(sed -n '2s/^built from [^ ]* \([^ ]*\) in .*/\1/p' "$stamp")
  [ "$built" = "$version" ] || [ "${built%-*}" = "${version%-*}" ] ||
    fail "$name built from $built, not from upstream release ${version%-*}"
done

# libjpeg-turbo: the 6b interface without the x86 SIMD code.
grep -q '^#define JPEG_LIB_VERSION  *62$' "$prefix/include/jconfig.h" || fail "libjpeg is not the 6b interface"
! grep -q '^#define WITH_SIMD' "$prefix/include/jconfig.h" || fail "libjpeg built with SIMD"
# FreeType: Debian's patches applied (subpixel rendering is theirs), no
# dependency but zlib.
option=$prefix/include/freetype2/freetype/config/ftoption.h
grep -q '^#define FT_CONFIG_OPTION_SUBPIXEL_RENDERING' "$option" || fail "FreeType without Debian's patches"
for dependency in PNG HARFBUZZ BROTLI BZIP2; do
  ! grep -q "^#define FT_CONFIG_OPTION_USE_$dependency" "$option" || fail "FreeType uses $dependency"
done
echo "web libraries: cached, versions and configuration as expected"
