#!/usr/bin/env bash
# tools/check-package.sh  builds the release preset, installs it into a temporary
# DESTDIR and validates what was installed: the desktop entry, the AppStream
# metainfo, the KISS log file type, the manual pages, the bash completion, and
# the installed kesta-decode on a copy of the sample log. Then builds the Debian
# package (cpack -G DEB) and checks it with lintian and for build-tree paths.
# Missing Debian packages are installed first. Exits non-zero on any failure.
# The build goes to build/release, or to $KESTA_BUILD_ROOT/release when set.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
started=$SECONDS

# shellcheck source=tools/ensure-packages.sh
source tools/ensure-packages.sh
kesta_ensure_packages
kesta_ensure_packaging_packages

fail() {
    echo "check-package: $*" >&2
    exit 1
}
step() { echo "== $*"; }
# The options that PROGRAM --help lists, one a line: "-h, --help" and "--csv FILE"
# give -h, --help and --csv.
help_options() {
    "$1" --help | sed -n 's/^ \{1,\}\(-[^ ].*\)/\1/p' | sed 's/  .*//' |
        sed 's/[, ]\{1,\}/\n/g' | grep -e '^-' | sort -u
}

bin=$(realpath -m "${KESTA_BUILD_ROOT:-build}/release")
step "Building the release preset in $bin"
cmake --preset release -B "$bin" >/dev/null
# Only what is installed; the rest of the preset (tests, benchmarks) is not needed here.
cmake --build "$bin" -j "$(nproc)" --target kesta-decode kesta-decoder kesta-docs

work=$(mktemp -d "${TMPDIR:-/tmp}/kesta-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
dest=$work/dest
step "Installing into $dest"
DESTDIR=$dest cmake --install "$bin" --prefix /usr >/dev/null
usr=$dest/usr
share=$usr/share
app_id=test.orvan.KestaDecoder

step "Desktop entry"
desktop=$share/applications/$app_id.desktop
[[ -f $desktop ]] || fail "no desktop entry: $desktop"
# Hints are suggestions; errors and warnings fail.
out=$(desktop-file-validate "$desktop") || fail "desktop-file-validate failed: $out"
[[ -n $out ]] && echo "$out"
if grep -E ': (error|warning): ' <<<"$out" >/dev/null; then
    fail "desktop-file-validate: $desktop"
fi

step "AppStream metainfo"
metainfo=$share/metainfo/$app_id.metainfo.xml
[[ -f $metainfo ]] || fail "no metainfo: $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate: $metainfo"
# The installed tree as a whole: the metainfo's desktop entry is there too.
appstreamcli validate-tree --no-net "$dest" >/dev/null ||
    fail "appstreamcli validate-tree: $(appstreamcli validate-tree --no-net "$dest")"

step "KISS log file type"
mime_xml=$share/mime/packages/kesta-decoder.xml
[[ -f $mime_xml ]] || fail "no shared-mime-info definition: $mime_xml"
# The installed definition compiled together with the system's own types, as
# update-mime-database does on installation: it must compile without a word, and
# the name pass.kss must then map to our type only.
mime=$work/share/mime
mkdir -p "$mime/packages"
cp /usr/share/mime/packages/*.xml "$mime/packages/"
cp -r "$share/mime/." "$mime/"
out=$(XDG_DATA_HOME=$work/share XDG_DATA_DIRS=$work/share update-mime-database "$mime" 2>&1) ||
    fail "update-mime-database: $out"
[[ -z $out ]] || fail "update-mime-database: $out"
kss_types=$(awk -F: '$3 == "*.kss" { print $2 }' "$mime/globs2" | sort -u)
[[ $kss_types == application/x-kiss-log ]] ||
    fail "*.kss maps to '${kss_types//$'\n'/, }', not application/x-kiss-log only"
grep -x 'MimeType=application/x-kiss-log;' "$desktop" >/dev/null ||
    fail "the desktop entry does not open application/x-kiss-log"
echo "pass.kss: application/x-kiss-log"

step "Icon"
[[ -f $share/icons/hicolor/scalable/apps/kesta-decoder.svg ]] || fail "no icon"

step "Manual pages"
for program in kesta-decode kesta-decoder; do
    page=$share/man/man1/$program.1.gz
    [[ -f $page ]] || fail "no manual page: $page"
    errors=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page failed"
    [[ -z $errors ]] || fail "man -l $page warns: $errors"
    # Every option of --help is in the page.
    text=$(MANWIDTH=200 man -l "$page" 2>/dev/null)
    while read -r option; do
        grep -F -- "$option" <<<"$text" >/dev/null || fail "$program(1) lacks $option"
    done < <(help_options "$usr/bin/$program")
    echo "$program(1): renders without warnings and lists every option of --help"
done

step "Bash completion"
# Both programs' completions: the file is installed under each name, and the
# completion of '-' offers exactly the options of the program's --help. The
# helpers of the bash-completion package are stood in for.
for program in kesta-decode kesta-decoder; do
    completion=$share/bash-completion/completions/$program
    [[ -f $completion ]] || fail "no bash completion: $completion"
    offered=$(
        bash -c '
            _init_completion() {
                words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
                cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
            }
            _filedir() { COMPREPLY=(FILE); }
            complete() { :; }
            source "$1"
            COMP_WORDS=("$2" -) COMP_CWORD=1
            "_${2//-/_}"
            printf "%s\n" "${COMPREPLY[@]}"
        ' - "$completion" "$program" | sort -u
    )
    # Qt's own alias -? of --help is not worth offering.
    listed=$(help_options "$usr/bin/$program" | grep -vxF -- '-?')
    [[ $offered == "$listed" ]] ||
        fail "the bash completion of $program offers ${offered//$'\n'/ }; --help lists ${listed//$'\n'/ }"
    echo "$program -<TAB>: ${offered//$'\n'/ }"
done

step "Installed kesta-decode on a copy of samples/pass.kss"
mkdir "$work/run"
cp samples/pass.kss "$work/run/"
(cd "$work/run" && "$usr/bin/kesta-decode" --csv pass.csv pass.kss)
for file in pass.dmp pass.tlm pass.csv; do
    [[ -s $work/run/$file ]] || fail "kesta-decode did not write $file"
done
"$usr/bin/kesta-decode" --version
QT_QPA_PLATFORM=offscreen "$usr/bin/kesta-decoder" --version

step "Debian package"
rm -f "$bin"/kesta-decoder_*.deb
(cd "$bin" && cpack -G DEB)
debs=("$bin"/kesta-decoder_*.deb)
((${#debs[@]} == 1)) || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}
dpkg-deb --info "$deb"
version=$(dpkg-deb --field "$deb" Version)
grep -F "<release version=\"$version\"" "$metainfo" >/dev/null ||
    fail "the metainfo has no release $version"
for program in kesta-decode kesta-decoder; do
    shown=$(QT_QPA_PLATFORM=offscreen "$usr/bin/$program" --version)
    [[ $version == "${shown#"$program "}" ]] ||
        fail "$program --version says '$shown', the package is $version"
done
# Accepted tags are listed, with the reasons, in packaging/lintian-overrides,
# which the package ships; any other warning or error fails.
lintian --fail-on error,warning --display-info "$deb" || fail "lintian: $deb"
if dpkg-deb --contents "$deb" | grep -e "$bin" -e "$PWD"; then
    fail "the package holds paths of the build tree"
fi
# Nor do its texts name the build tree (the programs' own bytes are not searched).
mkdir "$work/deb"
dpkg-deb --extract "$deb" "$work/deb"
if grep -rl --exclude-dir=bin -e "$bin" -e "$PWD" "$work/deb"; then
    fail "files of the package name the build tree"
fi
for page in "$work"/deb/usr/share/man/man1/*.gz "$work"/deb/usr/share/doc/*/changelog.gz; do
    if zcat "$page" | grep -e "$bin" -e "$PWD"; then
        fail "$page names the build tree"
    fi
done

echo "Packaging checks passed in $((SECONDS - started)) s: $deb"
