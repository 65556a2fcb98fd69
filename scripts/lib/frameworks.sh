# Sourced by the scripts that need files from pinned npm packages: the framework stylesheets
# and the string-heavy ones (the benchmarks in bench/ and the browser check; fetch_frameworks
# fills framework_files, make_layered_file builds a benchmark input from them) and the
# tokenizer test corpus (the tokenizer check; fetch_tokenizer_corpus sets tokenizer_corpus). The tarballs come straight from the npm registry over HTTPS with
# curl (no node or npm needed) and each must match the SHA-256 written below before anything
# is taken from it. Needs install_missing (scripts/lib/install-missing.sh) sourced first.

# package version path-of-the-stylesheet-in-the-tarball sha256-of-the-tarball. These are
# the built, unminified stylesheets; the order is the order of the copies in the peer
# comparison's framework files. The checksums were taken from tarballs whose SHA-512
# matched the registry's own integrity field.
frameworks=(
  "bootstrap 5.3.9 dist/css/bootstrap.css 06bdf78289c3c12ea99d40df84eedf6278c724c73eebf38f11f3a65b44ec8c94"
  "bulma 1.0.4 css/bulma.css 4a3669880f72a69d13c34eafc294073ca106927e3ca8c534f56828a837b99105"
  "foundation-sites 6.9.0 dist/css/foundation.css 947855ed0db6ee70ea7904d428a599fb1b010d9a2fbb8a981cc5bf762f53aad5"
  "normalize.css 8.0.1 normalize.css 5cc172e0d5d062bc2a1a4bf85443e2eb260d3720e16527a0c1ac03b642f1de39"
  "animate.css 4.1.1 animate.css c51565d3706f687a14b5d919a9743a2feb45d7b7915823d67e6a3ab30759fa75"
  "@fortawesome/fontawesome-free 7.3.1 css/all.css ca4e32843bd81711894385c2466fb19c55cfd32ef3c58830b2d1df7bd42e6571"
  "purecss 3.1.0 build/pure.css 6243df3042d7851a1857474d4debc4f57fe713074c4dc3189ed9a35b6b52ce24"
)

# Stylesheets chosen for their strings and escapes, the second real-world benchmark input:
# icon fonts with an escaped `content` string per rule, data-URI strings (the flags' with
# quotes of the other kind inside, iconoir's all on one 2.2 MB line) and a utility sheet
# whose generated class names are escaped (`.md\:flex`, `.w-1\/2`). Same fields as above.
string_sheets=(
  "@mdi/font 7.4.47 css/materialdesignicons.css 66131558352dc8df724feac30f3b7bf7ee7311a79e4f8436f3637c0993edb773"
  "bootstrap-icons 1.13.1 font/bootstrap-icons.css 5ec2a52a7de279ac2f26d193dd5748343ec00ba613413bd5ab9202b36d06a8e2"
  "country-flag-icons 1.5.19 3x2/flags.css 023378295da2c53965392dd6a8a60b0ca7017369ece4f99883b5e17c85f4c544"
  "iconoir 7.11.0 css/iconoir-regular.css 9dba36ef0bce458a04ea65181beb3b9bc16726ee422c59cd44af7fb59d910bc1"
  "tailwindcss 2.2.19 dist/tailwind.css 2a0fbe1dec8d0f7bbacfc56235bdb88b3c9c450ff692eb8ee33a5eff6187f57a"
)

# The CSS of the tokenizer check: every test's input, with the tokens it should give, in one
# JavaScript file. Same fields as above.
tokenizer_tests="@rmenke/css-tokenizer-tests 1.4.0 index.cjs db9df7f58d925c9988cf23c97d6d1f8bf9871f0fe807faf40a61c31bfcc207c8"

# fetch_npm_file CACHE ENTRY DESTINATION: makes sure the tarball of ENTRY (a line of the
# lists above) is in CACHE/tarballs with its pinned checksum (downloading it when missing or
# wrong) and the file it names is in DESTINATION. Returns non-zero, with a message on
# standard error, when the download fails or the tarball does not match its checksum; a
# mismatching download is deleted, never used.
fetch_npm_file() {
  local cache="$1" destination="$3" package version inside sha256 file tarball
  read -r package version inside sha256 <<<"$2"
  install_missing curl ca-certificates
  mkdir -p "$cache/tarballs"
  # A scoped package's tarball is named without its scope: @a/b -> b-1.0.0.tgz.
  file="${package##*/}-$version.tgz"
  tarball="$cache/tarballs/$file"
  if [[ ! -f "$tarball" ]] || ! sha256sum --quiet --check <<<"$sha256  $tarball" 2>/dev/null; then
    echo "== fetching $package $version from the npm registry"
    rm -f "$destination"
    if ! curl --fail --silent --show-error --location --proto '=https' --retry 3 \
        --output "$tarball.part" "https://registry.npmjs.org/$package/-/$file"; then
      rm -f "$tarball.part"
      echo "could not download $package $version" >&2
      return 1
    fi
    if ! sha256sum --quiet --check <<<"$sha256  $tarball.part" >/dev/null 2>&1; then
      rm -f "$tarball.part"
      echo "$package $version: the download does not match its pinned SHA-256" >&2
      return 1
    fi
    mv "$tarball.part" "$tarball"
  fi
  if [[ ! -s "$destination" || "$destination" -ot "$tarball" ]]; then
    if ! tar -xzOf "$tarball" "package/$inside" >"$destination.part" || [[ ! -s "$destination.part" ]]; then
      rm -f "$destination.part"
      echo "$package $version holds no package/$inside" >&2
      return 1
    fi
    mv "$destination.part" "$destination"
  fi
}

# fetch_frameworks CACHE [LIST FILES]: fetches every stylesheet of LIST (the name of one of
# the arrays above, frameworks unless given) into CACHE/<package>.css (its tarball in
# CACHE/tarballs) and sets the array named FILES (framework_files unless given) to those
# stylesheets, in the list's order. Returns non-zero as fetch_npm_file does.
fetch_frameworks() {
  local cache="$1" entry package rest stylesheet
  local -n list="${2:-frameworks}" files="${3:-framework_files}"
  files=()
  for entry in "${list[@]}"; do
    read -r package rest <<<"$entry"
    stylesheet="$cache/$(tr '/@' '__' <<<"${package#@}").css"
    fetch_npm_file "$cache" "$entry" "$stylesheet" || return 1
    files+=("$stylesheet")
  done
}

# make_layered_file PATH MEGABYTES FILE...: copies of the stylesheets, in order, round and
# round, until the file holds at least MEGABYTES * 10^6 bytes (so it is up to one stylesheet
# larger). Each copy is in its own `@layer copyN { ... }`, so that no minifier may drop a
# rule as a duplicate of an earlier copy's. A `@charset "UTF-8";` may not stand inside a
# block: it is removed from every copy, and the file starts with one. None of the
# stylesheets listed here has an `@import`.
make_layered_file() {
  local path="$1" target=$(($2 * 1000000)) copy=0 size source_file
  shift 2
  {
    printf '@charset "UTF-8";\n'
    size=18
    while ((size < target)); do
      for source_file in "$@"; do
        copy=$((copy + 1))
        printf '@layer copy%d {\n' "$copy"
        sed '1s/^@charset "[^"]*";//' "$source_file"
        printf '}\n'
        size=$((size + $(stat -c %s "$source_file")))
        ((size < target)) || break
      done
    done
  } >"$path.part"
  mv "$path.part" "$path"
}

# fetch_tokenizer_corpus CACHE: fetches the tokenizer test corpus into CACHE/index.cjs (its
# tarball in CACHE/tarballs) and sets tokenizer_corpus to that file.
fetch_tokenizer_corpus() {
  tokenizer_corpus="$1/index.cjs"
  fetch_npm_file "$1" "$tokenizer_tests" "$tokenizer_corpus"
}
