#!/usr/bin/env bash
# Builds the libraries under the picture decoders (zlib, libpng,
# libjpeg-turbo, giflib, libwmf, libuemf, libemf2svg, libde265, libheif,
# libwebp, brotli, highway, libjxl, LibRaw) and the help reader (chmlib,
# for its LZX decoder) from their Debian
# sources with clang 14, instrumented for libFuzzer's coverage and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer, as shared libraries in a
# private prefix (default build/fuzz-libs/prefix). scripts/fuzz.sh links the
# fuzz targets against that prefix when it exists, so the fuzzer sees
# coverage inside the libraries and the sanitizers check them; the regular
# build and the tests never use it.
#   scripts/fuzz_libs.sh [OUT]        (OUT: default build/fuzz-libs)
#
# Sources come from bookworm (and bookworm-security) through a private apt
# state, so the system's apt configuration is left as it is. Per package the
# newest version whose files the archive still serves is taken; where
# bookworm's files are gone from the archive the package falls back to
# trixie's. The versions built are written to OUT/prefix/VERSIONS.
#
# Qt stays the system build: Qt's ICO and SVG code and the fonts stack
# (freetype, fontconfig) are not instrumented. Qt's own PNG and JPEG readers
# (icons with PNG entries) load the instrumented libpng, since the fuzz
# targets carry the prefix as their RPATH.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(mkdir -p "${1:-$here/build/fuzz-libs}" && cd "${1:-$here/build/fuzz-libs}" && pwd)"
prefix="$out/prefix"
jobs=2

# --- tools -------------------------------------------------------------------
need=(clang-14 llvm-14 dpkg-dev autoconf automake libtool make cmake pkg-config xz-utils
      libfreetype-dev libfontconfig-dev libexpat1-dev ca-certificates libdav1d-dev liblcms2-dev)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# --- sources -----------------------------------------------------------------
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
aptdir="$out/apt"
srcdir="$out/src"
mkdir -p "$srcdir"
apt_state() {  # apt_state NAME LINES...: a private apt state with those deb-src lines
  local dir="$aptdir/$1"; shift
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
  printf '%s\n' "$@" > "$dir/sources.list"
  local o=(-o "Dir::Etc::SourceList=$dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
           -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache"
           -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Sandbox::User=root)
  apt-get "${o[@]}" -qq update
  printf '%s\n' "${o[@]}" > "$dir/options"
}
apt_state bookworm \
  "deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main" \
  "deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main" \
  "deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main"
apt_state trixie "deb-src [signed-by=$keyring] http://deb.debian.org/debian trixie main"

# fetch PACKAGE: unpacks the newest version that downloads (Debian patches
# applied) and prints its folder.
fetch() {
  local pkg="$1" suite version dir
  local -a o
  for suite in bookworm trixie; do
    mapfile -t o < "$aptdir/$suite/options"
    for version in $(apt-cache "${o[@]}" showsrc --only-source "$pkg" | awk '/^Version:/ {print $2}' | sort -uVr); do
      dir="$srcdir/$pkg-${version#*:}"  # no epoch colon: make takes it for a rule
      if [ -f "$dir/.unpacked" ]; then echo "$dir"; return; fi
      rm -rf "$dir" "$dir.tmp" && mkdir -p "$dir.tmp"
      if (cd "$dir.tmp" && apt-get "${o[@]}" -qq source --only-source "$pkg=$version" >/dev/null 2>&1); then
        local tree
        tree="$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -n1)"
        mv "$tree" "$dir" && rm -rf "$dir.tmp" && touch "$dir/.unpacked"
        echo "$pkg $version ($suite)" >> "$srcdir/VERSIONS"
        echo "$dir"
        return
      fi
      echo "  $pkg $version ($suite): not served, trying the next" >&2
      rm -rf "$dir.tmp"
    done
  done
  echo "no source of $pkg could be fetched" >&2
  return 1
}

# --- build -------------------------------------------------------------------
export CC=clang-14 CXX=clang++-14 AR=llvm-ar-14 RANLIB=llvm-ranlib-14 NM=llvm-nm-14
san="-fsanitize=fuzzer-no-link,address,undefined"
export CFLAGS="-g -O1 -fno-omit-frame-pointer $san"
export CXXFLAGS="$CFLAGS"
export CPPFLAGS="-I$prefix/include"
export LDFLAGS="-fsanitize=address,undefined -L$prefix/lib -Wl,-rpath,$prefix/lib"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# Configure's test programs run instrumented: their exit leaks are no news.
export ASAN_OPTIONS=detect_leaks=0
mkdir -p "$prefix"
log="$out/logs"
mkdir -p "$log"

step() {  # step NAME COMMANDS...: runs once, logging to logs/NAME.log
  local name="$1"; shift
  if [ -f "$out/.done-$name" ]; then echo "$name: already built"; return; fi
  echo "$name: building (log: $log/$name.log)"
  local rc=0
  # A subshell outside any condition, so that errexit holds inside it.
  ( set -e; "$@" ) > "$log/$name.log" 2>&1 || rc=$?
  if [ "$rc" != 0 ]; then
    tail -n 30 "$log/$name.log" >&2
    echo "$name: failed" >&2
    exit 1
  fi
  touch "$out/.done-$name"
}

cmake_lib() {  # cmake_lib SOURCE OPTIONS...
  local src="$1"; shift
  rm -rf "$src/_build"
  cmake -S "$src" -B "$src/_build" -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$CFLAGS" \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
    -DCMAKE_INSTALL_RPATH="$prefix/lib" -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON "$@"
  cmake --build "$src/_build" --parallel "$jobs"
  cmake --install "$src/_build"
}

build_zlib() {
  local src; src="$(fetch zlib)"
  cd "$src" && ./configure --prefix="$prefix" && make -j"$jobs" && make install
}

build_png() {
  local src; src="$(fetch libpng1.6)"
  cd "$src" && ./configure --prefix="$prefix" --disable-static && make -j"$jobs" && make install
}

build_jpeg() {
  local src; src="$(fetch libjpeg-turbo)"
  # The C code paths instead of the SIMD assembly, which is not instrumented.
  cmake_lib "$src" -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF
}

build_gif() {
  local src; src="$(fetch giflib)"
  cd "$src"
  make -j"$jobs" libgif.so OFLAGS="$CFLAGS" LDFLAGS="$LDFLAGS"
  install -d "$prefix/include" "$prefix/lib"
  install -m 644 gif_lib.h "$prefix/include/"
  install -m 755 libgif.so "$prefix/lib/libgif.so.7.2.0"
  ln -sf libgif.so.7.2.0 "$prefix/lib/libgif.so.7"
  ln -sf libgif.so.7 "$prefix/lib/libgif.so"
}

build_wmf() {
  local src; src="$(fetch libwmf)"
  cd "$src"
  # As Debian configures it (font paths), against the prefix's libraries.
  autoreconf -f -i -Ipatches
  ./configure --prefix="$prefix" --disable-static --without-x \
    --with-zlib="$prefix" --with-png="$prefix" --with-jpeg="$prefix" \
    --with-fontdir=/non-existent --with-gsfontdir=/usr/share/fonts/type1/urw-base35 \
    --with-sysfontmap=/non-existent --with-gsfontmap=/var/lib/ghostscript/fonts/Fontmap \
    --with-xtrafontmap=/etc/libwmf.fontmap
  make -j"$jobs"
  make install
}

build_uemf() {
  local src; src="$(fetch libuemf)"
  cmake_lib "$src" -DCMAKE_POLICY_DEFAULT_CMP0042=NEW
}

build_emf2svg() {
  local src; src="$(fetch libemf2svg)"
  cmake_lib "$src"
}

build_de265() {
  local src; src="$(fetch libde265)"
  # The C++ paths instead of the SSE intrinsics' dispatch, and no tools.
  cmake_lib "$src" -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF -DDISABLE_SSE=ON
}

build_heif() {
  local src; src="$(fetch libheif)"
  # HEVC through the instrumented libde265; AV1 through the system's dav1d
  # (not instrumented); no encoders, examples or tests.
  cmake_lib "$src" -DWITH_LIBDE265=ON -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF \
    -DWITH_DAV1D=ON -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF -DWITH_EXAMPLES=OFF -DBUILD_TESTING=OFF \
    -DWITH_GDK_PIXBUF=OFF -DENABLE_PLUGIN_LOADING=OFF
}

build_webp() {
  local src; src="$(fetch libwebp)"
  cmake_lib "$src" -DBUILD_SHARED_LIBS=ON -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
}

build_brotli() {
  local src; src="$(fetch brotli)"
  cmake_lib "$src" -DBUILD_SHARED_LIBS=ON -DBROTLI_DISABLE_TESTS=ON
}

build_hwy() {
  local src; src="$(fetch highway)"
  cmake_lib "$src" -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF -DHWY_ENABLE_EXAMPLES=OFF -DHWY_ENABLE_CONTRIB=OFF
}

build_jxl() {
  local src; src="$(fetch jpeg-xl)"
  # Against the instrumented brotli and highway; colour management by the
  # system's lcms2.
  cmake_lib "$src" -DBUILD_TESTING=OFF -DJPEGXL_ENABLE_TOOLS=OFF -DJPEGXL_ENABLE_BENCHMARK=OFF \
    -DJPEGXL_ENABLE_EXAMPLES=OFF -DJPEGXL_ENABLE_MANPAGES=OFF -DJPEGXL_ENABLE_JNI=OFF -DJPEGXL_ENABLE_SJPEG=OFF \
    -DJPEGXL_ENABLE_OPENEXR=OFF -DJPEGXL_ENABLE_PLUGINS=OFF -DJPEGXL_ENABLE_DOXYGEN=OFF \
    -DJPEGXL_ENABLE_SKCMS=OFF -DJPEGXL_FORCE_SYSTEM_BROTLI=ON -DJPEGXL_FORCE_SYSTEM_HWY=ON \
    -DJPEGXL_FORCE_SYSTEM_LCMS2=ON -DJPEGXL_ENABLE_FUZZERS=OFF -DJPEGXL_ENABLE_DEVTOOLS=OFF
}

build_raw() {
  local src; src="$(fetch libraw)"
  cd "$src"
  autoreconf -f -i
  ./configure --prefix="$prefix" --disable-static --disable-openmp --disable-examples --disable-jasper \
    --disable-jpeg --enable-lcms
  make -j"$jobs"
  make install
}

build_chm() {
  local src; src="$(fetch chmlib)"
  cd "$src" && autoreconf -f -i && ./configure --prefix="$prefix" --disable-static && make -j"$jobs" && make install
}

step zlib build_zlib
step libpng build_png
step libjpeg build_jpeg
step giflib build_gif
step libwmf build_wmf
step libuemf build_uemf
step libemf2svg build_emf2svg
step libde265 build_de265
step libheif build_heif
step libwebp build_webp
step brotli build_brotli
step highway build_hwy
step libjxl build_jxl
step libraw build_raw
step chmlib build_chm
[ -f "$srcdir/VERSIONS" ] && sort -u "$srcdir/VERSIONS" > "$prefix/VERSIONS"
echo "Instrumented libraries in $prefix:"
ls "$prefix/lib"/*.so.* 2>/dev/null | sed 's/^/  /'
