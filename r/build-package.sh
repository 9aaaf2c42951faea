#!/bin/sh
# Builds the source package of the R package kemro as a self-contained tarball:
# copies r/kemro into a temporary folder, adds the library's model/ and
# distribution/ sources to its src/, writes the version from the VERSION file
# into DESCRIPTION, generates the Rcpp glue and runs R CMD build there.
#
#   r/build-package.sh [OUTPUT_DIR]    (default: build/r; prints the tarball's path)
#
# The copied sources are never written into r/kemro itself.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"${repo}/build/r"}
mkdir -p "${out}"
out=$(cd "${out}" && pwd)

version=$(head -n 1 "${repo}/VERSION")
case "${version}" in
  [0-9]*.[0-9]*) ;;
  *) echo "build-package.sh: VERSION holds '${version}', not a version number" >&2; exit 1 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
cp -R "${repo}/r/kemro" "${work}/kemro"
pkg="${work}/kemro"
rm -f "${pkg}/src/Makevars" "${pkg}/src/"*.o "${pkg}/src/"*.so
# Each part with its subfolders (model/nested, model/fast), sources and headers only.
for part in model distribution; do
  (cd "${repo}" && find "${part}" -name '*.hpp' -o -name '*.cpp') | while read -r file; do
    mkdir -p "${pkg}/src/$(dirname "${file}")"
    cp "${repo}/${file}" "${pkg}/src/${file}"
  done
done
sed -i.bak "s/^Version: .*/Version: ${version}/" "${pkg}/DESCRIPTION"
rm -f "${pkg}/DESCRIPTION.bak"

Rscript -e 'Rcpp::compileAttributes(commandArgs(TRUE)[1])' "${pkg}" >/dev/null
(cd "${work}" && R CMD build --no-build-vignettes kemro >build.log 2>&1) || {
  cat "${work}/build.log" >&2
  exit 1
}
cp "${work}/kemro_${version}.tar.gz" "${out}/"
echo "${out}/kemro_${version}.tar.gz"
