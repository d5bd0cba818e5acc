#!/bin/sh
# Copies the C++ sources the package compiles into the package:
#   tools/vendor.sh [REPO [PACKAGE]]
# REPO is the repository's root (default: the folder above the package),
# PACKAGE the package's folder (default: the one of this script). Into
# PACKAGE/src/vendor go the engine's folders, the public headers (with the
# version header made from its template), the presentation layer and the
# sequential BLAS of the web page; into PACKAGE/inst/extdata the published
# example that the help pages use. They are copied as plain files, not
# linked: R CMD build packs the package's own folder alone, and a tarball
# checked elsewhere has no repository beside it.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
repo=$(cd "${1:-$here/..}" && pwd)
package=$(cd "${2:-$here}" && pwd)
dest=$package/src/vendor
if [ ! -f "$repo/include/fourfifths/pareto.h" ] || [ ! -f "$repo/CMakeLists.txt" ]; then
  echo "vendor.sh: $repo is not the fourfifths repository" >&2
  exit 1
fi
rm -rf "$dest"
mkdir -p "$dest/include/fourfifths" "$dest/blas"
for folder in recordio numeric analysis pareto observed present; do
  mkdir -p "$dest/$folder"
  cp "$repo/$folder"/*.h "$repo/$folder"/*.cc "$dest/$folder/"
done
cp "$repo/include/fourfifths"/*.h "$dest/include/fourfifths/"
# The BLAS routines the engine calls, as plain loops that give the reference
# BLAS's results bit for bit, whatever BLAS R was linked with (and R's own
# has no C interface).
cp "$repo/web/blas/cblas.h" "$repo/web/blas/cblas.cc" "$dest/blas/"
# The version, from the project's (as CMake's configure_file makes it).
version=$(sed -n 's/^project(fourfifths VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
major=${version%%.*}
rest=${version#*.}
minor=${rest%%.*}
patch=${rest#*.}
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" \
  -e "s/@PROJECT_VERSION_PATCH@/$patch/" -e "s/@PROJECT_VERSION@/$version/" \
  "$repo/include/fourfifths/version.h.in" > "$dest/include/fourfifths/version.h"
mkdir -p "$package/inst/extdata"
cp "$repo/examples/published_four_predictors.json" "$package/inst/extdata/"
