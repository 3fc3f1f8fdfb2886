#!/usr/bin/env bash
# What a user of the Linux library gets, tried as they would: install the
# build into a scratch prefix, build examples/consumer against it through
# find_package and through pkg-config, run both and read the bitmap with
# Pillow; then build the Debian package, check its file list and Depends,
# unpack it with dpkg -x and use the command and the library from there.
#   install_test.sh BUILD-FOLDER SOURCE-FOLDER
set -uo pipefail
build=$1 source=$2
python=/usr/bin/python3  # Debian's, with Debian's Pillow
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
quiet() { "$@" >"$scratch/log" 2>&1 || { cat "$scratch/log"; return 1; }; }

# The files a user's build needs, below an installed prefix ($1) with the
# library folder $2.
check_tree() {
  local root=$1 libdir=$2 f
  for f in bin/lumarin include/lumarin/synapse.hpp include/lumarin/error.hpp include/lumarin/types.hpp \
    include/lumarin/variant.hpp include/lumarin/save_options.hpp include/lumarin/printer.hpp "$libdir/liblumarin.a" "$libdir/cmake/Lumarin/LumarinConfig.cmake" \
    "$libdir/cmake/Lumarin/LumarinConfigVersion.cmake" "$libdir/pkgconfig/lumarin.pc" share/man/man1/lumarin.1 \
    share/doc/lumarin/copyright; do
    [ -f "$root/$f" ] || fail "$root: $f is missing"
  done
  # Debian's machine-readable format: its header, then a Files paragraph
  # with Copyright and License.
  local copyright=$root/share/doc/lumarin/copyright
  if [ -f "$copyright" ]; then
    head -n1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
      fail "$copyright: not in the machine-readable format"
    for field in 'Files: \*' 'Copyright: .' 'License: .'; do
      grep -q "^$field" "$copyright" || fail "$copyright: no '$field' field"
    done
  fi
  # Nothing of the library's insides: users include what include/lumarin has.
  [ -z "$(find "$root/include" -path '*/lumarin/*' ! -name '*.hpp')" ] || fail "$root/include holds more than headers"
  [ ! -e "$root/include/surface" ] && [ ! -e "$root/include/renderer" ] || fail "$root: private headers installed"
}

# Builds the consumer against the tree at $1 both ways, runs both and checks
# that they wrote the same 1-bit bitmap with the two lines on it.
check_consumer() {
  local prefix=$1 libdir=$2 name=$3
  local out=$scratch/$name
  mkdir -p "$out"
  quiet cmake -S "$source/examples/consumer" -B "$out/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" ||
    fail "$name: configuring the consumer with find_package"
  quiet cmake --build "$out/cmake" || fail "$name: building the consumer with find_package"
  quiet "$out/cmake/hello" "$out/cmake.bmp" || fail "$name: the find_package consumer failed"
  quiet "$out/cmake/receipt" "$out/receipt.bmp" "$out/receipt.bin" || fail "$name: the find_package receipt failed"
  [ "$(head -c 2 "$out/receipt.bin" | od -An -tx1 | tr -d ' ')" = 1b40 ] ||
    fail "$name: the receipt's printer bytes do not start with the initialise command"
  # pkg-config, with no C++ standard but the one the user names.
  local flags
  if flags=$(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs lumarin); then
    # shellcheck disable=SC2086
    quiet g++ -std=c++20 "$source/examples/consumer/hello.cpp" $flags -o "$out/hello-pc" ||
      fail "$name: building the consumer with pkg-config"
    quiet "$out/hello-pc" "$out/pkg-config.bmp" || fail "$name: the pkg-config consumer failed"
    cmp -s "$out/cmake.bmp" "$out/pkg-config.bmp" || fail "$name: the two consumers wrote different files"
    quiet g++ -std=c++20 "$source/examples/consumer/receipt.cpp" $flags -o "$out/receipt-pc" ||
      fail "$name: building the receipt with pkg-config"
    quiet "$out/receipt-pc" "$out/receipt-pc.bmp" || fail "$name: the pkg-config receipt failed"
    cmp -s "$out/receipt.bmp" "$out/receipt-pc.bmp" || fail "$name: the two receipts differ"
  else
    fail "$name: pkg-config does not find lumarin"
  fi
  "$python" - "$out/cmake.bmp" <<'EOF' || fail "$name: the consumer's bitmap"
import sys
from PIL import Image
image = Image.open(sys.argv[1])
assert image.format == "BMP" and image.mode == "1", (image.format, image.mode)
w, h = image.size
# 22 columns of 8 px and 4 px margins; lines 16 px apart, the first at
# 4 + 16 px.
assert (w, h) == (184, 77), image.size
ink = [y for y in range(h) if any(image.getpixel((x, y)) == 0 for x in range(w))]
assert any(20 <= y < 36 for y in ink) and any(36 <= y < 52 for y in ink), ink
print("consumer bitmap:", image.size, image.mode, "ink rows", ink[0], "to", ink[-1])
EOF
  "$python" - "$out/receipt.bmp" <<'EOF' || fail "$name: the consumer's receipt"
import sys
from PIL import Image
image = Image.open(sys.argv[1])
assert image.format == "BMP" and image.mode == "1" and image.width == 576, (image.format, image.mode, image.size)
w, h = image.size
# Bands of rows with ink: the five lines, the last wrapped onto two.
bands, last = [], None
for y in range(h):
    xs = [x for x in range(w) if image.getpixel((x, y)) == 0]
    if xs:
        if last == y - 1:
            bands[-1] = (min(bands[-1][0], xs[0]), max(bands[-1][1], xs[-1]))
        else:
            bands.append((xs[0], xs[-1]))
        last = y
assert len(bands) == 6, bands
# The prices end together, near the right margin.
assert bands[1][1] == bands[2][1] == bands[3][1] and bands[1][1] >= 576 - 4 - 3, bands
print("consumer receipt:", image.size, "lines", len(bands))
EOF
}

# 1. cmake --install into a prefix.
prefix=$scratch/prefix
quiet cmake --install "$build" --prefix "$prefix" || fail "cmake --install"
libdir=$(cd "$prefix" && find . -name liblumarin.a -printf '%h\n' | sed 's#^\./##' | head -n1)
check_tree "$prefix" "${libdir:-lib}"
check_consumer "$prefix" "${libdir:-lib}" installed
"$prefix/bin/lumarin" --version | grep -qx 'lumarin [0-9.]*' || fail "the installed command's --version"
grep -q '^\.SH NAME' "$prefix/share/man/man1/lumarin.1" || fail "the man page has no NAME section"

# The Python module at $1 (a folder for PYTHONPATH), imported from outside
# the tree, drawing and saving a picture.
check_python() {
  local folder=$1 name=$2
  if [ -z "$(ls "$folder"/lumarin/_lumarin*.so 2>/dev/null)" ] || [ ! -f "$folder/lumarin/__init__.pyi" ]; then
    fail "$name: the Python module or its stub is missing from $folder"
    return
  fi
  (cd / && PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$folder" "$python" - "$folder" "$scratch/$name-python.png") <<'EOF' ||
import sys
import lumarin
assert lumarin.__file__.startswith(sys.argv[1]), lumarin.__file__
picture = lumarin.render("Total\t12.50", tabs="r:end", width=300)
picture.save(sys.argv[2])
from PIL import Image
assert Image.open(sys.argv[2]).size == (300, picture.height)
print("python module:", lumarin.__file__, picture)
EOF
    fail "$name: importing and using the Python module"
}

if [ -f "$build/python/lumarin/__init__.py" ]; then
  check_python "$(ls -d "$prefix"/lib/python3*/dist-packages | head -n1)" installed
  # pip, from a copy of the tree's files, into a folder of its own.
  mkdir -p "$scratch/tree"
  (cd "$source" && git ls-files -z | xargs -0 tar -cf -) | tar -xf - -C "$scratch/tree" ||
    fail "copying the tree for pip"
  if quiet "$python" -m pip install --no-build-isolation --no-index --target "$scratch/pip" "$scratch/tree"; then
    check_python "$scratch/pip" pip
  else
    fail "pip install --no-build-isolation of the tree"
  fi
fi

# 2. The Debian package.
if quiet cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake"; then
  deb=$(ls "$scratch"/package/lumarin_*.deb 2>/dev/null | head -n1)
  [ -n "$deb" ] || fail "cpack made no lumarin_*.deb"
fi
if [ -n "${deb:-}" ]; then
  listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
  for f in ./usr/bin/lumarin ./usr/include/lumarin/synapse.hpp ./usr/lib/liblumarin.a \
    ./usr/lib/cmake/Lumarin/LumarinConfig.cmake ./usr/lib/pkgconfig/lumarin.pc ./usr/share/man/man1/lumarin.1 \
    ./usr/share/doc/lumarin/copyright; do
    grep -qx "$f" <<<"$listing" || fail "the package lacks $f"
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libstdc++6 libpango-1.0-0 libpangocairo-1.0-0 libcairo2; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
  done
  echo "package: $(basename "$deb"); Depends: $depends"
  root=$scratch/root
  dpkg -x "$deb" "$root" || fail "dpkg -x"
  check_tree "$root/usr" lib
  "$root/usr/bin/lumarin" --version >/dev/null || fail "the packaged command does not run"
  check_consumer "$root/usr" lib packaged
  if [ -f "$build/python/lumarin/__init__.py" ]; then
    grep -q '^\./usr/lib/python3/dist-packages/lumarin/_lumarin.*\.so$' <<<"$listing" ||
      fail "the package lacks the Python module"
    check_python "$root/usr/lib/python3/dist-packages" packaged
  fi
fi

echo "install and package checks: $failures failure(s)"
[ "$failures" -eq 0 ]
